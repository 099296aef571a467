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
    const std::string out = q(d.file("o.wav"));
    const std::pair<std::string, std::string> cases[] = {{"record", "0"},         {"record", "-1"},
                                                         {"record", "0.00006"},   {"record-assess", "3600.5"},
                                                         {"record-recog", "nan"}, {"record", "1x"}};
    for (const auto& [command, seconds] : cases) {
        std::string args = command;
        args.append(" ").append(seconds).append(" ").append(command == "record" ? out : "x.txt");
        CliResult r = runCli(args);
        EXPECT_EQ(r.status, 1) << command << " " << seconds;
        EXPECT_TRUE(contains(r.err, "SECONDS must be a number from 0.0000625 (one sample at 16000 Hz) to 3600, not '" +
                                        seconds + "'"))
            << r.err;
    }
    EXPECT_FALSE(exists(d.file("o.wav")));
    // The shortest length records its one sample.
    CliResult r = runCli("record 0.0000625 " + q(d.file("one.wav")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(runCli("wave-info " + q(d.file("one.wav"))).out, "samples=1 rate=16000 bits=16\n");
}

}  // namespace
}  // namespace kedo
