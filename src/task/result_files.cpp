// Writers of output.wave, recogResult.txt and the keyword lines.
#include "task/result_files.h"
#include "util/progress.h"

#include <cstdio>

#include "util/file_util.h"
#include "util/report_error.h"
#include "util/str_util.h"

namespace kedo {

namespace {
constexpr const char* kModule = "recogTask";
}

void writeOutputWave(const std::string& path, const std::vector<int32_t>& samples) {
    std::FILE* raw = fopenResolved(path, "wb");
    if (raw == nullptr) {
        std::fprintf(stderr, "Error: Cannot open \"%s\"!\n", path.c_str());
        reportError(strFormat("Cannot open \"%s\"!", path.c_str()));
    }
    FilePtr f(raw);
    std::string chunk;
    chunk.reserve(1 << 16);
    char num[16];
    for (int32_t s : samples) {
        int n = std::snprintf(num, sizeof num, "%d ", s);
        chunk.append(num, static_cast<size_t>(n));
        if (chunk.size() > (1 << 16) - 16) {
            std::fwrite(chunk.data(), 1, chunk.size(), f.get());
            chunk.clear();
        }
    }
    chunk += '\n';
    std::fwrite(chunk.data(), 1, chunk.size(), f.get());
}

void writeRecogResult(const std::string& path, const mlfClass& mlf) {
    FilePtr f = openFile(path, "w");
    std::fprintf(f.get(), "Text index=%s\n", intVecJoin(mlf.textIndex, "#").c_str());
    std::fprintf(f.get(), "Text=%s\n", strVecJoin(mlf.texts, "#").c_str());
    std::fprintf(f.get(), "Score=%f\n", static_cast<double>(mlf.timberScore));
    std::fprintf(f.get(), "CGU=%s\n", mlf.CGU.c_str());
    std::fprintf(f.get(), "MPA=%s\n", mlf.MPA.c_str());
    std::fprintf(f.get(), "HanYu=%s\n", mlf.HanYu.c_str());
    std::fprintf(f.get(), "Tone=%s\n", mlf.Tone.c_str());
    std::fprintf(f.get(), "LogProb=%f\n", static_cast<double>(mlf.pathLogProb));
}

void computeKeywordScores(std::vector<KeywordRecord>& keywords, const mlfClass& mlf) {
    const auto nodeCount = static_cast<int32_t>(mlf.nodes.size());
    for (KeywordRecord& k : keywords) {
        if (k.firstNode < 0 || k.lastNode >= nodeCount)
            reportError(strFormat("Keyword %s spans nodes %d to %d, but the result has %d nodes (line %d of %s)",
                                  k.name.c_str(), k.firstNode, k.lastNode, nodeCount, __LINE__, kModule));
        double weighted = 0, total = 0;
        for (int32_t i = k.firstNode; i <= k.lastNode; ++i) {
            const mlfNode& n = mlf.nodes[static_cast<size_t>(i)];
            double d = n.endFrame - n.startFrame;
            weighted += d * n.timberScore;
            total += d;
        }
        k.score = total != 0 ? static_cast<float>(weighted / total) : 0.0f;
    }
}

void printKeywordLines(const std::vector<KeywordRecord>& keywords, const std::vector<std::string>& sylTexts) {
    for (size_t i = 0; i < keywords.size(); ++i) {
        const KeywordRecord& k = keywords[i];
        progressf("keyword[%zu]:\n", i);
        progressf("\tname=%s\n", k.name.c_str());
        progressf("\tscore=%f\n", static_cast<double>(k.score));
        progressf("\t");
        for (int32_t s : k.sylIndices) {
            const char* text = s >= 0 && static_cast<size_t>(s) < sylTexts.size() ? sylTexts[static_cast<size_t>(s)].c_str() : "";
            progressf("%s ", text);
        }
        progressf("\n");
    }
}

}  // namespace kedo
