// The wave-info and record subcommands.
#include <gtest/gtest.h>

#include "audio/audio_file.h"
#include "audio_test_util.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using namespace test;

TEST(WaveInfoCommand, PrintsWhatTheLoaderReads) {
    TempDir d;
    writeFile(d.file("a.wav"), riff(chunk("fmt ", fmtData(1, 2, 11025, 16)) + chunk("data", pcm16({1, 2, 3, 4, 5, 6}))));
    CliResult r = runCli("wave-info " + d.file("a.wav"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "samples=6 rate=11025 bits=16\n");

    // Nellymoser audio decodes to 16 bits, also when the sample-size flag is clear.
    writeFile(d.file("a.flv"), flvStream({flvTag(8, std::string(1, '\x50') + std::string(64, '\x55'))}));
    r = runCli("wave-info " + d.file("a.flv"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "samples=256 rate=8000 bits=16 channels=1\n");

    r = runCli("wave-info " + d.file("a.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("based on its extension name"), std::string::npos);
    r = runCli("wave-info");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Usage: kedo wave-info"), std::string::npos);
}

TEST(WaveInfoCommand, WritesTheSamplesAsRaw16Bit) {
    TempDir d;
    writeFile(d.file("a.wav"), riff(chunk("fmt ", fmtData(1, 1, 8000, 16)) + chunk("data", pcm16({1, -2, 32767, -32768}))));
    CliResult r = runCli("wave-info " + d.file("a.wav") + " --raw " + d.file("a.raw"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "samples=4 rate=8000 bits=16\n");
    EXPECT_EQ(readFile(d.file("a.raw")), pcm16({1, -2, 32767, -32768}));

    // An empty file gives an empty raw file; a folder that does not exist an error.
    writeFile(d.file("e.flv"), "");
    r = runCli("wave-info " + d.file("e.flv") + " --raw " + d.file("e.raw"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(d.file("e.raw")), "");
    r = runCli("wave-info " + d.file("a.wav") + " --raw " + d.file("no/such/a.raw"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot write " + d.file("no/such/a.raw")), std::string::npos) << r.err;
}

#ifndef _WIN32
// FFmpeg's libraries (and the hundred-odd they pull in) are loaded by a
// process that reads a file needing them, not by one that reads WAV files.
TEST(WaveInfoCommand, LoadsFfmpegOnlyForTheFilesThatNeedIt) {
    TempDir d;
    writeFile(d.file("a.wav"), riff(chunk("fmt ", fmtData(1, 1, 8000, 16)) + chunk("data", pcm16({1, 2}))));
    writeFile(d.file("a.flv"), flvStream({flvTag(8, std::string(1, '\x50') + std::string(64, '\x55'))}));
    auto loads = [&](const std::string& file) {
        CliResult r = runShell(std::string("LD_DEBUG=files '") + KEDO_CLI_PATH + "' wave-info " + d.file(file));
        EXPECT_EQ(r.status, 0) << r.err;
        return r.err.find("libavcodec.so") != std::string::npos;
    };
    EXPECT_FALSE(loads("a.wav"));
    EXPECT_TRUE(loads("a.flv"));
}
#endif

}  // namespace
}  // namespace kedo
