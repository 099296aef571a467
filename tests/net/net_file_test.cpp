// The net model and its files: reading rules, next-word-node lists, the
// dictionary adjustment, writers, refusals of malformed nets.
#include <gtest/gtest.h>

#include "net_test_util.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::errorOf;
using test::netLines;
using test::netLinks;
using test::TempDir;
using test::wordDict;
using test::writeFile;
using Links = std::vector<std::pair<int, int>>;

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

TEST(NetFromLines, OneWordNet) {
    dictClass d = wordDict({"a", "b", "c"});
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "b"}, {{0, 2}, {2, 1}}), d);
    ASSERT_EQ(net.nodeNum, 3);
    EXPECT_EQ(net.linkNum, 2);
    EXPECT_EQ(net.nodes[0].sylIndex, -1);
    EXPECT_EQ(net.nodes[0].word, "!NULL");
    EXPECT_EQ(net.nodes[2].sylIndex, 1);
    EXPECT_EQ(net.nodes[0].nextWordNodes, IntVec{2});
    EXPECT_TRUE(net.nodes[2].nextWordNodes.empty());
    EXPECT_TRUE(net.nodes[1].nextWordNodes.empty());
    EXPECT_EQ(net.fanOut(), 1);
    EXPECT_EQ(netClass().fanOut(), 0);
}

TEST(NetFromLines, WordFieldForms) {
    dictClass d = wordDict({"a", "b", "c", "d", "e", "f"});
    StrVec lines = netLines({"!NULL", "!NULL", "c", "x@5", "y@1@e1@e2", "d@-1@ex", "!Null@4", "!null", "b \t\r", "e@3@"},
                            {{0, 2}, {2, 1}});
    lines[7] = "I=99  W=d@-1@ex";  // the index after I= is not used; any white space before W=
    netClass net;
    net.netFromLines(lines, d);
    const auto& n = net.nodes;
    EXPECT_EQ(n[2].sylIndex, 2);
    EXPECT_EQ(n[3].sylIndex, 5);  // taken as written, no lookup
    EXPECT_EQ(n[3].word, "x");
    EXPECT_EQ(n[4].sylIndex, 1);
    EXPECT_EQ(n[4].extra, "e1@e2");
    EXPECT_EQ(n[5].sylIndex, 3);  // -1 asks for the lookup
    EXPECT_EQ(n[5].extra, "ex");
    EXPECT_EQ(n[6].sylIndex, -1);
    EXPECT_EQ(n[6].word, "!Null");
    EXPECT_EQ(n[7].sylIndex, -1);
    EXPECT_EQ(n[8].word, "b");
    EXPECT_EQ(n[8].sylIndex, 1);
    EXPECT_EQ(n[9].sylIndex, 3);
    EXPECT_EQ(n[9].extra, "");
}

TEST(NetFromLines, NextWordNodesFollowNullPathsDepthFirst) {
    dictClass d = wordDict({"a", "b", "c"});
    // 0 -> 3 (null) -> {4 (null) -> 2, 5}, 0 -> 6, 0 -> 4; 2,5,6 are words.
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "a", "!NULL", "!NULL", "b", "c"},
                              {{0, 3}, {0, 6}, {0, 4}, {3, 4}, {3, 5}, {4, 2}, {2, 1}, {5, 1}, {6, 1}}),
                     d);
    EXPECT_EQ(net.nodes[0].nextWordNodes, (IntVec{2, 5, 6, 2}));  // duplicates stay
    EXPECT_EQ(net.nodes[3].nextWordNodes, (IntVec{2, 5}));
    EXPECT_EQ(net.nodes[4].nextWordNodes, (IntVec{2}));
    EXPECT_EQ(net.fanOut(), 4);
    // Links keep their line order within a node, whatever the order of lines.
    EXPECT_EQ(net.nodes[0].succ, (IntVec{3, 6, 4}));
}

TEST(NetFromLines, AdjustsOnlyEntriesTheNetUses) {
    dictClass d = wordDict({"a", "b", "c"});
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "c"}, {{0, 2}, {2, 1}}), d);
    EXPECT_EQ(d.m_pronDict[2].models, (IntVec{2, 0}));
    EXPECT_EQ(d.m_pronDict[0].models, (IntVec{0, -1}));
}

TEST(NetFromLines, RefusesMalformedNets) {
    dictClass d = wordDict({"a", "b"});
    auto err = [&](const StrVec& lines) {
        return errorOf([&] {
            netClass net;
            net.netFromLines(lines, d, "x.net");
        });
    };
    EXPECT_TRUE(startsWith(err({}), "Error: netVs.size()==0! (line ")) << err({});
    EXPECT_TRUE(strEndsWith(err({}), " of file net)"));
    std::string e = err(netLines({"!NULL", "!NULL", "zz"}, {{0, 2}}));
    EXPECT_TRUE(startsWith(e, "Error: \"zz\" (nodeIndex=2) not found in the pronunciation dictionary. (line ")) << e;
    EXPECT_TRUE(strEndsWith(e, " of file net)\n"));
    e = err(netLines({"!NULL", "!NULL", "a@2"}, {{0, 2}}));
    EXPECT_TRUE(startsWith(e, "Error: sylIndex (2) out of the range of [0, 2]! (line ")) << e;
    EXPECT_NE(err(netLines({"!NULL", "!NULL", "a@-3"}, {})).find("sylIndex (-3) out of"), std::string::npos);

    StrVec shortNet = netLines({"!NULL", "!NULL", "a"}, {{0, 2}, {2, 1}});
    shortNet.pop_back();
    EXPECT_NE(err(shortNet).find("announces 3 nodes and 2 links but only 4 lines follow"), std::string::npos);
    EXPECT_NE(err(netLines({"!NULL", "!NULL"}, {{0, 2}})).find("link 0 (S=0, E=2) of the net in x.net leaves the node range [0, 1]"),
              std::string::npos);
    EXPECT_NE(err(netLines({"!NULL", "!NULL"}, {{-1, 1}})).find("leaves the node range"), std::string::npos);
    EXPECT_NE(err({"VERSION=1.0"}).find("not a header"), std::string::npos);
    EXPECT_NE(err({"V", "N=2 L=x", "I=0\tW=!NULL", "I=1\tW=!NULL"}).find("not a header"), std::string::npos);
    EXPECT_NE(err({"V", "N=2\tL=-1", "I=0\tW=!NULL", "I=1\tW=!NULL"}).find("not a header"), std::string::npos);
    EXPECT_NE(err({"V", "N=99999999999\tL=0"}).find("not a header"), std::string::npos);
    EXPECT_NE(err({"V", "N=1\tL=0", "I=0\tW=!NULL"}).find("has 1 nodes"), std::string::npos);
    EXPECT_NE(err({"V", "N=2\tL=0", "I=0\tW=!NULL", "W=!NULL"}).find("line 4 of the net in x.net is not a node line"),
              std::string::npos);
    EXPECT_NE(err({"V", "N=2\tL=1", "I=0\tW=!NULL", "I=1\tW=!NULL", "J=0\tS=0"}).find("line 5 of the net in x.net is not a link"),
              std::string::npos);
}

TEST(NetFromLines, RefusesCyclesOfNullNodes) {
    dictClass d = wordDict({"a"});
    auto err = [&](const Links& links) {
        return errorOf([&] {
            netClass net;
            net.netFromLines(netLines({"!NULL", "!NULL", "!NULL", "!NULL", "a"}, links), d, "c.net");
        });
    };
    EXPECT_NE(err({{0, 2}, {2, 3}, {3, 2}, {3, 1}}).find("cycle of null nodes"), std::string::npos);
    EXPECT_NE(err({{0, 3}, {3, 3}}).find("cycle of null nodes through node 3"), std::string::npos);
    // A loop through a word node is fine: the word node ends the expansion.
    EXPECT_EQ(err({{0, 2}, {2, 4}, {4, 2}, {4, 1}}), "");
}

TEST(NetFromLines, LongNullChainsAndExplodingNullPaths) {
    dictClass d = wordDict({"a"});
    const int chain = 200000;
    StrVec words(static_cast<size_t>(chain + 3), "!NULL");
    words[2] = "a";
    Links links{{0, 3}};
    for (int i = 3; i < chain + 2; ++i) links.emplace_back(i, i + 1);
    links.emplace_back(chain + 2, 2);
    links.emplace_back(2, 1);
    netClass net;
    net.netFromLines(netLines(words, links), d);
    EXPECT_EQ(net.nodes[0].nextWordNodes, IntVec{2});

    // 26 null diamonds in a row: 2^26 copies of the word node.
    StrVec dw{"!NULL", "!NULL", "a"};
    Links dl;
    int prev = 0;
    for (int k = 0; k < 26; ++k) {
        int l = static_cast<int>(dw.size()), r = l + 1, j = l + 2;
        dw.insert(dw.end(), {"!NULL", "!NULL", "!NULL"});
        dl.insert(dl.end(), {{prev, l}, {prev, r}, {l, j}, {r, j}});
        prev = j;
    }
    dl.emplace_back(prev, 2);
    std::string e = errorOf([&] { net.netFromLines(netLines(dw, dl), d, "d.net"); });
    EXPECT_NE(e.find("next-word-node lists of the net in d.net exceed"), std::string::npos);
    EXPECT_EQ(net.nodeNum, chain + 3);  // a refused net leaves the old one in place
}

TEST(NetRead, TextFileDispatchAndErrors) {
    TempDir t;
    dictClass d = wordDict({"a", "b"});
    writeFile(t.file("n.NET"), "VERSION=1.0\r\n\nN=3\tL=2\r\nI=0\tW=!NULL\r\nI=1\tW=!NULL\r\nI=2\tW=b\r\nJ=0\tS=0\tE=2\r\nJ=1\tS=2\tE=1\r\n");
    netClass net;
    net.netRead(t.file("n.NET"), d);
    EXPECT_EQ(net.nodes[2].sylIndex, 1);
    EXPECT_EQ(netLinks(net), (Links{{0, 2}, {2, 1}}));

    std::string e = errorOf([&] { net.netRead(t.file("n.txt"), d); });
    EXPECT_EQ(e.substr(0, e.find("(line")), "Error in reading " + t.file("n.txt") +
                                                ": The only allowed extension are \"net\" and \"netb\".  ");
    EXPECT_TRUE(strEndsWith(e, " of file net)\n"));
    e = errorOf([&] { net.netRead(t.file("missing.net"), d); });
    EXPECT_EQ(e.substr(0, e.find(" (line")), "Cannot open file " + t.file("missing.net"));
}

TEST(NetPrint, TextFormRoundTripsAndPrintsToStdout) {
    dictClass d = wordDict({"a", "b"});
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "b@-1@u1", "a@0@x@y", "!NULL"}, {{0, 4}, {4, 3}, {4, 2}, {3, 1}, {2, 1}, {0, 2}}),
                     d);
    const std::string want =
        "VERSION=1.0 (by netClass::netPrint())\nN=5\tL=6\n"
        "I=0\tW=!NULL@-1@\nI=1\tW=!NULL@-1@\nI=2\tW=b@1@u1\nI=3\tW=a@0@x@y\nI=4\tW=!NULL@-1@\n"
        "J=0\tS=0\tE=4\nJ=1\tS=0\tE=2\nJ=2\tS=2\tE=1\nJ=3\tS=3\tE=1\nJ=4\tS=4\tE=3\nJ=5\tS=4\tE=2\n";
    TempDir t;
    net.netPrint(t.file("o.net"));
    EXPECT_EQ(test::readFile(t.file("o.net")), want);
    testing::internal::CaptureStdout();
    net.netPrint("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), want);

    netClass again;
    again.netRead(t.file("o.net"), d);
    EXPECT_EQ(netLinks(again), netLinks(net));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(again.nodes[i].sylIndex, net.nodes[i].sylIndex);
        EXPECT_EQ(again.nodes[i].extra, net.nodes[i].extra);
        EXPECT_EQ(again.nodes[i].nextWordNodes, net.nodes[i].nextWordNodes);
    }
}

TEST(NetBinary, WritesReadsBackAndTextOfItReadsAgain) {
    dictClass d = wordDict({"a", "b", "fillerC"});
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "fillerC", "!NULL", "b"}, {{0, 3}, {3, 2}, {3, 4}, {2, 1}, {4, 1}}), d);
    TempDir t;
    net.netWriteBinary(t.file("o.netb"));
    const std::string bytes = test::readFile(t.file("o.netb"));
    ASSERT_EQ(bytes.size(), 8u + 3 * 4 + 5 * 8);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x05\0\0\0\x05\0\0\0", 8));
    EXPECT_EQ(bytes.substr(8, 12), std::string("\x02\0\0\0\xff\xff\xff\xff\x01\0\0\0", 12));
    EXPECT_EQ(bytes.substr(20, 8), std::string("\0\0\0\0\x03\0\0\0", 8));

    netClass back;
    back.netRead(t.file("o.netb"), d);
    EXPECT_EQ(back.nodeNum, 5);
    EXPECT_EQ(netLinks(back), netLinks(net));
    for (int i = 2; i < 5; ++i) EXPECT_EQ(back.nodes[i].sylIndex, net.nodes[i].sylIndex);
    EXPECT_EQ(back.nodes[2].word, "");
    EXPECT_EQ(back.nodes[3].word, "!NULL");
    EXPECT_EQ(back.nodes[0].nextWordNodes, (IntVec{2, 4}));
    back.setNodePenalty(-7.0f);
    for (const netNode& n : back.nodes) EXPECT_EQ(n.penalty, 0.0f);
    net.setNodePenalty(-7.0f);
    EXPECT_EQ(net.nodes[2].penalty, -7.0f);
    EXPECT_EQ(net.nodes[4].penalty, 0.0f);

    // The text form of a binary-read net reads back (null nodes keep "!NULL").
    back.netPrint(t.file("b.net"));
    netClass text;
    text.netRead(t.file("b.net"), d);
    EXPECT_EQ(netLinks(text), netLinks(net));
}

TEST(NetBinary, RefusesTruncatedAndOutOfRangeFiles) {
    dictClass d = wordDict({"a", "b"});
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "a", "b"}, {{0, 2}, {2, 3}, {3, 1}}), d);
    TempDir t;
    net.netWriteBinary(t.file("o.netb"));
    const std::string whole = test::readFile(t.file("o.netb"));
    for (size_t n = 0; n < whole.size(); ++n) {
        writeFile(t.file("cut.netb"), whole.substr(0, n));
        netClass cut;
        std::string e = errorOf([&] { cut.netRead(t.file("cut.netb"), d); });
        EXPECT_NE(e.find("is truncated"), std::string::npos) << n;
    }
    auto patched = [&](size_t at, int32_t v) {
        std::string b = whole;
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xff);
        writeFile(t.file("p.NETB"), b);
        return errorOf([&] {
            netClass p;
            p.netRead(t.file("p.NETB"), d);
        });
    };
    EXPECT_NE(patched(8, 2).find("sylIndex (2) out of the range of [0, 2]!"), std::string::npos);
    EXPECT_NE(patched(8, -2).find("sylIndex (-2) out of the range"), std::string::npos);
    EXPECT_NE(patched(16, 4).find("leaves the node range [0, 3]"), std::string::npos);
    EXPECT_NE(patched(4, -1).find("announces -1 links"), std::string::npos);
    EXPECT_NE(patched(0, 1).find("has 1 nodes"), std::string::npos);
    EXPECT_NE(patched(0, 0x7fffffff).find("is truncated"), std::string::npos);
    EXPECT_NE(patched(4, 0x7fffffff).find("is truncated"), std::string::npos);
    EXPECT_EQ(patched(8, -1), "");  // -1 makes node 2 a null node
}

TEST(NetRead, SampleNetsInBothForms) {
    dictClass d = wordDict({"a", "b", "fillerC", "fillerV", "sil", "sp"});
    netClass text, binary, one;
    text.netRead(test::dataPath("net/tree_filler.net"), d);
    binary.netRead(test::dataPath("net/tree_filler.netb"), d);
    one.netRead(test::dataPath("net/one_word.net"), d);
    ASSERT_EQ(text.nodeNum, 16);
    EXPECT_EQ(netLinks(binary), netLinks(text));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(binary.nodes[i].sylIndex, text.nodes[i].sylIndex) << i;
        EXPECT_EQ(binary.nodes[i].nextWordNodes, text.nodes[i].nextWordNodes) << i;
    }
    EXPECT_EQ(text.nodes[0].nextWordNodes, (IntVec{4, 8, 10, 12, 14}));
    EXPECT_EQ(text.fanOut(), 5);
    EXPECT_EQ(one.nodes[0].nextWordNodes, IntVec{2});
    for (const pronDictEntry& e : d.m_pronDict) EXPECT_EQ(e.models, (IntVec{static_cast<int32_t>(&e - &d.m_pronDict[0]), 0}));
}

TEST(NetSearchSlots, AllocatedOnDemand) {
    dictClass d = wordDict({"a"});
    netClass net;
    net.netFromLines(netLines({"!NULL", "!NULL", "a"}, {{0, 2}, {2, 1}}), d);
    net.resetSearchSlots();
    net.searchSlots(2)[MAX_STATE_NUM_IN_SYL - 1] = 5;
    EXPECT_EQ(net.searchSlots(0)[0], -1);
    EXPECT_EQ(net.searchSlots(2)[MAX_STATE_NUM_IN_SYL - 1], 5);
    net.resetSearchSlots();
    EXPECT_EQ(net.searchSlots(2)[MAX_STATE_NUM_IN_SYL - 1], -1);
}

}  // namespace
}  // namespace kedo
