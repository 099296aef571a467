// The result picture: what it reads from an output folder, what it draws, and
// the messages for folders it cannot draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "kedo/error.h"
#include "kedo/plot.h"
#include "plot/result_picture.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::TempDir;

std::string golden(const char* run) { return std::string(KEDO_SOURCE_DIR) + "/tests/golden/" + run; }

// The message of the error that drawing the folder raises ("" when none).
std::string drawError(const std::string& folder) {
    try {
        resultPictureSvg(folder);
    } catch (const KedoError& e) {
        return e.what();
    }
    return "";
}

// A folder holding the golden English run's two files, with the document
// edited by `edit`.
template <class Edit>
void copyEnglishRun(const TempDir& dir, Edit edit) {
    std::string xml = test::readFile(golden("english") + "/output.xml");
    edit(xml);
    test::writeFile(dir.file("output.xml"), xml);
    test::writeFile(dir.file("output.wave"), test::readFile(golden("english") + "/output.wave"));
}

void replaceFirst(std::string& s, const std::string& from, const std::string& to) {
    size_t pos = s.find(from);
    ASSERT_NE(pos, std::string::npos) << from;
    s.replace(pos, from.size(), to);
}

std::string labels(const std::vector<PictureSpan>& spans) {
    std::string out;
    for (const PictureSpan& s : spans) out += (out.empty() ? "" : " ") + s.label;
    return out;
}

TEST(PictureData, ReadsTheWordsPhonesTracksAndDiscountsOfARun) {
    PictureData d = readPictureData(golden("english"));
    EXPECT_EQ(d.language, "english");
    EXPECT_EQ(d.sentence, "I like tea.");
    EXPECT_EQ(labels(d.words), "i like tea");
    for (size_t i = 0; i + 1 < d.words.size(); ++i) EXPECT_LE(d.words[i].end, d.words[i + 1].start);
    // Phones cover the run from its first to its last frame, silences included and unscored.
    ASSERT_GE(d.phones.size(), d.words.size());
    EXPECT_EQ(d.phones.front().start, 0);
    EXPECT_EQ(d.phones.front().score, -1);
    for (size_t i = 0; i + 1 < d.phones.size(); ++i) EXPECT_DOUBLE_EQ(d.phones[i].end, d.phones[i + 1].start);
    // One volume value per 10 ms frame of the nodes; the waveform spans the recording.
    EXPECT_NEAR(d.volume.size() * 0.01, d.phones.back().end - d.phones.front().start, 0.011);
    EXPECT_GT(d.duration, 0);
    ASSERT_EQ(d.waveHigh.size(), static_cast<size_t>(kWaveColumns));
    float peak = 0;
    for (size_t c = 0; c < d.waveHigh.size(); ++c) {
        EXPECT_LE(d.waveLow[c], d.waveHigh[c]);
        peak = std::max({peak, d.waveHigh[c], -d.waveLow[c]});
    }
    EXPECT_FLOAT_EQ(peak, 1);
    EXPECT_TRUE(d.discounts.empty());
    EXPECT_FALSE(d.hasPitch);
}

TEST(PictureData, ChineseTextIsConvertedFromBig5) {
    PictureData d = readPictureData(golden("assess"));
    EXPECT_EQ(d.language, "chinese");
    EXPECT_EQ(d.sentence + " " + labels(d.words), "你好 你 好");
}

TEST(PictureData, PitchKeepsVoicedFramesAtTheirTimes) {
    TempDir dir;
    copyEnglishRun(dir, [](std::string& xml) {
        replaceFirst(xml, "<pitch idx=\"2\" type=\"double\" size=\"1 0\"></pitch>",
                     "<pitch idx=\"2\" type=\"double\" size=\"1 3\">0 40.5 41</pitch>");
    });
    PictureData d = readPictureData(dir.path());
    EXPECT_TRUE(d.hasPitch);
    ASSERT_EQ(d.pitch.size(), 2u) << "the unvoiced frame is left out";
    EXPECT_DOUBLE_EQ(d.pitch[0].time, d.words[0].start + 0.015);
    EXPECT_DOUBLE_EQ(d.pitch[0].value, 40.5);
    EXPECT_DOUBLE_EQ(d.pitch[1].time, d.words[0].start + 0.025);
    EXPECT_NE(pictureSvg(d).find("semitones"), std::string::npos);
}

TEST(PictureData, DiscountsThatOccurredAndTheReportedOnlyOne) {
    TempDir dir;
    copyEnglishRun(dir, [](std::string& xml) {
        replaceFirst(xml, "<occurrence idx=\"1\" type=\"double\" size=\"1 1\">0<",
                     "<occurrence idx=\"1\" type=\"double\" size=\"1 1\">1<");
        replaceFirst(xml, "<occurrence idx=\"5\" type=\"double\" size=\"1 1\">0<",
                     "<occurrence idx=\"5\" type=\"double\" size=\"1 1\">2<");
    });
    PictureData d = readPictureData(dir.path());
    ASSERT_EQ(d.discounts.size(), 2u);
    EXPECT_EQ(d.discounts[0].reason, "Incomplete Viterbi search path");
    EXPECT_TRUE(d.discounts[0].applied);
    EXPECT_EQ(d.discounts[1].reason, "Difference between identified and actual no. of syllables");
    EXPECT_EQ(d.discounts[1].occurrences, 2);
    EXPECT_FALSE(d.discounts[1].applied);
    const std::string svg = pictureSvg(d);
    EXPECT_NE(svg.find("Incomplete Viterbi search path: 1 time, ratio "), std::string::npos);
    EXPECT_NE(svg.find("syllables: 2 times, ratio 1.000 (reported only"), std::string::npos);
}

TEST(PictureSvg, DrawsEveryWordWithItsScoreColourAndTheHeader) {
    PictureData d = readPictureData(golden("english"));
    d.words[0].score = 0;
    d.words[1].score = 100;
    d.words[2].score = 50;
    d.score = 37;
    const std::string svg = pictureSvg(d);
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    EXPECT_NE(svg.find(">I like tea.</text>"), std::string::npos);
    EXPECT_NE(svg.find("none: the score was not lowered"), std::string::npos);
    EXPECT_NE(svg.find(">37</text>"), std::string::npos);
    EXPECT_NE(svg.find("fill=\"#f46d43\" stroke=\"#ffffff\"><title>i "), std::string::npos) << "0 is red";
    EXPECT_NE(svg.find("fill=\"#66bd63\" stroke=\"#ffffff\"><title>like "), std::string::npos) << "100 is green";
    EXPECT_NE(svg.find("fill=\"#fee08b\" stroke=\"#ffffff\"><title>tea "), std::string::npos) << "50 is yellow";
    EXPECT_NE(svg.find("fill=\"#d9d9d9\" stroke=\"#ffffff\"><title>sil "), std::string::npos) << "silence is grey";
    EXPECT_NE(svg.find("no pitch"), std::string::npos) << "the English set computes no pitch";
}

TEST(PictureSvg, TextIsEscapedAndAnEmptyRunStillDraws) {
    PictureData d;
    d.sentence = "rock & roll <live> \"now\"";
    const std::string svg = pictureSvg(d);
    EXPECT_NE(svg.find("rock &amp; roll &lt;live&gt; &quot;now&quot;"), std::string::npos);
    EXPECT_NE(svg.find("none: the score was not lowered"), std::string::npos);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
}

TEST(PictureSvg, TheTimeAxisHasAFewRoundTicksForAnyLength) {
    for (double seconds : {0.05, 2.48, 7.0, 95.0, 1e9}) {
        PictureData d;
        d.duration = seconds;
        const std::string svg = pictureSvg(d);
        size_t ticks = 0;
        for (size_t at = svg.find("stroke=\"#555555\"/>"); at != std::string::npos;
             at = svg.find("stroke=\"#555555\"/>", at + 1))
            ++ticks;
        EXPECT_GE(ticks, 1u + 5) << seconds;  // the axis and its ticks
        EXPECT_LE(ticks, 1u + 13) << seconds;
    }
    PictureData d;
    d.duration = 2.48;
    EXPECT_NE(pictureSvg(d).find(">0.5</text>"), std::string::npos);
}

TEST(PictureErrors, MissingFolderAndFilesAreNamed) {
    TempDir dir;
    EXPECT_NE(drawError(dir.file("nowhere")).find("nowhere: there is no such folder"), std::string::npos);
    std::string both = drawError(dir.path());
    EXPECT_NE(both.find("lacks output.wave (the conditioned recording) and output.xml (the result document)"),
              std::string::npos)
        << both;
    test::writeFile(dir.file("output.wave"), "1 2 3 \n");
    std::string xml = drawError(dir.path());
    EXPECT_NE(xml.find("lacks output.xml"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("output.wave"), std::string::npos) << xml;
    EXPECT_NE(xml.find(dir.path()), std::string::npos) << "the folder is named";
}

TEST(PictureErrors, MalformedFilesAreNamedWithWhatIsWrong) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> edits;
        const char* message;
    };
    const Case cases[] = {
        {{{"</confidenceMeasure>", ""}}, "the end tag </root>"},
        {{{"</root>", ""}}, "the element <root> is not closed"},
        {{{"</word>", "</phone>"}}, "the end tag </phone>"},
        {{{"<interval idx=\"1\" type=\"double\" size=\"1 2\">0 ", "<interval idx=\"1\" type=\"double\" size=\"1 2\">9 "}},
         "is not a time span"},
        {{{"<timberScore idx=\"2\" type=\"double\" size=\"1 1\">", "<timberScore idx=\"2\" type=\"double\" size=\"1 1\">x"}},
         "not a list of numbers"},
        {{{"<confidenceMeasure ", "<elsewhere "}, {"</confidenceMeasure>", "</elsewhere>"}},
         "it has no <confidenceMeasure> element"},
        {{{"<root ", "<root\n"}, {"</root>", "<root"}}, "a tag at byte"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        copyEnglishRun(dir, [&](std::string& xml) {
            for (const auto& [from, to] : c.edits) replaceFirst(xml, from, to);
        });
        std::string message = drawError(dir.path());
        EXPECT_NE(message.find(dir.file("output.xml") + " is not a result document"), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    TempDir dir;
    copyEnglishRun(dir, [](std::string&) {});
    test::writeFile(dir.file("output.wave"), "12 -7 seven\n");
    std::string message = drawError(dir.path());
    EXPECT_NE(message.find(dir.file("output.wave") + " is not the conditioned recording of a run: no sample at byte 6"),
              std::string::npos)
        << message;
}

TEST(PictureErrors, WriteNamesTheFileItCannotWrite) {
    TempDir dir;
    try {
        writeResultPicture(golden("english"), dir.file("no/such/folder.svg"));
        FAIL() << "no error";
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.file("no/such/folder.svg")), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace kedo
