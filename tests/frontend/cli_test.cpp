// The features and pitch subcommands.
#include <gtest/gtest.h>

#include <sstream>

#include "signals.h"
#include "support/test_support.h"

namespace kedo {
namespace {

TEST(FeaturesCli, WritesTheFeatureFileWithAndWithoutEpd) {
    test::TempDir dir;
    std::vector<int32_t> x = test::whiteNoise(8000, 10);
    std::vector<int32_t> tone = test::harmonicTone(16000, 16000, 150, 150, 6, 9000);
    x.insert(x.end(), tone.begin(), tone.end());
    std::vector<int32_t> tail = test::whiteNoise(8000, 10, 3);
    x.insert(x.end(), tail.begin(), tail.end());
    test::writeRaw16(dir.file("a.raw"), x);
    test::writeFile(dir.file("f.cfg"), "TARGETKIND = MFCC_E_D_A\n");

    test::CliResult whole = test::runCli("features --config " + dir.file("f.cfg") + " " + dir.file("a.raw") + " " +
                                         dir.file("whole.fea"));
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_NE(whole.out.find("frames=199 dim=39\n"), std::string::npos) << whole.out;
    std::string text = test::readFile(dir.file("whole.fea"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 199);

    test::CliResult cut = test::runCli("features --epd --config " + dir.file("f.cfg") + " " + dir.file("a.raw") +
                                       " " + dir.file("cut.fea"));
    ASSERT_EQ(cut.status, 0) << cut.err;
    std::string cutText = test::readFile(dir.file("cut.fea"));
    int frames = static_cast<int>(std::count(cutText.begin(), cutText.end(), '\n'));
    EXPECT_GT(frames, 95);
    EXPECT_LT(frames, 110);

    test::CliResult missing = test::runCli("features --config x.cfg " + dir.file("none.raw") + " " + dir.file("o.fea"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(dir.file("none.raw")), std::string::npos) << missing.err;
    EXPECT_EQ(test::runCli("features " + dir.file("a.raw")).status, 1);
}

TEST(PitchCli, PrintsOneValuePerFrame) {
    test::TempDir dir;
    std::vector<int32_t> x = test::whiteNoise(4800, 10);
    std::vector<int32_t> tone = test::harmonicTone(16000, 16000, 220, 220, 8, 9000);
    x.insert(x.end(), tone.begin(), tone.end());
    std::vector<int32_t> tail = test::whiteNoise(4800, 10, 3);
    x.insert(x.end(), tail.begin(), tail.end());
    test::writeRaw16(dir.file("a.raw"), x);
    test::writeFile(dir.file("pt.txt"), "medianFilterOrder = 3\n");

    test::CliResult r = test::runCli("pitch --params " + dir.file("pt.txt") + " " + dir.file("a.raw"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ptParam->medianFilterOrder=3"), std::string::npos);
    std::istringstream in(r.out);
    std::vector<double> values;
    double v;
    while (in >> v) values.push_back(v);
    EXPECT_TRUE(in.eof()) << "only numbers on standard output";
    ASSERT_EQ(values.size(), static_cast<size_t>((25600 - 480) / 160));
    EXPECT_EQ(values[1], 0.0);
    EXPECT_NEAR(values[values.size() / 2], 57.0, 0.3);  // 220 Hz

    EXPECT_EQ(test::runCli("pitch --params " + dir.file("none.txt") + " " + dir.file("a.raw")).status, 1);
}

}  // namespace
}  // namespace kedo
