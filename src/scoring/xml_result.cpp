// The XML result document.
#include "scoring/xml_result.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <array>
#include <charconv>
#include <vector>

#include "scoring/output_text.h"
#include "scoring/scoring_texts.h"

namespace kedo {

namespace {

constexpr const char* kVersionText = "version 1.4 (2010/06/24)";

bool isTrailByte(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// Length of the well-formed UTF-8 sequence starting at s[i], or 0.
size_t utf8SequenceLength(const std::string& s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;  // no overlong forms
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    const unsigned char second = static_cast<unsigned char>(s[i + 1]);
    if (second < lo || second > hi) return 0;
    for (size_t k = 2; k < n; ++k) {
        if (!isTrailByte(static_cast<unsigned char>(s[i + k]))) return 0;
    }
    return n;
}

// U+FFFE and U+FFFF: well-formed UTF-8, yet no XML character (the C0 controls,
// the other characters XML leaves out, are single bytes).
bool isNoncharacterFffx(const std::string& s, size_t i, size_t n) {
    return n == 3 && static_cast<unsigned char>(s[i]) == 0xEF && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
           static_cast<unsigned char>(s[i + 2]) >= 0xBE;
}

bool isBig5Shape(unsigned lead, unsigned trail) {
    return lead >= 0x81 && lead <= 0xFE && ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE));
}

#ifdef _WIN32
// Windows' Big5 table: code page 950.
class Big5Converter {
public:
    bool decodes(unsigned lead, unsigned trail) const {
        if (!available_) return true;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        wchar_t out[4];
        return MultiByteToWideChar(950, MB_ERR_INVALID_CHARS, in, 2, out, 4) == 1;
    }

private:
    bool available_ = IsValidCodePage(950) != 0;
};
#else
// iconv's Big5 table.
class Big5Converter {
public:
    Big5Converter() : cd_(iconv_open("UTF-8", "BIG5")) {}
    ~Big5Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Big5Converter(const Big5Converter&) = delete;
    Big5Converter& operator=(const Big5Converter&) = delete;
    bool decodes(unsigned lead, unsigned trail) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return true;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char out[16];
        char* ip = in;
        char* op = out;
        size_t inLeft = 2, outLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return iconv(cd_, &ip, &inLeft, &op, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    }

private:
    iconv_t cd_;
};
#endif

// The two-byte codes that a reader of a "big5" document decodes: the Big5
// table of the system's converter (the same one XML parsers hand "big5" to),
// built once. Without a converter every code of the Big5 shape counts.
class Big5Table {
public:
    Big5Table() : known_(65536, 0) {
        Big5Converter converter;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (!isBig5Shape(lead, trail)) continue;
                known_[lead << 8 | trail] = converter.decodes(lead, trail) ? 1 : 0;
            }
        }
    }
    bool known(unsigned char lead, unsigned char trail) const { return known_[lead << 8 | trail] != 0; }

private:
    std::vector<char> known_;
};

// How many bytes a Big5 document takes from s[i] (a byte of 0x80 or more):
// 2 for a known code, and then whether it is written as is.
size_t big5SequenceLength(const std::string& s, size_t i, bool& known) {
    static const Big5Table table;
    known = false;
    if (i + 1 >= s.size()) return 1;
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    const unsigned char trail = static_cast<unsigned char>(s[i + 1]);
    if (!isBig5Shape(lead, trail)) return 1;
    known = table.known(lead, trail);
    return 2;  // an unknown code is replaced as a whole, keeping the pairs in step
}

// English text is Windows-1252: its bytes 0x80..0x9F, as Unicode code points
// (0 where the code page has no character); bytes from 0xA0 are Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Windows-1252 text as UTF-8; a byte without a character becomes "?".
std::string cp1252ToUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const char32_t cp = c < 0x80 ? c : c < 0xA0 ? kCp1252High[c - 0x80] : c;
        if (cp < 0x80) {
            out += c < 0x80 ? ch : '?';
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Characters of a text item: a byte of 0x80 or more leads a two-byte character.
int charCount(const std::string& s) {
    int count = 0;
    for (size_t i = 0; i < s.size(); i += static_cast<unsigned char>(s[i]) >= 0x80 ? 2 : 1) ++count;
    return count;
}

int byteLength(const std::string& s) { return static_cast<int>(s.size()); }

// Writes an element's comment on the first element of its kind, a line end
// on the others.
void endLine(std::string& out, bool withComment, const char* comment) { out += withComment ? comment : "\n"; }

// Appends v as printf's "%g" would write it (six significant digits).
void appendG(std::string& out, double v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    if (ec == std::errc())
        out.append(buf, end);
    else
        appendf(out, "%g", v);
}

void appendTrack(std::string& out, const std::vector<float>& values) {
    for (size_t k = 0; k < values.size(); ++k) {
        if (k) out += ' ';
        appendG(out, static_cast<double>(values[k]));
    }
}

class XmlWriter {
public:
    XmlWriter(const mlfClass& mlf, const StrVec& modelNames, const recogParam& p)
        : mlf_(mlf), modelNames_(modelNames), p_(p), big5_(p.language == "chinese"),
          cp1252_(p.language == "english") {}

    std::string document() {
        out_.reserve(4096);
        out_ += big5_ ? "<?xml version=\"1.0\" encoding=\"big5\"?>\n" : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        out_ += "<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n";
        appendf(out_, "<version idx=\"1\" type=\"char\" size=\"1 %d\">%s</version>\n",
                byteLength(kVersionText), kVersionText);
        appendf(out_, "<text idx=\"1\" type=\"cell\" size=\"1 %zu\">\n", mlf_.textItems.size());
        for (size_t i = 0; i < mlf_.textItems.size(); ++i) item(i, charCount(mlf_.textItems[i]), mlf_.textItems[i]);
        out_ += "</text>\n";
        appendf(out_, "<syl idx=\"1\" type=\"cell\" size=\"1 %zu\">\n", mlf_.sylItems.size());
        for (size_t i = 0; i < mlf_.sylItems.size(); ++i) item(i, byteLength(mlf_.sylItems[i]), mlf_.sylItems[i]);
        out_ += "</syl>\n";
        out_ += "<confidenceMeasure idx=\"1\" type=\"struct\" size=\"1 1\">\n";
        appendf(out_, "\t<language idx=\"1\" type=\"char\" size=\"1 %d\">", byteLength(p_.language));
        text(p_.language);
        out_ += "</language>\n";
        appendf(out_, "\t<score idx=\"1\" type=\"double\" size=\"1 1\">%g</score><!--Overall score-->\n",
                static_cast<double>(mlf_.score));
        appendf(out_, "\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">%g</timberScore>\n",
                static_cast<double>(mlf_.timberScore));
        appendf(out_,
                "\t<word idx=\"1\" type=\"struct\" size=\"1 %zu\"><!--List of nodes, which each node is a word (for "
                "English) or a syllable (for Chinese)-->\n",
                mlf_.nodes.size());
        for (size_t i = 0; i < mlf_.nodes.size(); ++i) node(static_cast<int>(i) + 1, mlf_.nodes[i]);
        out_ += "\t</word>\n";
        discountFactors();
        out_ += "</confidenceMeasure>\n</root>\n";
        return std::move(out_);
    }

private:
    void text(const std::string& s) { appendXmlText(out_, cp1252_ ? cp1252ToUtf8(s) : s, big5_); }

    // One element line of a single double value.
    void scalar(const char* indent, const char* tag, int idx, float value, bool c, const char* comment) {
        appendf(out_, "%s<%s idx=\"%d\" type=\"double\" size=\"1 1\">%g</%s>", indent, tag, idx,
                static_cast<double>(value), tag);
        endLine(out_, c, comment);
    }

    // One element line of a per-frame track.
    void track(const char* indent, const char* tag, int idx, const std::vector<float>& values, bool c,
               const char* comment) {
        appendf(out_, "%s<%s idx=\"%d\" type=\"double\" size=\"1 %zu\">", indent, tag, idx, values.size());
        appendTrack(out_, values);
        appendf(out_, "</%s>", tag);
        endLine(out_, c, comment);
    }

    // The four timber scores.
    void scores(const char* indent, int idx, const std::array<float, 4>& s, bool c, const char* comment) {
        appendf(out_, "%s<timberScores idx=\"%d\" type=\"double\" size=\"1 4\">%g %g %g %g</timberScores>", indent,
                idx, static_cast<double>(s[0]), static_cast<double>(s[1]), static_cast<double>(s[2]),
                static_cast<double>(s[3]));
        endLine(out_, c, comment);
    }

    void item(size_t i, int size, const std::string& value) {
        appendf(out_, "\t<item idx=\"%zu\" type=\"char\" size=\"1 %d\">", i + 1, size);
        text(value);
        out_ += "</item>\n";
    }

    void node(int idx, const mlfNode& nd) {
        const bool c = idx == 1;
        appendf(out_, "\t\t<name idx=\"%d\" type=\"char\" size=\"1 %d\">", idx, byteLength(nd.name));
        text(nd.name);
        out_ += "</name>";
        endLine(out_, c, "<!--Phonetic alphabets of the node-->\n");
        appendf(out_, "\t\t<interval idx=\"%d\" type=\"double\" size=\"1 2\">%g %g</interval>", idx,
                nd.startFrame / 100.0, (nd.endFrame + 1) / 100.0);
        endLine(out_, c, "<!--Time span of the node, in seconds-->\n");
        appendf(out_, "\t\t<text idx=\"%d\" type=\"char\" size=\"1 %d\">", idx,
                big5_ ? byteLength(nd.text) / 2 : byteLength(nd.text));
        text(nd.text);
        out_ += "</text>";
        endLine(out_, c, "<!--Text of the node (empty if the node is sil/sp)-->\n");
        scalar("\t\t", "timberScore", idx, nd.timberScore, c, "<!--Score of the node (-1 if the node is sil/sp)-->\n");
        track("\t\t", "pitch", idx, nd.pitch, c, "<!--Pitch of the node (0 if no pitch at all)-->\n");
        track("\t\t", "volume", idx, nd.volume, c, "<!--Volume of the node (0 if not computed)-->\n");
        scores("\t\t", idx, nd.timberScores, c, "<!--All timber scores of the node (primarily for debugging)-->\n");
        appendf(out_, "\t\t<phone idx=\"%d\" type=\"struct\" size=\"1 %zu\">", idx, nd.phones.size());
        endLine(out_, c, "<!--List of phones in the node-->\n");
        for (size_t j = 0; j < nd.phones.size(); ++j) phone(static_cast<int>(j) + 1, c && j == 0, nd.phones[j]);
        out_ += "\t\t</phone>\n";
    }

    void phone(int idx, bool c, const mlfPhone& ph) {
        appendf(out_, "\t\t\t<name idx=\"%d\" type=\"char\" size=\"1 %d\">", idx, byteLength(ph.name));
        text(ph.name);
        out_ += "</name>";
        endLine(out_, c, "<!--Phonetic alphabets for the node-->\n");
        appendf(out_, "\t\t\t<index idx=\"%d\" type=\"uint16\" size=\"1 1\">%d</index>", idx, ph.index);
        endLine(out_, c, "<!--Model index within the macro file-->\n");
        appendf(out_, "\t\t\t<interval idx=\"%d\" type=\"double\" size=\"1 2\">%g %g</interval>", idx,
                ph.startFrame / 100.0, (ph.endFrame + 1) / 100.0);
        endLine(out_, c, "<!--Time span of the phone, in seconds-->\n");
        scalar("\t\t\t", "timberScore", idx, ph.timberScore, c,
               "<!--Timber score of the node (-1 if the node is sil/sp)-->\n");
        appendf(out_, "\t\t\t<pitched idx=\"%d\" type=\"double\" size=\"1 1\">%d</pitched>\n", idx, ph.pitched);
        track("\t\t\t", "pitch", idx, ph.pitch, c, "<!--Pitch of the node (0 if no pitch at all)-->\n");
        track("\t\t\t", "volume", idx, ph.volume, c, "<!--Volume of the node (0 if no pitch at all)-->\n");
        scalar("\t\t\t", "cumLogLike", idx, ph.cumLogLike, c, "<!--Cumulated log probability of the phone-->\n");
        scalar("\t\t\t", "rankRatio", idx, ph.rankRatio, c, "<!--Rank ratio of the phone-->\n");
        scalar("\t\t\t", "timeRatio", idx, ph.timeRatio, c, "<!--Time ratio of the phone-->\n");

        appendf(out_, "\t\t\t<competingModelIndex idx=\"%d\" type=\"uint16\" size=\"1 %zu\">", idx,
                ph.competingModelIndex.size());
        for (size_t k = 0; k < ph.competingModelIndex.size(); ++k)
            appendf(out_, "%s%d", k ? " " : "", ph.competingModelIndex[k]);
        out_ += "</competingModelIndex>";
        endLine(out_, c, "<!--Indices of the competing models of the phone-->\n");

        std::string names;
        for (size_t k = 0; k < ph.competingModelIndex.size(); ++k) {
            const int32_t m = ph.competingModelIndex[k];
            if (k) names += ' ';
            if (m >= 0 && static_cast<size_t>(m) < modelNames_.size()) names += modelNames_[m];
        }
        appendf(out_, "\t\t\t<competingModelName idx=\"%d\" type=\"char\" size=\"1 %d\">", idx, byteLength(names));
        text(names);
        out_ += "</competingModelName>";
        endLine(out_, c, "<!--Name of the competing models of the phone-->\n");

        appendf(out_, "\t\t\t<competingModelLogLike idx=\"%d\" type=\"double\" size=\"1 %zu\">", idx,
                ph.competingModelLogLike.size());
        for (size_t k = 0; k < ph.competingModelLogLike.size(); ++k)
            appendf(out_, "%s%g", k ? " " : "", static_cast<double>(ph.competingModelLogLike[k]));
        out_ += "</competingModelLogLike>";
        endLine(out_, c, "<!--Log likelihoods of the competing models of the phone-->\n");

        scores("\t\t\t", idx, ph.timberScores, c,
               "<!--All timber scores of the phone (primarily for debugging)-->\n");
    }

    void discountFactors() {
        appendf(out_,
                "\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 %d\"><!--Discount factors for computing the "
                "discounted scores-->\n",
                DISCOUNT_REASON_NUM);
        for (int k = 0; k < DISCOUNT_REASON_NUM; ++k) {
            appendf(out_, "\t\t<occurrence idx=\"%d\" type=\"double\" size=\"1 1\">%d</occurrence>\n", k + 1,
                    mlf_.discountOccurrence[k]);
            appendf(out_, "\t\t<ratio idx=\"%d\" type=\"double\" size=\"1 1\">%f</ratio>\n", k + 1,
                    static_cast<double>(mlf_.discountRatio[k]));
            appendf(out_, "\t\t<type idx=\"%d\" type=\"char\" size=\"1 %d\">%s</type>\n", k + 1,
                    byteLength(kReasonNames[k]), kReasonNames[k]);
        }
        out_ += "\t</discountFactor>\n";
    }

    const mlfClass& mlf_;
    const StrVec& modelNames_;
    const recogParam& p_;
    const bool big5_;
    const bool cp1252_;  // English text, transcoded to the document's UTF-8
    std::string out_;
};

}  // namespace

void appendXmlText(std::string& out, const std::string& text, bool big5) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '&') out += "&amp;";
            else if (c == '<') out += "&lt;";
            else if (c == '>') out += "&gt;";
            else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') out += '?';
            else out += static_cast<char>(c);
            ++i;
            continue;
        }
        bool known = false;
        size_t n = 0;
        if (big5) {
            n = big5SequenceLength(text, i, known);
        } else {
            n = utf8SequenceLength(text, i);
            known = n > 0 && !isNoncharacterFffx(text, i, n);
            if (n == 0) n = 1;
        }
        if (known)
            out.append(text, i, n);
        else
            out += '?';
        i += n;
    }
}

std::string xmlDocument(const mlfClass& mlf, const StrVec& modelNames, const recogParam& p) {
    return XmlWriter(mlf, modelNames, p).document();
}

void writeXml(const mlfClass& mlf, const StrVec& modelNames, const std::string& path, const recogParam& p) {
    writeTextFile(path, xmlDocument(mlf, modelNames, p));
}

}  // namespace kedo
