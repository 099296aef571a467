// The structured result of a run and its JSON form.
#include <cmath>
#include <cstdio>

#include "facade/run_result_build.h"
#include "scoring/scoring_texts.h"
#include "task/pipeline.h"

namespace kedo {

namespace {

double seconds(int32_t frame) { return frame / 100.0; }

bool isSpoken(const mlfNode& node) { return !node.text.empty(); }

// The pieces of a rendering such as "wo-xue-zhong-wen" or "3-2-1-2", when
// there is one per spoken word; else none.
std::vector<std::string> perWord(const std::string& rendering, size_t words) {
    std::vector<std::string> pieces;
    if (rendering.empty()) return pieces;
    size_t pos = 0;
    while (true) {
        size_t end = rendering.find('-', pos);
        pieces.push_back(rendering.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    if (pieces.size() != words) pieces.clear();
    return pieces;
}

std::string number(double v, int digits = 10) {
    if (!std::isfinite(v)) return "null";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    return buf;
}

template <class T, class Write>
std::string jsonList(const std::vector<T>& items, Write write) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += write(items[i]);
    }
    return out + "]";
}

}  // namespace

RunResult buildRunResult(const mlfClass& mlf, bool assessment, const std::string& language,
                         const std::string& sentence, const std::string& outputFolder, const ToUtf8& toUtf8) {
    RunResult r;
    r.assessment = assessment;
    r.language = language;
    r.score = mlf.score;
    r.sentence = assessment ? sentence : toUtf8(recognisedSentence(mlf));
    if (!assessment && !mlf.textIndex.empty()) r.index = mlf.textIndex.front();
    r.designatedSyllables = mlf.designatedSylCount;
    r.identifiedSyllables = mlf.identifiedSylCount;
    r.outputFolder = outputFolder;
    if (!mlf.nodes.empty()) r.trackStart = seconds(mlf.nodes.front().startFrame);
    for (const mlfNode& node : mlf.nodes) {
        int32_t word = -1;
        if (isSpoken(node)) {
            word = static_cast<int32_t>(r.words.size());
            r.words.push_back({toUtf8(node.text), toUtf8(node.name), "", seconds(node.startFrame),
                               seconds(node.endFrame + 1), node.timberScore});
        }
        for (const mlfPhone& phone : node.phones)
            r.phones.push_back({phone.name, seconds(phone.startFrame), seconds(phone.endFrame + 1),
                                word >= 0 ? phone.timberScore : -1.0, word});
        r.pitch.insert(r.pitch.end(), node.pitch.begin(), node.pitch.end());
        r.volume.insert(r.volume.end(), node.volume.begin(), node.volume.end());
    }
    for (size_t k = 0; k < mlf.discountOccurrence.size() && k < static_cast<size_t>(DISCOUNT_REASON_NUM); ++k) {
        if (mlf.discountOccurrence[k] == 0) continue;
        r.discounts.push_back({static_cast<int32_t>(k), kReasonNames[k], mlf.discountOccurrence[k],
                               mlf.discountRatio[k], k != static_cast<size_t>(kSyllableCountReason)});
    }
    std::vector<std::string> pinyin = perWord(mlf.HanYu, r.words.size());
    std::vector<std::string> tones = perWord(mlf.Tone, r.words.size());
    for (size_t i = 0; i < pinyin.size(); ++i) r.words[i].syllable = toUtf8(pinyin[i]);
    for (size_t i = 0; i < tones.size(); ++i) r.words[i].tone = toUtf8(tones[i]);
    for (const std::string& w : mlf.warnings) r.warnings.push_back(toUtf8(w));
    return r;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", u);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string runResultJson(const RunResult& r) {
    std::string out = "{\"kind\": ";
    out += r.assessment ? "\"assess\"" : "\"recog\"";
    out += ", \"language\": " + jsonString(r.language);
    out += ", \"score\": " + number(r.score, 6);
    out += ", \"sentence\": " + jsonString(r.sentence);
    if (!r.assessment) out += ", \"index\": " + std::to_string(r.index);
    out += ", \"words\": " + jsonList(r.words, [](const WordResult& w) {
               return "{\"text\": " + jsonString(w.text) + ", \"syllable\": " + jsonString(w.syllable) +
                      ", \"tone\": " + jsonString(w.tone) + ", \"start\": " + number(w.start) +
                      ", \"end\": " + number(w.end) + ", \"score\": " + number(w.score, 6) + "}";
           });
    out += ", \"phones\": " + jsonList(r.phones, [](const PhoneResult& p) {
               return "{\"name\": " + jsonString(p.name) + ", \"start\": " + number(p.start) +
                      ", \"end\": " + number(p.end) + ", \"score\": " + number(p.score, 6) +
                      ", \"word\": " + std::to_string(p.word) + "}";
           });
    out += ", \"discounts\": " + jsonList(r.discounts, [](const DiscountResult& d) {
               return "{\"index\": " + std::to_string(d.index) + ", \"reason\": " + jsonString(d.reason) +
                      ", \"occurrences\": " + std::to_string(d.occurrences) + ", \"ratio\": " + number(d.ratio) +
                      ", \"applied\": " + (d.applied ? "true" : "false") + "}";
           });
    out += ", \"designatedSyllables\": " + std::to_string(r.designatedSyllables);
    out += ", \"identifiedSyllables\": " + std::to_string(r.identifiedSyllables);
    auto values = [](float v) { return number(v, 6); };
    out += ", \"tracks\": {\"start\": " + number(r.trackStart) + ", \"frameSeconds\": " + number(r.frameSeconds) +
           ", \"pitch\": " + jsonList(r.pitch, values) + ", \"volume\": " + jsonList(r.volume, values) + "}";
    out += ", \"warnings\": " + jsonList(r.warnings, [](const std::string& w) { return jsonString(w); });
    out += ", \"outputFolder\": " + jsonString(r.outputFolder);
    return out + "}";
}

}  // namespace kedo
