// Net construction: tree and sausage nets, node and link order, the optional
// link passes, and the parsing of what the builders write.
#include <gtest/gtest.h>

#include "lexicon/text.h"
#include "net/net_build.h"
#include "net_test_util.h"
#include "task/recog_param.h"

namespace kedo {
namespace {

using test::errorOf;
using test::netLinks;
using test::wordDict;
using Links = std::vector<std::pair<int, int>>;

// Builds a tree net from the given syllable paths and parses it.
struct Tree {
    textClass text;
    netClass net;
    dictClass dict = wordDict({"a", "b", "c", "d", "x", "sil", "sp", "fillerC", "fillerV"});

    Tree(const StrVec& sylVs, int fillerMode, int softSil, int padSil, const recogParam& p = recogParam()) {
        text.m_sylVs = sylVs;
        buildTreeNet(text, p, fillerMode, softSil, padSil);
        net.netFromLines(text.m_netVs, dict);
    }
    StrVec words() const {
        StrVec w;
        for (const netNode& n : net.nodes) w.push_back(n.word);
        return w;
    }
};

TEST(BuildTreeNet, SharedPrefixesWithAndWithoutPaddedSilence) {
    Tree padded({"a-b-d\t1", "a-b-c\t0"}, 0, 0, 1);
    EXPECT_EQ(padded.words(), (StrVec{"!NULL", "!NULL", "sil", "sil", "a", "b", "c", "d"}));
    EXPECT_EQ(netLinks(padded.net), (Links{{0, 2}, {2, 4}, {3, 1}, {4, 5}, {5, 6}, {5, 7}, {6, 3}, {7, 3}}));
    EXPECT_EQ(padded.text.m_netVs[0], "VERSION=1.0");
    EXPECT_EQ(padded.text.m_netVs[1], "N=8\tL=8");
    EXPECT_EQ(padded.text.m_netVs[4], "I=2\tW=sil@-1@");
    EXPECT_EQ(padded.text.m_netVs[10], "J=0\tS=0\tE=2");
    EXPECT_EQ(padded.text.m_netVs[11], "J=1\tS=3\tE=1");  // link lines in the order links were added

    Tree bare({"a-b-d\t1", "a-b-c\t0"}, 0, 0, 0);
    EXPECT_EQ(bare.words(), (StrVec{"!NULL", "!NULL", "a", "b", "c", "d"}));
    EXPECT_EQ(netLinks(bare.net), (Links{{0, 2}, {2, 3}, {3, 4}, {3, 5}, {4, 1}, {5, 1}}));
    EXPECT_EQ(bare.net.nodes[3].nextWordNodes, (IntVec{4, 5}));
}

TEST(BuildTreeNet, PrefixPathsDuplicatesAndEmptyUnits) {
    Tree t({"a-b-c\t1", "a-b\t0", "a-b\t2", "x\t3"}, 0, 0, 0);
    EXPECT_EQ(t.words(), (StrVec{"!NULL", "!NULL", "a", "b", "c", "x"}));
    EXPECT_EQ(t.text.m_netVs.size(), 2u + 6 + 7);
    EXPECT_EQ(netLinks(t.net), (Links{{0, 2}, {0, 5}, {2, 3}, {3, 1}, {3, 4}, {4, 1}, {5, 1}}));

    // "a--b-c" has the units a, b, c; the path a-b still ends at b.
    Tree e({"a--b-c\t0", "a-b\t1"}, 0, 0, 0);
    EXPECT_EQ(e.words(), (StrVec{"!NULL", "!NULL", "a", "b", "c"}));
    EXPECT_EQ(netLinks(e.net), (Links{{0, 2}, {2, 3}, {3, 1}, {3, 4}, {4, 1}}));

    // A path that diverges early does not share later units with the previous one.
    Tree d({"a-b-c\t0", "b-b-c\t1"}, 0, 0, 0);
    EXPECT_EQ(d.words(), (StrVec{"!NULL", "!NULL", "a", "b", "c", "b", "b", "c"}));
}

TEST(BuildTreeNet, FillerHubsWithAndWithoutPaddedSilence) {
    for (int padSil : {1, 0}) {
        Tree t({"a\t0"}, 1, 0, padSil);
        EXPECT_EQ(t.words(), (StrVec{"!NULL", "!NULL", "!NULL", "!NULL", "a", "fillerC", "fillerC", "fillerV", "fillerV", "sil", "sil"}))
            << padSil;
        EXPECT_EQ(netLinks(t.net), (Links{{0, 2},
                                          {2, 4},
                                          {2, 5},
                                          {2, 7},
                                          {2, 9},
                                          {3, 1},
                                          {3, 6},
                                          {3, 8},
                                          {3, 10},
                                          {4, 3},
                                          {5, 2},
                                          {6, 3},
                                          {7, 2},
                                          {8, 3},
                                          {9, 2},
                                          {10, 3}}));
        EXPECT_EQ(t.net.nodes[0].nextWordNodes, (IntVec{4, 5, 7, 9}));
        EXPECT_EQ(t.net.nodes[4].nextWordNodes, (IntVec{6, 8, 10}));
        EXPECT_EQ(t.net.nodes[5].nextWordNodes, (IntVec{4, 5, 7, 9}));
    }
}

TEST(BuildTreeNet, SoftSilencesBetweenTheUnitsOfOnePath) {
    Tree t({"a-b-c\t0"}, 0, 1, 0);
    EXPECT_EQ(t.words(), (StrVec{"!NULL", "!NULL", "a", "b", "c", "sil", "sil"}));
    EXPECT_EQ(netLinks(t.net), (Links{{0, 2}, {2, 3}, {2, 5}, {3, 4}, {3, 6}, {4, 1}, {5, 3}, {6, 4}}));
    EXPECT_EQ(t.net.nodes[2].nextWordNodes, (IntVec{3, 5}));

    Tree padded({"a-b-c\t0"}, 0, 1, 1);
    EXPECT_EQ(padded.words(), (StrVec{"!NULL", "!NULL", "sil", "sil", "a", "b", "c", "sil", "sil"}));
    EXPECT_EQ(netLinks(padded.net), (Links{{0, 2}, {2, 4}, {3, 1}, {4, 5}, {4, 7}, {5, 6}, {5, 8}, {6, 3}, {7, 5}, {8, 6}}));

    Tree two({"a-b\t0", "a-c\t1"}, 0, 1, 0);  // more than one path: no silences
    EXPECT_EQ(two.words().size(), 5u);
}

TEST(BuildTreeNet, OptionalLinksAreAddedOnceInTheirOrder) {
    recogParam p;
    p.addLink4stopAnywhere = p.addLink4startAnywhere = p.addLink4forwardJump = 1;
    testing::internal::CaptureStdout();
    Tree t({"a-sp-b\t0", "a-c\t1"}, 0, 0, 1, p);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(t.words(), (StrVec{"!NULL", "!NULL", "sil", "sil", "a", "c", "sp", "b"}));
    const Links built{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 3}, {4, 6}, {6, 7}, {7, 3}};
    Links want = built;
    want.insert(want.end(), {{4, 3}, {2, 5}, {2, 7}, {4, 7}, {5, 6}, {5, 7}});
    Links got;
    for (size_t j = 0; j < want.size(); ++j) {
        const std::string& line = t.text.m_netVs[2 + 8 + j];
        int s = 0, e = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "J=%*d\tS=%d\tE=%d", &s, &e), 2) << line;
        got.emplace_back(s, e);
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(t.text.m_netVs.size(), 2 + 8 + want.size());
    size_t stop = out.find("\tAdd links for stop anywhere...   (line ");
    size_t start = out.find("\tAdd links for start anywhere...  (line ");
    size_t jump = out.find("\tAdd links for forward jump...    (line ");
    EXPECT_TRUE(stop < start && start < jump && jump != std::string::npos) << out;
    EXPECT_NE(out.find(" in text)\n"), std::string::npos);

    // Without silence anchors the passes use the start and end nodes.
    recogParam q;
    q.addLink4stopAnywhere = q.addLink4startAnywhere = 1;
    testing::internal::CaptureStdout();
    Tree bare({"a-b\t0"}, 0, 0, 0, q);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(netLinks(bare.net), (Links{{0, 2}, {0, 3}, {2, 3}, {2, 1}, {3, 1}}));
}

TEST(BuildTreeNet, RefusesEmptyPathLists) {
    textClass text;
    std::string e = errorOf([&] { buildTreeNet(text, recogParam(), 0, 0, 1); });
    EXPECT_EQ(e.substr(0, e.find(" at line")), "Error: m_sylVs.size()=0");
    EXPECT_NE(e.find(" of file text!: no candidate text has a pronunciation"), std::string::npos) << e;
    text.m_sylVs = {"\t0", "--\t1"};
    EXPECT_NE(errorOf([&] { buildTreeNet(text, recogParam(), 0, 0, 1); }).find("none of the 2 syllable paths"), std::string::npos);
}

TEST(NetToLines, WritesWordsWithLookupMarkerAndExtra) {
    netBuilder b;
    b.addNode("!NULL");
    b.addNode("x", "unit@1");
    b.addLink(0, 1);
    b.addLink(0, 1);
    b.addLinkOnce(0, 1);
    b.addLinkOnce(1, 0);
    b.addLink(1, 0);
    StrVec lines;
    netToLines(b, lines);
    EXPECT_EQ(lines, (StrVec{"VERSION=1.0", "N=2\tL=4", "I=0\tW=!NULL@-1@", "I=1\tW=x@-1@unit@1", "J=0\tS=0\tE=1",
                             "J=1\tS=0\tE=1", "J=2\tS=1\tE=0", "J=3\tS=1\tE=0"}));
}

// A Chinese text of two characters: the first with the PAs ba2, ba1, ba2, the
// second with ca1, ca3.
struct Sausage {
    textClass text;
    dictClass dict = wordDict({"ba1", "ba2", "ca1", "ca3", "sil"});
    recogParam p;

    explicit Sausage(int softSil, const std::string& sentence = "\xa4\x40\xa4\x41") {
        dict.m_wpa = {wpaEntry{"\xa4\x40", {"ba2", "ba1", "ba2"}, {}}, wpaEntry{"\xa4\x41", {"ca1", "ca3"}, {}}};
        p.language = "chinese";
        p.usePaddedSoftSil = softSil;
        text.m_txtVs = {sentence + "\tremark"};
        text.m_txtVsNormalized = {sentence};
    }
    netClass build() {
        buildSausageNet(text, dict, p);
        netClass net;
        net.netFromLines(text.m_netVs, dict);
        return net;
    }
};

TEST(BuildSausageNet, ColumnsOfSortedDistinctPronunciations) {
    Sausage s(0);
    netClass net = s.build();
    ASSERT_EQ(net.nodeNum, 8);
    StrVec words, extras;
    for (const netNode& n : net.nodes) {
        words.push_back(n.word);
        extras.push_back(n.extra);
    }
    EXPECT_EQ(words, (StrVec{"!NULL", "!NULL", "sil", "sil", "ba1", "ba2", "ca1", "ca3"}));
    EXPECT_EQ(extras[4], "\xa4\x40");
    EXPECT_EQ(extras[7], "\xa4\x41");
    // In the order added: anchors, first column, the four links between the
    // columns, the final silence, its bypass, the bypass of the first silence.
    const Links added{{0, 2}, {3, 1}, {2, 4}, {2, 5}, {4, 6}, {4, 7}, {5, 6}, {5, 7}, {6, 3}, {7, 3}, {6, 1}, {7, 1}, {0, 4}, {0, 5}};
    for (size_t j = 0; j < added.size(); ++j)
        EXPECT_EQ(s.text.m_netVs[2 + 8 + j],
                  "J=" + std::to_string(j) + "\tS=" + std::to_string(added[j].first) + "\tE=" + std::to_string(added[j].second));
    EXPECT_EQ(s.text.m_netVs.size(), 2 + 8 + added.size());
    EXPECT_EQ(net.nodes[0].nextWordNodes, (IntVec{2, 4, 5}));
}

TEST(BuildSausageNet, SoftSilencesBetweenColumns) {
    Sausage s(1);
    netClass net = s.build();
    ASSERT_EQ(net.nodeNum, 9);
    EXPECT_EQ(net.nodes[6].word, "sil");
    EXPECT_EQ(net.nodes[6].extra, "");
    const Links added{{0, 2}, {3, 1}, {2, 4}, {2, 5}, {0, 4}, {0, 5}, {4, 6}, {5, 6}, {6, 7},
                      {6, 8}, {4, 7}, {4, 8}, {5, 7}, {5, 8}, {7, 3}, {8, 3}, {7, 1}, {8, 1}};
    Links sorted = added;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    EXPECT_EQ(netLinks(net), sorted);
    EXPECT_EQ(s.text.m_netVs[2 + 9 + 4], "J=4\tS=0\tE=4");
}

TEST(BuildSausageNet, MissingUnitsAndWrongTextCounts) {
    Sausage chinese(0, "\xa4\x40\xa4\x42");
    testing::internal::CaptureStdout();
    netClass net = chinese.build();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Warning: Found no pinyin for \"\xa4\x42\" in \"\xa4\x40\xa4\x42\". Use \"a\" instead.\n");
    EXPECT_EQ(net.nodeNum, 6);
    EXPECT_EQ(netLinks(net), (Links{{0, 2}, {0, 4}, {0, 5}, {2, 4}, {2, 5}, {3, 1}, {4, 3}, {4, 1}, {5, 3}, {5, 1}}));

    // An entry without a PA is left out like a missing one: the net still
    // leads from start to end.
    Sausage noPa(0);
    noPa.dict.m_wpa[1].pas.clear();
    testing::internal::CaptureStdout();
    net = noPa.build();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Warning: Found no pinyin for \"\xa4\x41\" in \"\xa4\x40\xa4\x41\". Use \"a\" instead.\n");
    EXPECT_EQ(netLinks(net), (Links{{0, 2}, {0, 4}, {0, 5}, {2, 4}, {2, 5}, {3, 1}, {4, 3}, {4, 1}, {5, 3}, {5, 1}}));

    Sausage none(0, "\xa4\x42");
    testing::internal::CaptureStdout();
    EXPECT_NE(errorOf([&] { none.build(); }).find("sausage net would hold no word"), std::string::npos);
    testing::internal::GetCapturedStdout();

    Sausage english(0, "hello zzz");
    english.p.language = "english";
    english.dict.m_wpa = {wpaEntry{"hello", {"h_ax_l_ow"}, {}}};
    testing::internal::CaptureStdout();
    std::string e = errorOf([&] { english.build(); });
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Warning: Found no pinyin for \"zzz\" in \"hello zzz\". Use \"a\" instead.\n");
    EXPECT_EQ(e.substr(0, e.find(" (line")),
              "Error: Found no pronunciation entry for zzz. Please add the pronunciation to wpaAddendaFile.");

    Sausage two(0);
    two.text.m_txtVs.push_back("x");
    e = errorOf([&] { two.build(); });
    EXPECT_EQ(e.substr(0, e.find(" at line")), "Error: m_txtVs.size()=!1, which cannot be transformed into sausage net");
}

}  // namespace
}  // namespace kedo
