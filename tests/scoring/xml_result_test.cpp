// The XML result document: exact layout, counts, escaping, well-formedness.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "scoring/xml_result.h"
#include "util/report_error.h"
#include "scoring_fixtures.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::makeNode;
using test::makePause;
using test::makePhone;
using test::readFile;
using test::runShell;
using test::TempDir;

const StrVec kModels = {"a+b", "b+c", "k-ae+t", "m+t", "n+t", "p+t", "sil", "sp", "t", "z+t"};

recogParam language(const std::string& lang) {
    recogParam p;
    p.language = lang;
    return p;
}

// xmllint's verdict on a document: empty when well-formed, else its messages.
std::string xmllintErrors(const std::string& path) {
    test::CliResult r = runShell("xmllint --noout '" + path + "'");
    return r.status == 0 ? std::string() : "status " + std::to_string(r.status) + ": " + r.err;
}

std::string xpath(const std::string& path, const std::string& expr) {
    std::string out = runShell("xmllint --xpath '" + expr + "' '" + path + "'").out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST(WriteXml, OneNodeOnePhoneCarriesEveryComment) {
    mlfClass mlf;
    mlf.textItems = {"cat"};
    mlf.sylItems = {"k-ae+t"};
    mlf.score = 61.2f;
    mlf.timberScore = 61.25f;
    mlf.nodes = {makeNode("cat", {makePhone("k-ae+t", 12, 19, -523.4f)}, "cat")};
    mlfNode& n = mlf.nodes[0];
    n.timberScore = 80;
    n.timberScores = {70, 80, 90, 100};
    n.volume = {1, 2.5f};
    mlfPhone& ph = n.phones[0];
    ph.index = 2;
    ph.timberScore = 80;
    ph.timberScores = {70, 80, 90, 101};
    ph.pitched = 1;
    ph.rankRatio = 0.25f;
    ph.timeRatio = 1;
    ph.competingModelIndex = {5, 9, 2};
    ph.competingModelLogLike = {-10, -20.5f, -1e10f};
    mlf.discountOccurrence = {0, 1, 0, 0, 2, 0, 0};
    mlf.discountRatio = {0.5f, 0.9f, 0.9f, 0.8f, 1, 0.95f, 0.9f};

    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n"
        "<version idx=\"1\" type=\"char\" size=\"1 24\">version 1.4 (2010/06/24)</version>\n"
        "<text idx=\"1\" type=\"cell\" size=\"1 1\">\n"
        "\t<item idx=\"1\" type=\"char\" size=\"1 3\">cat</item>\n"
        "</text>\n"
        "<syl idx=\"1\" type=\"cell\" size=\"1 1\">\n"
        "\t<item idx=\"1\" type=\"char\" size=\"1 6\">k-ae+t</item>\n"
        "</syl>\n"
        "<confidenceMeasure idx=\"1\" type=\"struct\" size=\"1 1\">\n"
        "\t<language idx=\"1\" type=\"char\" size=\"1 7\">english</language>\n"
        "\t<score idx=\"1\" type=\"double\" size=\"1 1\">61.2</score><!--Overall score-->\n"
        "\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">61.25</timberScore>\n"
        "\t<word idx=\"1\" type=\"struct\" size=\"1 1\"><!--List of nodes, which each node is a word (for English) "
        "or a syllable (for Chinese)-->\n"
        "\t\t<name idx=\"1\" type=\"char\" size=\"1 3\">cat</name><!--Phonetic alphabets of the node-->\n"
        "\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0.12 0.2</interval><!--Time span of the node, in "
        "seconds-->\n"
        "\t\t<text idx=\"1\" type=\"char\" size=\"1 3\">cat</text><!--Text of the node (empty if the node is "
        "sil/sp)-->\n"
        "\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">80</timberScore><!--Score of the node (-1 if the "
        "node is sil/sp)-->\n"
        "\t\t<pitch idx=\"1\" type=\"double\" size=\"1 0\"></pitch><!--Pitch of the node (0 if no pitch at "
        "all)-->\n"
        "\t\t<volume idx=\"1\" type=\"double\" size=\"1 2\">1 2.5</volume><!--Volume of the node (0 if not "
        "computed)-->\n"
        "\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">70 80 90 100</timberScores><!--All timber "
        "scores of the node (primarily for debugging)-->\n"
        "\t\t<phone idx=\"1\" type=\"struct\" size=\"1 1\"><!--List of phones in the node-->\n"
        "\t\t\t<name idx=\"1\" type=\"char\" size=\"1 6\">k-ae+t</name><!--Phonetic alphabets for the node-->\n"
        "\t\t\t<index idx=\"1\" type=\"uint16\" size=\"1 1\">2</index><!--Model index within the macro file-->\n"
        "\t\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0.12 0.2</interval><!--Time span of the phone, in "
        "seconds-->\n"
        "\t\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">80</timberScore><!--Timber score of the node "
        "(-1 if the node is sil/sp)-->\n"
        "\t\t\t<pitched idx=\"1\" type=\"double\" size=\"1 1\">1</pitched>\n"
        "\t\t\t<pitch idx=\"1\" type=\"double\" size=\"1 0\"></pitch><!--Pitch of the node (0 if no pitch at "
        "all)-->\n"
        "\t\t\t<volume idx=\"1\" type=\"double\" size=\"1 0\"></volume><!--Volume of the node (0 if no pitch at "
        "all)-->\n"
        "\t\t\t<cumLogLike idx=\"1\" type=\"double\" size=\"1 1\">-523.4</cumLogLike><!--Cumulated log "
        "probability of the phone-->\n"
        "\t\t\t<rankRatio idx=\"1\" type=\"double\" size=\"1 1\">0.25</rankRatio><!--Rank ratio of the phone-->\n"
        "\t\t\t<timeRatio idx=\"1\" type=\"double\" size=\"1 1\">1</timeRatio><!--Time ratio of the phone-->\n"
        "\t\t\t<competingModelIndex idx=\"1\" type=\"uint16\" size=\"1 3\">5 9 2</competingModelIndex><!--Indices "
        "of the competing models of the phone-->\n"
        "\t\t\t<competingModelName idx=\"1\" type=\"char\" size=\"1 14\">p+t z+t k-ae+t</competingModelName><!--"
        "Name of the competing models of the phone-->\n"
        "\t\t\t<competingModelLogLike idx=\"1\" type=\"double\" size=\"1 3\">-10 -20.5 -1e+10</competingModelLogLike>"
        "<!--Log likelihoods of the competing models of the phone-->\n"
        "\t\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">70 80 90 101</timberScores><!--All timber "
        "scores of the phone (primarily for debugging)-->\n"
        "\t\t</phone>\n"
        "\t</word>\n"
        "\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 7\"><!--Discount factors for computing the "
        "discounted scores-->\n"
        "\t\t<occurrence idx=\"1\" type=\"double\" size=\"1 1\">0</occurrence>\n"
        "\t\t<ratio idx=\"1\" type=\"double\" size=\"1 1\">0.500000</ratio>\n"
        "\t\t<type idx=\"1\" type=\"char\" size=\"1 30\">Incomplete Viterbi search path</type>\n"
        "\t\t<occurrence idx=\"2\" type=\"double\" size=\"1 1\">1</occurrence>\n"
        "\t\t<ratio idx=\"2\" type=\"double\" size=\"1 1\">0.900000</ratio>\n"
        "\t\t<type idx=\"2\" type=\"char\" size=\"1 27\">No. of over-short syllables</type>\n";
    TempDir d;
    writeXml(mlf, kModels, d.file("output.xml"), language("english"));
    const std::string doc = readFile(d.file("output.xml"));
    EXPECT_EQ(doc.substr(0, expected.size()), expected);
    EXPECT_NE(doc.find("\t\t<type idx=\"7\" type=\"char\" size=\"1 23\">Volume of sil too large</type>\n"
                       "\t</discountFactor>\n</confidenceMeasure>\n</root>\n"),
              std::string::npos);
    EXPECT_EQ(xmllintErrors(d.file("output.xml")), "");
}

// Three nodes: sil, a spoken node of two phones, sp; texts and names with
// bytes that need escaping.
mlfClass threeNodes(const std::string& text) {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 9),
                 makeNode("a&b", {makePhone("m+t", 10, 15), makePhone("<t>", 16, 20)}, text),
                 makePause("sp", 21, 25)};
    mlf.nodes[1].phones[1].competingModelIndex = {3, 99};
    mlf.nodes[1].phones[1].competingModelLogLike = {-1, -2};
    return mlf;
}

TEST(WriteXml, LaterElementsHaveNoCommentsAndCountsFollowTheLanguage) {
    mlfClass mlf = threeNodes("\xa4\xa4\xa4\xe5");  // two Big5 characters
    mlf.textItems = {"\xa4\xa4\xa4\xe5" "ab"};
    mlf.sylItems = {"zhong-wen"};
    TempDir d;
    writeXml(mlf, kModels, d.file("zh.xml"), language("chinese"));
    const std::string doc = readFile(d.file("zh.xml"));
    EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"big5\"?>\n", 0), 0u);
    EXPECT_NE(doc.find("\t<item idx=\"1\" type=\"char\" size=\"1 4\">\xa4\xa4\xa4\xe5" "ab</item>\n"),
              std::string::npos);
    EXPECT_NE(doc.find("\t<item idx=\"1\" type=\"char\" size=\"1 9\">zhong-wen</item>\n"), std::string::npos);
    EXPECT_NE(doc.find("\t\t<text idx=\"2\" type=\"char\" size=\"1 2\">\xa4\xa4\xa4\xe5</text>\n"),
              std::string::npos);
    EXPECT_NE(doc.find("\t\t<name idx=\"2\" type=\"char\" size=\"1 3\">a&amp;b</name>\n"), std::string::npos);
    EXPECT_NE(doc.find("\t\t\t<name idx=\"2\" type=\"char\" size=\"1 3\">&lt;t&gt;</name>\n"), std::string::npos);
    // The first phone of a later node has no comments either.
    EXPECT_NE(doc.find("\t\t\t<name idx=\"1\" type=\"char\" size=\"1 3\">m+t</name>\n"), std::string::npos);
    // An index outside the model set names no model.
    EXPECT_NE(doc.find("size=\"1 4\">m+t </competingModelName>\n"), std::string::npos);
    EXPECT_NE(doc.find("\t\t<name idx=\"3\" type=\"char\" size=\"1 2\">sp</name>\n"), std::string::npos);
    EXPECT_EQ(xmllintErrors(d.file("zh.xml")), "");
    EXPECT_EQ(xpath(d.file("zh.xml"), "string(//word/name[2])"), "a&b");

    mlf = threeNodes("cat");
    writeXml(mlf, kModels, d.file("en.xml"), language("english"));
    const std::string en = readFile(d.file("en.xml"));
    EXPECT_NE(en.find("\t\t<text idx=\"2\" type=\"char\" size=\"1 3\">cat</text>\n"), std::string::npos);
    EXPECT_EQ(xmllintErrors(d.file("en.xml")), "");
    EXPECT_EQ(xpath(d.file("en.xml"), "string(//word/phone[2]/name[2])"), "<t>");

    // English text is Windows-1252, transcoded into the UTF-8 document; a
    // byte without a character in the code page becomes "?".
    mlf = threeNodes("caf\xe9");
    mlf.textItems = {"don\x92t \x93" "caf\xe9\x94 \x80\x81"};
    writeXml(mlf, kModels, d.file("en.xml"), language("english"));
    EXPECT_EQ(xmllintErrors(d.file("en.xml")), "");
    EXPECT_EQ(xpath(d.file("en.xml"), "string(//word/text[2])"), "caf\xc3\xa9");
    EXPECT_EQ(xpath(d.file("en.xml"), "string(//text/item[1])"),
              "don\xe2\x80\x99t \xe2\x80\x9c" "caf\xc3\xa9\xe2\x80\x9d \xe2\x82\xac?");
    EXPECT_NE(readFile(d.file("en.xml")).find("<text idx=\"2\" type=\"char\" size=\"1 4\">"), std::string::npos);
}

TEST(WriteXml, BytesTheEncodingCannotCarryNeverBreakTheDocument) {
    std::string out;
    appendXmlText(out, "a\x01" "b\tc\r\n", false);
    EXPECT_EQ(out, "a?b\tc\r\n");
    out.clear();
    // UTF-8: a valid two- and three-byte character stay; a lone lead byte, a
    // stray continuation byte, an overlong form and a surrogate do not.
    appendXmlText(out, "\xc3\xa9\xe4\xb8\xad|\xc3|\x80|\xc0\xaf|\xed\xa0\x80|\xf0\x9f\x98\x80", false);
    EXPECT_EQ(out, "\xc3\xa9\xe4\xb8\xad|?|?|??|???|\xf0\x9f\x98\x80");
    out.clear();
    // Well-formed, but not XML characters: U+FFFE and U+FFFF become one "?"
    // each; their neighbours U+FFFD and U+10000 stay.
    appendXmlText(out, "&\xef\xbf\xbf|\xef\xbf\xbe|\xef\xbf\xbd|\xf0\x90\x80\x80", false);
    EXPECT_EQ(out, "&amp;?|?|\xef\xbf\xbd|\xf0\x90\x80\x80");
    out.clear();
    // Big5: a pair stays, even with a trail byte in the ASCII range; a lone
    // lead byte at the end and a byte that leads nothing do not; a code
    // outside the Big5 table (user-defined area) becomes one "?".
    appendXmlText(out, "\xa4\xa4\xae|\x80\x81\x40\xa4\xa4\xa4", true);
    EXPECT_EQ(out, "\xa4\xa4\xae|??\xa4\xa4?");

    TempDir d;
    for (const std::string lang : {"chinese", "english"}) {
        mlfClass mlf = threeNodes(std::string("x\x02\xff\xa4<&>\"'\xa4", 10) + "\x81\x40\xc6\xa1\xf9\xfe\xa1");
        mlf.textItems = {std::string("\x80\x00z&\xef\xbf\xbf", 7)};
        const std::string path = d.file(lang + ".xml");
        writeXml(mlf, kModels, path, language(lang));
        EXPECT_EQ(xmllintErrors(path), "") << lang;
    }
}

TEST(WriteXml, TrackValuesAsPrintfWritesThem) {
    mlfClass mlf;
    mlf.nodes = {makeNode("a", {makePhone("a", 0, 0)})};
    std::vector<float>& v = mlf.nodes[0].pitch;
    v = {0, -0.0f, 1e-5f, 0.0001f, 0.1f, 2.5f, 100000, 123456, 1234567, 123456789.0f, -2.5e10f, 1.0f / 3, 65.4321f};
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> exponent(-12, 12);
    for (int i = 0; i < 200; ++i) v.push_back(std::pow(10.0f, exponent(rng)) * (i % 2 ? 1 : -1));
    std::string expected;
    for (size_t k = 0; k < v.size(); ++k) expected += strFormat(k ? " %g" : "%g", static_cast<double>(v[k]));
    const std::string doc = xmlDocument(mlf, kModels, language("english"));
    EXPECT_NE(doc.find(">" + expected + "</pitch>"), std::string::npos);
}

TEST(WriteXml, EmptyObjectAndUnwritableFile) {
    TempDir d;
    mlfClass mlf;
    writeXml(mlf, {}, d.file("empty.xml"), language(""));
    EXPECT_EQ(xmllintErrors(d.file("empty.xml")), "");
    EXPECT_NE(readFile(d.file("empty.xml")).find("<text idx=\"1\" type=\"cell\" size=\"1 0\">\n</text>\n"),
              std::string::npos);
    EXPECT_THROW(writeXml(mlf, {}, d.file("none/x.xml"), language("")), KedoError);
}

}  // namespace
}  // namespace kedo
