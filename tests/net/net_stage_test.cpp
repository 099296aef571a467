// The net stage of a run (the choice among net file, sausage and tree net, the
// dumps, the node penalties) and the kedo net command.
#include <gtest/gtest.h>

#include "lexicon/text.h"
#include "net/net_build.h"
#include "net/net_stage.h"
#include "net_test_util.h"
#include "support/test_support.h"
#include "task/recog_param.h"

namespace kedo {
namespace {

using test::errorOf;
using test::netLinks;
using test::readFile;
using test::TempDir;
using test::wordDict;
using test::writeFile;

// A one-text run: "\xa4\x40\xa4\x41" whose syllable paths are listed as a
// tree path "ba1-ca1" (and "ba2-ca1" for the second pronunciation).
struct StageRun {
    recogParam p;
    dictClass dict = wordDict({"ba1", "ba2", "ca1", "fillerC", "fillerV", "sil", "sp"});
    textClass text;
    netClass net;
    std::string out;

    StageRun() {
        dict.m_wpa = {wpaEntry{"\xa4\x40", {"ba2", "ba1"}, {}}, wpaEntry{"\xa4\x41", {"ca1"}, {}}};
        p.language = "chinese";
        p.function = "assess";
        text.m_txtVs = {"\xa4\x40\xa4\x41"};
        text.m_txtVsNormalized = text.m_txtVs;
        text.m_sylVs = {"ba1-ca1\t0", "ba2-ca1\t0"};
    }
    std::string error() {
        testing::internal::CaptureStdout();
        std::string e = errorOf([this] { readOrBuildNet(p, dict, text, net); });
        out = testing::internal::GetCapturedStdout();
        return e;
    }
    StrVec words() const {
        StrVec w;
        for (const netNode& n : net.nodes) w.push_back(n.word);
        return w;
    }
};

TEST(ReadOrBuildNet, TreeShapedByFunction) {
    StageRun recog;
    recog.p.function = "recog";
    recog.p.comparisonMode = 3;
    recog.p.useEpd = 1;  // no padded silences, but the filler hubs still get their anchors
    EXPECT_EQ(recog.error(), "");
    EXPECT_EQ(recog.words(), (StrVec{"!NULL", "!NULL", "!NULL", "!NULL", "ba1", "ca1", "ba2", "ca1", "fillerC", "fillerC",
                                     "fillerV", "fillerV", "sil", "sil"}));
    EXPECT_NE(recog.out.find(" sec: Generated tree net (nodeNum=14)\n"), std::string::npos) << recog.out;

    StageRun plain;
    plain.p.function = "recog";
    plain.p.useEpd = 0;
    EXPECT_EQ(plain.error(), "");
    EXPECT_EQ(plain.words(), (StrVec{"!NULL", "!NULL", "sil", "sil", "ba1", "ca1", "ba2", "ca1"}));

    StageRun assess;  // one path, soft silences, no padding with end-point detection
    assess.text.m_sylVs = {"ba1-ca1\t0"};
    assess.p.useEpd = 1;
    EXPECT_EQ(assess.error(), "");
    EXPECT_EQ(assess.words(), (StrVec{"!NULL", "!NULL", "ba1", "ca1", "sil"}));
    assess.p.usePaddedSoftSil = 0;
    EXPECT_EQ(assess.error(), "");
    EXPECT_EQ(assess.words(), (StrVec{"!NULL", "!NULL", "ba1", "ca1"}));

    StageRun unknown;
    unknown.p.function = "score";
    EXPECT_EQ(unknown.error(), "Unknown recogParam.function = score!");
}

TEST(ReadOrBuildNet, SausageForNetType1WithoutSylFile) {
    TempDir t;
    StageRun r;
    r.p.netType = 1;
    r.p.usePaddedSoftSil = 0;
    r.p.outputDir = t.path();
    r.text.m_sylVs.clear();
    EXPECT_EQ(r.error(), "");
    EXPECT_EQ(r.words(), (StrVec{"!NULL", "!NULL", "sil", "sil", "ba1", "ba2", "ca1"}));
    EXPECT_EQ(readFile(t.file("output.nt")), "\xa4\x40\xa4\x41\n");
    EXPECT_NE(r.out.find("\t===> Saved " + t.file("output.nt") + "\n"), std::string::npos);
    EXPECT_NE(r.out.find(" sec: Generated sausage net (nodeNum=7)\n"), std::string::npos);

    r.p.sylFile = "given.syl";  // a syllable file makes it a tree again
    r.text.m_sylVs = {"ba1-ca1\t0"};
    EXPECT_EQ(r.error(), "");
    EXPECT_NE(r.out.find("Generated tree net"), std::string::npos);

    r.p.sylFile.clear();
    r.p.netType = 2;  // neither shape: the tree builder finds no paths
    r.text.m_sylVs.clear();
    EXPECT_EQ(r.error().substr(0, 23), "Error: m_sylVs.size()=0");
}

TEST(ReadOrBuildNet, NetFileDumpsAndPenalties) {
    TempDir t;
    StageRun r;
    writeFile(t.file("given.net"),
              "V\nN=4\tL=3\nI=0\tW=!NULL\nI=1\tW=!NULL\nI=2\tW=fillerC\nI=3\tW=ba2\nJ=0\tS=0\tE=2\nJ=1\tS=2\tE=3\nJ=2\tS=3\tE=1\n");
    r.p.netFile = t.file("given.net");
    r.p.function = "anything";  // not looked at when a net file is given
    r.p.outputDir = t.path();
    r.p.nodePenalty = -4;
    EXPECT_EQ(r.error(), "");
    EXPECT_EQ(r.net.nodeNum, 4);
    EXPECT_EQ(r.net.nodes[2].penalty, -4.0f);
    EXPECT_EQ(r.net.nodes[3].penalty, 0.0f);
    EXPECT_NE(r.out.find(" sec: Read net \"" + t.file("given.net") + "\" (nodeNum=4)\n"), std::string::npos);
    const std::string saved = "\t===> Saved net file: " + t.file("output.net") + "\n\t===> Saved net file: " + t.file("output.netb") + "\n";
    EXPECT_TRUE(strEndsWith(r.out, saved)) << r.out;
    EXPECT_EQ(readFile(t.file("output.net")),
              "VERSION=1.0 (by netClass::netPrint())\nN=4\tL=3\nI=0\tW=!NULL@-1@\nI=1\tW=!NULL@-1@\nI=2\tW=fillerC@3@\n"
              "I=3\tW=ba2@1@\nJ=0\tS=0\tE=2\nJ=1\tS=2\tE=3\nJ=2\tS=3\tE=1\n");
    netClass binary;
    binary.netRead(t.file("output.netb"), r.dict);
    EXPECT_EQ(netLinks(binary), netLinks(r.net));

    StageRun quiet;  // no outputDir: no dumps at all
    quiet.p.netFile = t.file("given.net");
    EXPECT_EQ(quiet.error(), "");
    EXPECT_EQ(quiet.out.find("Saved"), std::string::npos);
}

// kedo net on an English parameter set with the small model set of the
// acoustic test data.
struct EnglishSet {
    TempDir t;
    EnglishSet() {
        writeFile(t.file("e.wpa"), "% two words\ngo\tg_ow\nno\tn_ow#n_aa\n");
        writeFile(t.file("e.tnm"), "% no rules\n");
        writeFile(t.file("e.prm"), "language = english\nmacFile = " + test::dataPath("acoustic/tiny.mac") + "\nwpaFile = " +
                                       t.file("e.wpa") + "\ntnmFile = " + t.file("e.tnm") + "\nuseEpd = 0\n");
    }
};

TEST(NetCommand, WritesTheTreeNetOfAParameterSet) {
    EnglishSet s;
    auto r = test::runCli("net --prm " + s.t.file("e.prm") + " --txt 'go no#no' --function recog " + s.t.file("o.net"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Generated tree net (nodeNum=9)"), std::string::npos) << r.out;
    EXPECT_TRUE(strEndsWith(r.out, "\t===> Saved net file: " + s.t.file("o.net") + "\nnodeNum=9 linkNum=11 fanOut=3\n")) << r.out;
    EXPECT_EQ(readFile(s.t.file("o.net")),
              "VERSION=1.0 (by netClass::netPrint())\nN=9\tL=11\n"
              "I=0\tW=!NULL@-1@\nI=1\tW=!NULL@-1@\nI=2\tW=sil@3@\nI=3\tW=sil@3@\nI=4\tW=g_ow@0@\nI=5\tW=n_aa@1@\n"
              "I=6\tW=n_ow@2@\nI=7\tW=n_aa@1@\nI=8\tW=n_ow@2@\n"
              "J=0\tS=0\tE=2\nJ=1\tS=2\tE=4\nJ=2\tS=2\tE=7\nJ=3\tS=2\tE=8\nJ=4\tS=3\tE=1\nJ=5\tS=4\tE=5\nJ=6\tS=4\tE=6\n"
              "J=7\tS=5\tE=3\nJ=8\tS=6\tE=3\nJ=9\tS=7\tE=3\nJ=10\tS=8\tE=3\n");

    r = test::runCli("net --prm " + s.t.file("e.prm") + " --txt 'go no' --function assess --outdir " + s.t.path() + " " +
                     s.t.file("o.netb"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(readFile(s.t.file("output.net")).find("W=sp@"), std::string::npos);  // "-sp-" between the words
    EXPECT_EQ(readFile(s.t.file("output.netb")), readFile(s.t.file("o.netb")));
    EXPECT_TRUE(test::exists(s.t.file("output.wpa")));

    r = test::runCli("net --prm " + s.t.file("e.prm") + " --txt go --function recog " + s.t.file("o.txt"));
    EXPECT_EQ(r.status, 1);
    r = test::runCli("net --prm " + s.t.file("e.prm") + " --txt zz_z --function recog " + s.t.file("o.net"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE((r.out + r.err).find("Found no pronunciation entry for \"zz_z\""), std::string::npos);
}

}  // namespace
}  // namespace kedo
