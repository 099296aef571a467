// Failures end with exit status 1 and a message, never with a quiet success.
#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace kedo {
namespace {

using namespace test;

TEST(ExitStatus, AFolderIsNoParameterFile) {
    TempDir d;
    CliResult r = runCli("params " + q(d.path()));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(contains(r.err, "Cannot open file " + d.path() + " (line ")) << r.err;
    EXPECT_TRUE(contains(r.err, "): it is a folder")) << r.err;
}

// Lengths that give no sample, negative ones and ones beyond the longest
// recording are refused before any device is opened; the message gives the
// valid range and no file is written.
TEST(ExitStatus, RecordingLengthsOutsideTheRangeAreRefused) {
    TempDir d;
    ScopedEnv device("KEDO_CAPTURE_DEVICE", ("file:" + kSamples + "/english.wav").c_str());
    for (const char* seconds : {"0", "-1", "0.00006", "3600.5", "nan", "1x"}) {
        for (const std::string& command : {std::string("record ") + seconds + " " + q(d.file("o.wav")),
                                           std::string("record-assess ") + seconds + " \"good\""}) {
            CliResult r = runCli(command);
            EXPECT_EQ(r.status, 1) << command;
            EXPECT_TRUE(contains(r.err, "SECONDS must be a number from 0.0000625 (one sample at 16000 Hz) to 3600, "
                                        "not '" + std::string(seconds) + "'"))
                << r.err;
        }
    }
    EXPECT_FALSE(exists(d.file("o.wav")));
    // The shortest length records its one sample.
    CliResult r = runCli("record 0.0000625 " + q(d.file("one.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(runCli("wave-info " + q(d.file("one.wav"))).out, "samples=1 rate=16000 bits=16\n");
}

}  // namespace
}  // namespace kedo
