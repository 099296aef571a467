// Macro file readers and writers, sorting, conversion, model counts, lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include <sys/stat.h>

#include "acoustic/macro.h"
#include "kedo/error.h"
#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::TempDir;
using test::writeFile;

std::string thirteen(float base) {
    std::string s;
    char buf[32];
    for (int i = 0; i < 13; ++i) {
        std::snprintf(buf, sizeof buf, " %g", base + 0.5f * i);
        s += buf;
    }
    return s + "\n";
}

// One stream; model "b": one emitting state given by <SWEIGHTS> alone, its
// mixture without <GCONST>; model "a": two mixtures, the first with <RCLASS>,
// the second without <GCONST> right before <TRANSP>.
std::string handText() {
    return "~o\n<STREAMINFO> 1 13\n<VECSIZE> 13 <NULLD><MFCC_E_D_A><DIAGC>  \n"
           "~h \"b\"\n<BEGINHMM>\n<NUMSTATES> 3\n<STATE> 2\n<SWEIGHTS> 1\n 0.7\n"
           "<MEAN> 13\n" + thirteen(1) + "<VARIANCE> 13\n" + thirteen(2) +
           "<TRANSP> 3\n 0 1 0\n 0 0.5 0.5\n 0 0 0\n<ENDHMM>\n"
           "~h \"a\"\n<BEGINHMM>\n<NUMSTATES> 3\n<STATE> 2\n<NUMMIXES> 2\n<SWEIGHTS> 1\n 1.0\n"
           "<MIXTURE> 1 0.25\n<RCLASS> 4\n<MEAN> 13\n" + thirteen(-1) + "<VARIANCE> 13\n" + thirteen(0.5f) +
           "<GCONST> 12.5\n"
           "<MIXTURE> 2 0.75\n<MEAN> 13\n" + thirteen(3) + "<VARIANCE> 13\n" + thirteen(0.25f) +
           "<TRANSP> 3\n 0 1 0\n 0 0.25 0.75\n 0 0 0\n<ENDHMM>\n";
}

macroClass readText(const std::string& text, bool convert = false) {
    macroClass set;
    set.parseTextModels(text, "t.mac");
    if (convert) {
        set.sortModels();
        set.convertModels();
    }
    return set;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KedoError& e) {
        return e.what();
    }
    return "(no error)";
}

// Bit for bit, unused slots included.
bool sameModel(const HmmModel& a, const HmmModel& b) {
    if (std::memcmp(a.name, b.name, sizeof a.name) != 0 || std::memcmp(&a.logCount, &b.logCount, 4) != 0 ||
        a.numStates != b.numStates || std::memcmp(a.transP, b.transP, sizeof a.transP) != 0)
        return false;
    for (int j = 0; j < MAX_EMITTING_STATE_NUM; ++j) {
        const StateRec& x = a.states[j];
        const StateRec& y = b.states[j];
        if (std::memcmp(x.streamWeight, y.streamWeight, sizeof x.streamWeight) != 0) return false;
        for (int s = 0; s < MAX_STREAM_NUM; ++s)
            if (x.streams[s].mixtures.size() != y.streams[s].mixtures.size() ||
                (!x.streams[s].mixtures.empty() &&
                 std::memcmp(x.streams[s].mixtures.data(), y.streams[s].mixtures.data(),
                             x.streams[s].mixtures.size() * sizeof(MixtureRec)) != 0))
                return false;
    }
    return true;
}

bool sameRecords(const macroClass& a, const macroClass& b) {
    if (a.m_modelNum != b.m_modelNum || a.m_streamNum != b.m_streamNum || a.m_models.size() != b.m_models.size())
        return false;
    for (size_t i = 0; i < a.m_models.size(); ++i)
        if (!sameModel(a.m_models[i], b.m_models[i])) return false;
    return true;
}

TEST(MacroText, GrammarVariantsAndReadAhead) {
    macroClass set = readText(handText());
    ASSERT_EQ(set.m_modelNum, 2);
    EXPECT_EQ(set.m_streamNum, 1);
    EXPECT_EQ(set.m_header, "<VECSIZE> 13 <NULLD><MFCC_E_D_A><DIAGC>");
    const HmmModel& b = set.m_models[0];
    EXPECT_STREQ(b.name, "b");
    EXPECT_EQ(b.numStates, 3);
    EXPECT_FLOAT_EQ(b.states[0].streamWeight[0], 0.7f);
    ASSERT_EQ(b.states[0].streams[0].mixtureNum(), 1);
    EXPECT_EQ(b.states[0].streams[0].mixtures[0].weight, 1.0f);
    EXPECT_EQ(b.states[0].streams[0].mixtures[0].gconst, 0.0f);
    EXPECT_FLOAT_EQ(b.states[0].streams[0].mixtures[0].mean[12], 7.0f);
    EXPECT_FLOAT_EQ(b.transP[1][2], 0.5f);
    const HmmModel& a = set.m_models[1];
    ASSERT_EQ(a.states[0].streams[0].mixtureNum(), 2);
    EXPECT_FLOAT_EQ(a.states[0].streams[0].mixtures[0].weight, 0.25f);
    EXPECT_FLOAT_EQ(a.states[0].streams[0].mixtures[0].gconst, 12.5f);
    EXPECT_FLOAT_EQ(a.states[0].streams[0].mixtures[0].mean[0], -1.0f);
    EXPECT_FLOAT_EQ(a.states[0].streams[0].mixtures[1].variance[1], 0.75f);
    EXPECT_EQ(a.states[0].streams[0].mixtures[1].gconst, 0.0f);
    EXPECT_FLOAT_EQ(a.transP[1][2], 0.75f);

    // Sorting and conversion: logs of weights and transitions, inverse variances.
    macroClass c = readText(handText(), true);
    EXPECT_STREQ(c.m_models[0].name, "a");
    EXPECT_FLOAT_EQ(c.m_models[0].states[0].streams[0].mixtures[0].weight, std::log(0.25f));
    EXPECT_FLOAT_EQ(c.m_models[0].states[0].streams[0].mixtures[1].variance[1], 1.0f / 0.75f);
    EXPECT_EQ(c.m_models[0].transP[0][0], LZERO);
    EXPECT_FLOAT_EQ(c.m_models[0].transP[1][1], std::log(0.25f));
    EXPECT_EQ(c.m_models[1].states[0].streams[0].mixtures[0].weight, 0.0f);  // weight 1 -> log 0
}

TEST(MacroText, ModelCountIsTheNumberOfHLines) {
    // A comment-like line starting with ~h inside the header region is not a
    // model; only the three ~h lines below count.
    std::string text = handText();
    std::string third = text.substr(text.find("~h \"a\""));
    third.replace(third.find("\"a\""), 3, "\"c\"");
    macroClass set = readText(text + third);
    EXPECT_EQ(set.m_modelNum, 3);
    EXPECT_STREQ(set.m_models[2].name, "c");
}

TEST(MacroText, FormatErrorsCarryTheirMessages) {
    const std::string base = handText();
    struct Case {
        std::string from, to, expected;
    };
    const Case cases[] = {
        {"<BEGINHMM>", "<BEGIN>", "modelId=0, str1=<BEGIN>, Cannot find \"<BEGINHMM>\" (line 194 of macro)"},
        {"<NUMMIXES> 2", "<NUMMIXES> 33", "Error: mixtureNum=33 exceeds MAX_MIXTURE_NUM=32 (line 214 of macro)"},
        {"<SWEIGHTS> 1\n 0.7", "<WEIGHTS> 1\n 0.7",
         "ERROR: fail to read <NUMMIXES> or <SWEIGHTS> at modelId = 0, stateId = 2 (line 223 of macro)"},
        {"<RCLASS> 4\n<MEAN>", "<RCLASS> 4\n<MEANS>", "Error: Cannot find \"<MEAN>\" (line 296 of macro)"},
        {"<MEAN> 13", "<MEAN> 12", "Error: MAX_PARAM_NUM = 13 != 12! (line 299 of macro)"},
        {"<VARIANCE> 13", "<VARIANCE> 39", "Error: MAX_PARAM_NUM = 13 != 39! (line 305 of macro)"},
        {"<VARIANCE> 13", "<VAR> 13", "Cannot find \"<VARIANCE>\" (line 308 of macro)"},
        {"<TRANSP> 3", "<TRANS> 3", "Error: Cannot find \"<TRANSP>\" (line 345 of macro)"},
        {"<ENDHMM>", "<END>", "Error: Not reading <ENDHMM>, modelId=0 (line 362 of macro)"},
        {"<NUMSTATES> 3", "<NUMSTATES> 6", "numStates=6 of model 0 is outside 3..5"},
        {"<STREAMINFO> 1 13", "<STREAMINFO> 4 13 13 13 13", "the stream count 4 is outside 1..3"},
        {"<STREAMINFO> 1 13", "<STREAMINFO> 1 12", "the stream width 12 is not 13"},
        {"~h \"b\"", "~h \"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\"", "longer than 49 characters"},
        {"<NUMMIXES> 2\n<SWEIGHTS>", "<NUMMIXES> 2\n<SWEIGHT>", "\"<SWEIGHTS>\" must follow"},
        {"<NUMMIXES> 2", "<NUMMIXES> -1", "is negative"},
        {"<MIXTURE> 1 0.25", "<MIXTURE> 1 x0.25", "expected a number, found \"x0.25\" in model 1"},
    };
    for (const Case& c : cases) {
        std::string text = base;
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        EXPECT_NE(errorOf([&] { readText(text); }).find(c.expected), std::string::npos) << c.expected;
    }
    // Cut anywhere, the file is refused with a message, never read past its end.
    const size_t second = base.find("~h \"a\""), last = base.rfind("<ENDHMM>");
    for (size_t n = second + 2; n < last + 8; n += 3) {
        std::string msg = errorOf([&] { readText(base.substr(0, n)); });
        EXPECT_NE(msg, "(no error)") << n;
    }
}

TEST(MacroText, StreamTagRequiredWithSeveralStreams) {
    test::SyntheticModelSpec spec;
    spec.names = {"x"};
    spec.streamNum = 2;
    std::string text = test::makeSyntheticModels(spec).textImage();
    text.replace(text.find("<STREAM> 2"), 10, "<STRM> 2");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::string msg = errorOf([&] { readText(text); });
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(msg, "str1=<STRM>, temp=2, Cannot find \"<STREAM>\" (line 248 of macro)");
    EXPECT_NE(out.find("modelId=0 (x), stateId=2\n"), std::string::npos);
    EXPECT_NE(err.find("Error in reading \"t.mac\""), std::string::npos);
}

TEST(MacroFiles, ExtensionChoosesTheReader) {
    TempDir d;
    macroClass set = test::makeSyntheticModels({});
    set.writeModels(d.file("m.MAC"));
    set.writeModels(d.file("m.MACB"));
    macroClass t, b;
    t.readModels(d.file("m.MAC"), false);
    b.readModels(d.file("m.MACB"), false);
    EXPECT_TRUE(sameRecords(t, set));
    EXPECT_TRUE(sameRecords(b, set));
    writeFile(d.file("m.txt"), "x");
    EXPECT_EQ(errorOf([&] { t.readModels(d.file("m.txt"), true); }),
              "Error in reading \"" + d.file("m.txt") +
                  "\": The only allowed extension are \"mac\" and \"macb\" (line 762 of macro) \n");
    EXPECT_NE(errorOf([&] { t.readModels(d.file("missing.mac"), true); }).find("Cannot open file"), std::string::npos);
}

TEST(MacroFiles, TextAndBinaryRoundTrips) {
    test::SyntheticModelSpec spec;
    spec.mixtureNum = 3;
    macroClass set = test::makeSyntheticModels(spec);
    set.m_models[1].states[0].streams[2].mixtures[1].weight = 0.0f;
    // Parts a file cannot hold are left zero.
    StreamRec& empty = set.m_models[2].states[1].streams[0];
    empty = StreamRec{};
    HmmModel& short3 = set.m_models[3];
    short3.numStates = 3;
    short3.states[1] = short3.states[2] = StateRec{};
    std::memset(short3.transP, 0, sizeof short3.transP);
    short3.transP[0][1] = 1.0f;
    short3.transP[1][2] = 1e-38f;  // near the bottom of the float range

    macroClass fromText, fromBinary;
    fromText.parseTextModels(set.textImage(), "x.mac");
    fromBinary.parseBinaryModels(set.binaryImage(), "x.macb");
    EXPECT_TRUE(sameRecords(fromText, set));
    EXPECT_TRUE(sameRecords(fromBinary, set));
    EXPECT_EQ(fromText.m_header, set.m_header);
    EXPECT_EQ(fromText.textImage(), set.textImage());

    // A converted set is written back in file form.
    macroClass converted = fromBinary;
    converted.convertModels();
    macroClass again;
    again.parseBinaryModels(converted.binaryImage(), "y.macb");
    EXPECT_NEAR(again.m_models[0].states[0].streams[0].mixtures[1].weight, 1.0f / 3, 1e-6);
    EXPECT_NEAR(again.m_models[0].states[0].streams[0].mixtures[1].variance[4], spec.variance, 1e-6);
    EXPECT_NEAR(again.m_models[0].transP[1][1], spec.selfLoop, 1e-6);
    EXPECT_EQ(again.m_models[1].states[0].streams[2].mixtures[1].weight, 0.0f);
}

// A file whose size is not known before reading (a pipe) is read piece by
// piece into a growing image: the same set as from its bytes, in either form.
TEST(MacroFiles, ReadFromAPipeInPieces) {
    test::SyntheticModelSpec spec;
    spec.mixtureNum = 8;
    const macroClass set = test::makeSyntheticModels(spec);
    TempDir dir;
    for (const std::string name : {"models.macb", "models.mac"}) {
        const std::string path = dir.file(name);
        const std::string bytes = name.back() == 'b' ? set.binaryImage() : set.textImage();
        ASSERT_GT(bytes.size(), 2u * 65536) << "several pieces";
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        std::thread writer([&] {
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) return;
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        });
        macroClass fromPipe, direct;
        std::string error;
        try {
            fromPipe.readModels(path, false);
        } catch (const KedoError& e) {
            error = e.what();
        }
        writer.join();
        ASSERT_EQ(error, "") << name;
        if (name.back() == 'b')
            direct.parseBinaryModels(bytes, path);
        else
            direct.parseTextModels(bytes, path);
        EXPECT_TRUE(sameRecords(fromPipe, direct)) << name;
        EXPECT_EQ(fromPipe.binaryImage(), direct.binaryImage()) << name;
    }
}

// The binary reader converts each model as it reads it when asked: the
// records, tables and tied states must be those of reading, sorting and
// converting one after the other.
TEST(MacroFiles, ConvertingWhileReadingGivesTheSameSet) {
    test::SyntheticModelSpec spec;
    spec.mixtureNum = 5;
    spec.names = {"z", "b", "a", "b", "c"};  // out of order, one name twice
    macroClass set = test::makeSyntheticModels(spec);
    set.m_models[2].states[1].streams[0].mixtures[3].weight = 0.0f;  // cut
    set.m_models[1].states[0].streams[1].mixtures.clear();
    set.m_models[4].states[2] = set.m_models[0].states[2];  // tied
    const std::string image = set.binaryImage();
    macroClass stepwise, atOnce;
    stepwise.parseBinaryModels(image, "x.macb");
    stepwise.sortModels();
    stepwise.convertModels();
    atOnce.parseBinaryModels(image, "x.macb", true);
    EXPECT_TRUE(atOnce.converted());
    atOnce.sortModels();
    atOnce.buildLikelihoodTables();
    EXPECT_TRUE(sameRecords(stepwise, atOnce));
    StrVec a, b;
    stepwise.summaryLines(true).swap(a);
    atOnce.summaryLines(true).swap(b);
    EXPECT_EQ(a, b);
    for (int m = 0; m < stepwise.m_modelNum; ++m)
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(stepwise.stateId(m, j), atOnce.stateId(m, j));
            for (int s = 0; s < 3; ++s) {
                const PackedStream& x = stepwise.packedStream(m, j, s);
                const PackedStream& y = atOnce.packedStream(m, j, s);
                ASSERT_EQ(x.padded, y.padded);
                EXPECT_EQ(x.active, y.active);
                EXPECT_EQ(std::memcmp(stepwise.tablePool() + x.offset, atOnce.tablePool() + y.offset,
                                      sizeof(float) * x.padded * (2 + 2 * MAX_VECTOR_SIZE)),
                          0);
            }
        }
    // Sorted a, b, b, c, z: the third state of "z" is that of "c".
    EXPECT_EQ(atOnce.stateId(4, 2), 3 * MAX_EMITTING_STATE_NUM + 2);
}

// A model takes the memory of the mixtures it has, not room for the most a
// stream may hold.
TEST(MacroFiles, MemoryFollowsTheMixtureCount) {
    test::SyntheticModelSpec spec;
    spec.mixtureNum = 1;
    macroClass one = test::makeSyntheticModels(spec);
    spec.mixtureNum = 8;
    macroClass eight = test::makeSyntheticModels(spec);
    const size_t perModel = one.memoryBytes() / one.m_models.size();
    EXPECT_LT(perModel, 4096u);
    EXPECT_GT(eight.memoryBytes(), one.memoryBytes() + 7 * 9 * sizeof(MixtureRec) * (one.m_models.size() - 1));
}

TEST(MacroFiles, CheckedInSetReadsAlikeInBothForms) {
    macroClass t, b;
    t.readModels(test::dataPath("acoustic/tiny.mac"), true);
    b.readModels(test::dataPath("acoustic/tiny.macb"), true);
    EXPECT_TRUE(sameRecords(t, b));
    StrVec names;
    t.modelNameList(names);
    EXPECT_EQ(names, (StrVec{"a-b+sil", "a-b+x", "b", "sil", "sp"}));
    const HmmModel& ax = t.m_models[1];
    EXPECT_EQ(ax.states[2].streams[0].mixtureNum(), 3);
    EXPECT_EQ(ax.states[2].streams[0].mixtures[2].weight, LZERO);  // weight 0
    EXPECT_EQ(t.m_models[2].states[1].streams[1].mixtureNum(), 1);   // <SWEIGHTS> only
}

TEST(MacroBinary, MalformedFilesAreRefused) {
    test::SyntheticModelSpec spec;
    spec.names = {"p", "q"};
    spec.mixtureNum = 1;
    const std::string image = test::makeSyntheticModels(spec).binaryImage();
    // Every truncation is refused.
    for (size_t n = 0; n < image.size(); ++n) {
        macroClass set;
        std::string msg = errorOf([&] { set.parseBinaryModels(image.substr(0, n), "x.macb"); });
        ASSERT_NE(msg.find("Error in reading \"x.macb\""), std::string::npos) << n << ": " << msg;
    }
    auto patched = [&](size_t offset, int32_t value) {
        std::string s = image;
        std::memcpy(&s[offset], &value, 4);
        return s;
    };
    const size_t model0 = 4 + 4 + 3 * 4;
    const size_t stream0 = model0 + 50 + 4 + 3 * 4;
    struct Case {
        std::string bytes, expected;
    };
    std::string noNul = image;
    std::memset(&noNul[model0], 'n', 50);
    const Case cases[] = {
        {patched(0, 1000000), "announces 1000000 models"},
        {patched(0, -1), "the model count -1 is negative"},
        {patched(4, 0), "the stream count 0 is outside 1..3"},
        {patched(8, 14), "the stream width 14 is not 13"},
        {patched(model0 + 50, 6), "numStates=6 of model 0 is outside 3..5"},
        {patched(stream0, 33), "the mixture count 33 of state 2, stream 1 is outside 0..32 in model 0"},
        {noNul, "the name is not ended within 50 bytes in model 0"},
    };
    for (const Case& c : cases) {
        macroClass set;
        EXPECT_NE(errorOf([&] { set.parseBinaryModels(c.bytes, "x.macb"); }).find(c.expected), std::string::npos)
            << c.expected;
    }
}

TEST(MacroSet, SortIsByteWiseAndStable) {
    test::SyntheticModelSpec spec;
    spec.names = {"b", "B", "a+b", "a", "\xb0\xa1", "b", "a-b"};
    spec.mixtureNum = 1;
    macroClass set = test::makeSyntheticModels(spec);
    set.m_models[0].logCount = 1.0f;  // marks the first "b"
    set.sortModels();
    StrVec names;
    set.modelNameList(names);
    EXPECT_EQ(names, (StrVec{"B", "a", "a+b", "a-b", "b", "b", "\xb0\xa1"}));
    EXPECT_EQ(set.m_models[4].logCount, 1.0f);
    EXPECT_EQ(set.m_models[5].logCount, 0.0f);
}

TEST(MacroSet, ConversionFloorsVariancesAndLogsZeros) {
    test::SyntheticModelSpec spec;
    spec.names = {"x"};
    spec.mixtureNum = 2;
    macroClass set = test::makeSyntheticModels(spec);
    MixtureRec& mix = set.m_models[0].states[0].streams[0].mixtures[0];
    mix.variance[0] = 0.0f;
    mix.variance[1] = 1e35f;
    mix.weight = 0.0f;
    set.convertModels();
    EXPECT_EQ(mix.variance[0], 1e30f);
    EXPECT_EQ(mix.variance[1], 1e-30f);
    EXPECT_EQ(mix.weight, LZERO);
    EXPECT_EQ(set.m_models[0].transP[0][0], LZERO);
    EXPECT_EQ(set.m_models[0].transP[0][1], 0.0f);
    set.convertModels();  // a second call changes nothing
    EXPECT_EQ(mix.variance[1], 1e-30f);
}

TEST(MacroSet, ModelCountFile) {
    TempDir d;
    macroClass set;
    set.readModels(test::dataPath("acoustic/tiny.mac"), true);
    set.readModelCount(test::dataPath("acoustic/tiny.cnt"));
    EXPECT_FLOAT_EQ(set.m_models[0].logCount, std::log(12.0f));
    EXPECT_FLOAT_EQ(set.m_models[3].logCount, std::log(100.0f));
    EXPECT_EQ(set.m_models[4].logCount, 0.0f);  // count 0

    // A line naming another model warns and still applies; lines past the
    // last model are ignored; a missing file resets every count.
    writeFile(d.file("c.txt"), "a-b+sil\t2\nzzz\t5\r\nb\nsill\t3\nsp\t4\nextra\t9\nmore\t1\n");
    testing::internal::CaptureStdout();
    set.readModelCount(d.file("c.txt"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Warning: Mismatched model count file! (line 41 of macro)\n"
              "Warning: Mismatched model count file! (line 41 of macro)\n");
    EXPECT_FLOAT_EQ(set.m_models[1].logCount, std::log(5.0f));
    EXPECT_EQ(set.m_models[2].logCount, 0.0f);
    EXPECT_FLOAT_EQ(set.m_models[3].logCount, std::log(3.0f));
    EXPECT_FLOAT_EQ(set.m_models[4].logCount, std::log(4.0f));
    set.readModelCount(d.file("none.txt"));
    for (const HmmModel& m : set.m_models) EXPECT_EQ(m.logCount, 0.0f);
}

TEST(MacroSet, FindModelAndSubstitutes) {
    test::SyntheticModelSpec spec;
    spec.names = {"sil", "a-b+x", "a-b+sil", "a-b+y", "c-d+e", "k", "sp"};
    spec.mixtureNum = 1;
    macroClass set = test::makeSyntheticModels(spec);
    set.sortModels();
    auto name = [&](int i) { return i < 0 ? std::string("-1") : std::string(set.m_models[i].name); };
    EXPECT_EQ(name(set.findModel("a-b+x")), "a-b+x");
    EXPECT_EQ(name(set.findModel("a-b+c")), "a-b+sil");
    EXPECT_EQ(name(set.findModel("c-d+f")), "c-d+e");
    EXPECT_EQ(set.findModel("q-r+s"), 0);
    EXPECT_EQ(name(set.findModel("sp")), "sp");
    EXPECT_EQ(set.findSubstituteModel("sp"), -1);
    for (const char* special : {"filler", "fillerC", "fillerV"}) EXPECT_EQ(set.findModel(special), -1);
    EXPECT_EQ(set.findSubstituteModel("sil"), -1);
    EXPECT_EQ(errorOf([&] { set.findModel("b"); }),
              "Error in macroClass::findSubstituteModel(): Cannot find '+' sign, modelStr=b (line 794 of macro) \n");

    // Without a-b+sil the first model beginning with "a-b+" stands in.
    spec.names = {"a-b+y", "a-b+x", "k"};
    macroClass other = test::makeSyntheticModels(spec);
    other.sortModels();
    EXPECT_STREQ(other.m_models[other.findModel("a-b+c")].name, "a-b+x");
}

}  // namespace
}  // namespace kedo
