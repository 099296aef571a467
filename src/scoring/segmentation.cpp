// Phone segmentation: label files, pitched phones, node texts, frame shift.
#include "scoring/segmentation.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "lexicon/dict.h"
#include "scoring/score_math.h"
#include "scoring/scoring_texts.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/unit_names.h"

namespace kedo {

namespace {
constexpr const char* kModule = "mlf";

// Leading integer of a label time field (strtoll rules: blanks, sign,
// digits; none gives 0) in 100 ns units, as a frame number. Read in 64 bits:
// recordings past 214 s (frame 21475 and on) overflow 32 bits of 100 ns.
int64_t labelTimeToFrame(const std::string& field) { return std::strtoll(field.c_str(), nullptr, 10) / 100000; }

// Splits text at line feeds; an unterminated last line counts.
std::vector<std::string_view> physicalLines(const std::string& text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.emplace_back(text.data() + pos, end - pos);
        pos = end + 1;
    }
    return lines;
}

}  // namespace

bool isNonSpeechName(const std::string& name) { return isNonSpeechUnit(name); }

void resetPhoneScores(mlfPhone& phone) {
    phone.rank = -1;
    phone.rankRatio = -1;
    phone.timeRatio = -1;
    phone.timberScore = -1;
    phone.timberScores = {-1, -1, -1, -1};
}

void readLabelFile(mlfClass& mlf, const std::string& path, const StrVec& modelNames, int firstFrame, int frameNum) {
    mlf.nodes.clear();
    const std::string text = readFileBytes(path);
    StrVec fields;
    int lineNo = 0;
    for (std::string_view line : physicalLines(text)) {
        ++lineNo;
        if (line.empty() || line[0] == '%') continue;
        strSplit(std::string(line), ' ', fields);
        if (fields.size() < 4)
            reportError(strFormat("Label line %d of %s has %zu fields, at least 4 are needed (line %d of %s)",
                                  lineNo, path.c_str(), fields.size(), __LINE__, kModule));
        if (fields.size() > 4) {
            mlfNode node;
            node.name = fields[4];
            mlf.nodes.push_back(std::move(node));
        } else if (mlf.nodes.empty()) {
            reportError(strFormat("Label line %d of %s is a phone before the first node line (a node line has "
                                  "5 fields) (line %d of %s)",
                                  lineNo, path.c_str(), __LINE__, kModule));
        }
        const int64_t startFrame = labelTimeToFrame(fields[0]), endFrame = labelTimeToFrame(fields[1]) - 1;
        // No recording is longer than MAX_FRAME_NUM frames; farther times
        // would only make spans (and the tracks sized by them) absurd.
        if (std::max(std::llabs(startFrame), std::llabs(endFrame)) > MAX_FRAME_NUM)
            reportError(strFormat("Label line %d of %s has a time beyond %d frames (line %d of %s)", lineNo,
                                  path.c_str(), MAX_FRAME_NUM, __LINE__, kModule));
        mlfPhone phone;
        phone.startFrame = static_cast<int32_t>(startFrame - firstFrame);
        phone.endFrame = static_cast<int32_t>(endFrame - firstFrame);
        if (frameNum >= 0 && (phone.startFrame < 0 || phone.endFrame >= frameNum || phone.startFrame > phone.endFrame))
            reportError(strFormat("Label line %d of %s spans frames %lld to %lld, outside the %d feature frames "
                                  "%d to %d of the spoken segment (line %d of %s)",
                                  lineNo, path.c_str(), static_cast<long long>(startFrame),
                                  static_cast<long long>(endFrame), frameNum, firstFrame, firstFrame + frameNum - 1,
                                  __LINE__, kModule));
        phone.name = fields[2];
        IntVec found = strVecLinSearch(modelNames, phone.name, MatchPos::whole);
        phone.index = found.empty() ? -1 : found[0];
        phone.cumLogLike = static_cast<float>(std::strtod(fields[3].c_str(), nullptr));
        resetPhoneScores(phone);
        mlf.nodes.back().phones.push_back(std::move(phone));
    }
    for (mlfNode& node : mlf.nodes) {
        node.cumLogLike = node.phones.back().cumLogLike;
        node.startFrame = node.phones.front().startFrame;
        node.endFrame = node.phones.back().endFrame;
    }
}

void markPitched(mlfClass& mlf, const std::string& qiYinFile) {
    StrVec list;
    readLines(qiYinFile, list, 0);
    const std::unordered_set<std::string> unvoiced(list.begin(), list.end());
    for (mlfNode& node : mlf.nodes) {
        for (mlfPhone& phone : node.phones) {
            const std::string& name = phone.name;
            bool pitched = !(name.rfind("sil+", 0) == 0 || name == "sil" || name == "sp" ||
                             unvoiced.count(name.substr(0, name.find('+'))) != 0);
            phone.pitched = pitched ? 1 : 0;
        }
    }
}

void assignNodeTexts(mlfClass& mlf, const std::string& identifiedText, const recogParam& p) {
    StrVec units;
    if (p.addLink4startAnywhere == 0) textUnits(identifiedText, p.language, units);
    size_t next = 0;
    for (mlfNode& node : mlf.nodes) {
        if (isNonSpeechName(node.name)) {
            node.text.clear();
        } else if (p.addLink4startAnywhere == 0) {
            node.text = next < units.size() ? units[next++] : std::string();
        }
    }
}

void shiftFrames(mlfClass& mlf, int offset) {
    for (mlfNode& node : mlf.nodes) {
        node.startFrame += offset;
        node.endFrame += offset;
        for (mlfPhone& phone : node.phones) {
            phone.startFrame += offset;
            phone.endFrame += offset;
        }
    }
}

void writePhoneLevel(const mlfClass& mlf, const std::string& path, bool mlfHeader, bool detailed,
                     bool withVolume) {
    FilePtr file = openFile(path, "w");
    std::FILE* f = file.get();
    constexpr const char* kHeaderText = "\"This is the phone time generated by mlfClass::writePhoneLevel().\"";
    if (mlfHeader) std::fputs("#!MLF!#\n", f);
    if (!detailed) {
        if (mlfHeader) std::fprintf(f, "%s\n", kHeaderText);
        for (const mlfNode& node : mlf.nodes) {
            for (size_t j = 0; j < node.phones.size(); ++j) {
                const mlfPhone& ph = node.phones[j];
                std::fprintf(f, "%d00000 %d00000 %s %g", ph.startFrame, ph.endFrame + 1, ph.name.c_str(),
                             static_cast<double>(ph.cumLogLike));
                if (j == 0) std::fprintf(f, " %s", node.name.c_str());
                std::fputc('\n', f);
            }
        }
    } else {
        const auto& ts = mlf.timberScores;
        std::fprintf(f, "%% score=%g\n", static_cast<double>(mlf.score));
        std::fprintf(f, "%% origTimberScores=[%g, %g, %g]\n", static_cast<double>(ts[0].orig),
                     static_cast<double>(ts[1].orig), static_cast<double>(ts[2].orig));
        std::fprintf(f, "%% finalTimberScores=[%g, %g, %g]\n", static_cast<double>(ts[0].final),
                     static_cast<double>(ts[1].final), static_cast<double>(ts[2].final));
        std::fputs("% discountFactor=[", f);
        for (int32_t occurrence : mlf.discountOccurrence) std::fprintf(f, "%d ", occurrence);
        std::fputs("]\n", f);
        std::fputs(kReasonNamesBig5Line, f);
        std::fputs("% discountReason={", f);
        for (int k = 0; k < DISCOUNT_REASON_NUM; ++k) std::fprintf(f, "%s'%s'", k ? ", " : "", kReasonNames[k]);
        std::fputs("}\n", f);
        if (mlfHeader) std::fprintf(f, "%s#%g\n", kHeaderText, static_cast<double>(mlf.timberScore));
        for (const mlfNode& node : mlf.nodes) {
            for (size_t j = 0; j < node.phones.size(); ++j) {
                const mlfPhone& ph = node.phones[j];
                std::fprintf(f, "%d00000\t%d00000\t%s#%g\t%g", ph.startFrame, ph.endFrame + 1, ph.name.c_str(),
                             static_cast<double>(ph.timberScore), static_cast<double>(ph.cumLogLike));
                if (j == 0) {
                    std::fprintf(f, "\t%s#%s#%g", node.name.c_str(), node.text.c_str(),
                                 static_cast<double>(node.timberScore));
                    if (withVolume) {
                        for (size_t v = 0; v < node.volume.size(); ++v)
                            std::fprintf(f, v == 0 ? "#%d" : "_%d", truncToInt(node.volume[v]));
                    }
                }
                std::fputc('\n', f);
            }
        }
    }
    if (mlfHeader) std::fputc('.', f);
    if (std::fflush(f) != 0 || std::ferror(f))
        reportError(strFormat("Cannot write file %s (line %d of %s)", path.c_str(), __LINE__, kModule));
}

}  // namespace kedo
