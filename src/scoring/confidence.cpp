// Confidence measure: phone ranking and timber scores.
#include "scoring/confidence.h"
#include "util/progress.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>

#include "scoring/discount.h"
#include "scoring/segmentation.h"
#include "util/data_cache.h"
#include "util/file_util.h"
#include "util/report_error.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "mlf";

using Bell = std::array<float, 3>;

constexpr Bell kDefaultBell = {0.05f, 0.5f, 0.0f};

int frameCount(const mlfPhone& ph) { return ph.endFrame - ph.startFrame + 1; }

// The bell parameters of the cmParamFile, one kept line per model, parsed on
// first use of a line.
class CmParamTable {
public:
    CmParamTable(const std::string& path) : path_(path), exists_(!path.empty() && fileExists(path)) {
        if (!exists_) return;
        // Kept between the calls of an engine while the file is unchanged.
        lines_ = cachedLoad<StrVec>(
            "bell parameters", {path},
            [&] {
                auto lines = std::make_shared<StrVec>();
                readLines(path, *lines, '%');
                return lines;
            },
            [](const StrVec& lines) {
                size_t n = 0;
                for (const std::string& l : lines) n += sizeof(l) + l.capacity();
                return n;
            });
        parsed_.resize(lines_->size());
        done_.assign(lines_->size(), 0);
    }

    Bell get(const mlfPhone& ph) {
        if (!exists_) return kDefaultBell;
        const int index = ph.index;
        const StrVec& lines = *lines_;
        if (index < 0 || static_cast<size_t>(index) >= lines.size())
            reportError(strFormat("Error: %s has %zu model lines, none for model %d (%s) (line %d of %s)",
                                  path_.c_str(), lines.size(), index, ph.name.c_str(), __LINE__, kModule));
        if (!done_[index]) {
            StrVec fields = strSplit(lines[index], '\t');
            Bell& bell = parsed_[index];
            if (fields.size() != 6 ||
                std::sscanf(fields[5].c_str(), "[%g %g %g]", &bell[0], &bell[1], &bell[2]) != 3) {
                progressf("modelName=%s\n", ph.name.c_str());
                progressf("modelIndex=%d\n", index);
                progressf("contents[%d]=%s\n", index, lines[index].c_str());
                reportError(strFormat("Error: Cannot parse %s (line %d of file %s)", path_.c_str(), 726, kModule));
            }
            done_[index] = 1;
        }
        return parsed_[index];
    }

private:
    std::string path_;
    bool exists_;
    std::shared_ptr<const StrVec> lines_;
    std::vector<Bell> parsed_;
    std::vector<char> done_;
};

// Score 3: where the own model lies between the worst and best competitor,
// squared onto 0..100.
float spreadScore(const mlfPhone& ph) {
    if (ph.competingModelLogLike.empty()) return 0;
    auto [mn, mx] = std::minmax_element(ph.competingModelLogLike.begin(), ph.competingModelLogLike.end());
    if (!(*mn < *mx)) return 0;
    const float v = (ph.ownLogLike - *mn) * 100.0f / (*mx - *mn);
    return v * v / 100.0f;
}

// Score 4: the own model's posterior among its competitors, with the model
// counts as priors, in percent.
float posteriorScore(const mlfPhone& ph, const macroClass& models) {
    auto logCount = [&](int32_t m) {
        if (m < 0 || m >= models.m_modelNum)
            reportError(strFormat("Error: phone %s refers to model %d of a set of %d (line %d of %s)",
                                  ph.name.c_str(), m, models.m_modelNum, __LINE__, kModule));
        return models.m_models[m].logCount;
    };
    float total = 0;
    for (size_t k = 0; k < ph.competingModelIndex.size(); ++k) {
        const float w = logCount(ph.competingModelIndex[k]) + ph.competingModelLogLike[k];
        if (k == 0) {
            total = w;
        } else {
            const float hi = std::max(total, w), lo = std::min(total, w);
            total = hi + pm::log(1.0f + pm::exp(lo - hi));
        }
    }
    return 100.0f * pm::exp(logCount(ph.index) + ph.ownLogLike - total);
}

}  // namespace

float bellScore(float x, float a, float b, float c) {
    if (a == 0) return x == c ? 100.0f : 0.0f;
    const float u = (x - c) / a;
    if (u == 0) return 100.0f;
    return 100.0f / (static_cast<float>(pm::pow(static_cast<double>(u * u), static_cast<double>(b))) + 1.0f);
}

void rankPhones(mlfClass& mlf, const ModelProbFn& modelProb, const macroClass& models, const recogParam& p) {
    rankPhonesTogether(
        mlf,
        [&](int f1, int f2, const IntVec& competing, std::vector<float>& out) {
            for (size_t k = 0; k < competing.size(); ++k) out[k] = modelProb(f1, f2, competing[k]);
        },
        models, p);
}

void rankPhonesTogether(mlfClass& mlf, const CompetitorProbFn& competitorProbs, const macroClass& models,
                        const recogParam& p) {
    mlf.scoredFrameCount = 0;
    for (const mlfNode& node : mlf.nodes) {
        if (!isSpokenNode(node)) continue;
        for (const mlfPhone& ph : node.phones)
            if (isRankedPhone(ph)) mlf.scoredFrameCount += frameCount(ph);
    }

    StrVec names;
    models.modelNameList(names);
    IntVec allModels;
    for (size_t i = 0; i < names.size(); ++i)
        if (!isNonSpeechName(names[i])) allModels.push_back(static_cast<int32_t>(i));

    const bool useEps = !p.epsFile.empty();
    if (useEps) {
        if (mlf.epsRecords.empty()) {
            StrVec lines;
            readLines(p.epsFile, lines, '%');
            for (const std::string& line : lines) {
                StrVec fields = strSplit(line, '\t');
                std::string phone = fields.empty() ? std::string() : fields[0];
                if (!fields.empty()) fields.erase(fields.begin());
                mlf.epsRecords.emplace_back(std::move(phone), std::move(fields));
            }
        }
        for (mlfNode& node : mlf.nodes) {
            if (!isSpokenNode(node)) continue;
            for (mlfPhone& ph : node.phones) {
                if (!isRankedPhone(ph)) continue;
                ph.epsNames.clear();
                for (const auto& record : mlf.epsRecords) {
                    if (record.first == ph.name) {
                        ph.epsNames = record.second;
                        break;
                    }
                }
            }
        }
    }

    if (!p.outputDir.empty()) {
        const std::string path = p.outputDir + "/modelStrVec.txt";
        writeLines(path, names);
        progressf("\t===> Saved %s\n", path.c_str());
    }

    mlf.scoredNodeCount = 0;
    std::vector<size_t> order;
    for (size_t n = 0; n < mlf.nodes.size(); ++n) {
        mlfNode& node = mlf.nodes[n];
        if (!isSpokenNode(node)) continue;
        ++mlf.scoredNodeCount;
        for (mlfPhone& ph : node.phones) {
            if (!isRankedPhone(ph)) continue;
            IntVec own = strVecLinSearch(names, ph.name, MatchPos::whole);
            if (own.empty())
                reportError(strFormat("Error: phone %s of node %zu (%s) is not a model of the model set (line %d "
                                      "of %s)",
                                      ph.name.c_str(), n, node.name.c_str(), __LINE__, kModule));
            ph.index = own[0];

            IntVec competing;
            if (p.useAllModelAsCompetingModel != 0) {
                competing = allModels;
            } else {
                const size_t plus = ph.name.find('+');
                if (plus == std::string::npos)
                    reportError(strFormat("Error: phone %s of node %zu (%s) has no \"+\", so it has no competing "
                                          "models of the same right part; set useAllModelAsCompetingModel to "
                                          "rank it against all models (line %d of %s)",
                                          ph.name.c_str(), n, node.name.c_str(), __LINE__, kModule));
                competing = strVecLinSearch(names, ph.name.substr(plus), MatchPos::atEnd);
            }

            std::vector<float> logLikes(competing.size());
            competitorProbs(ph.startFrame, ph.endFrame, competing, logLikes);
            bool ownFound = false;
            float ownLL = 0;
            for (size_t k = 0; k < competing.size(); ++k) {
                if (names[competing[k]] == ph.name) {
                    ownFound = true;
                    ownLL = logLikes[k];
                }
            }
            if (!ownFound)
                reportError(strFormat("Error: the model of phone %s of node %zu (%s) is not among its competing "
                                      "models (line %d of %s)",
                                      ph.name.c_str(), n, node.name.c_str(), __LINE__, kModule));
            ph.ownLogLike = ownLL;

            order.resize(competing.size());
            std::iota(order.begin(), order.end(), size_t{0});
            std::stable_sort(order.begin(), order.end(),
                             [&](size_t x, size_t y) { return logLikes[x] > logLikes[y]; });
            ph.competingModelIndex.resize(competing.size());
            ph.competingModelLogLike.resize(competing.size());
            for (size_t k = 0; k < order.size(); ++k) {
                ph.competingModelIndex[k] = competing[order[k]];
                ph.competingModelLogLike[k] = logLikes[order[k]];
            }

            int atLeastAsGood = 0;
            while (static_cast<size_t>(atLeastAsGood) < order.size() &&
                   ph.competingModelLogLike[atLeastAsGood] >= ownLL)
                ++atLeastAsGood;
            ph.rank = atLeastAsGood - 1;
            if (useEps) {
                int excused = 0;
                for (int r = ph.rank - 1; r >= 0; --r) {
                    const std::string& competitor = names[ph.competingModelIndex[r]];
                    if (std::find(ph.epsNames.begin(), ph.epsNames.end(), competitor) != ph.epsNames.end())
                        ++excused;
                }
                ph.rank -= excused;
            }
            ph.timeRatio = mlf.scoredFrameCount > 0
                               ? static_cast<float>(frameCount(ph)) / static_cast<float>(mlf.scoredFrameCount)
                               : 0.0f;
            ph.rankRatio = static_cast<float>(ph.rank) / static_cast<float>(competing.size());
        }
    }
}

void computeTimberScores(mlfClass& mlf, int first, int last, const recogParam& p, const macroClass& models) {
    checkNodeRange(mlf, first, last, "computeTimberScores");
    for (mlfNode& node : mlf.nodes) {
        node.timberScores = {-1, -1, -1, -1};
        for (mlfPhone& ph : node.phones) ph.timberScores = {-1, -1, -1, -1};
    }
    if (mlf.rankScoreParams.empty()) {
        readFloats(p.phoneRank2scoreParamFile, mlf.rankScoreParams);
        if (mlf.rankScoreParams.size() < 3)
            reportError(strFormat("Error: %s holds %zu numbers, but the rank-to-score function needs 3 (line %d "
                                  "of %s)",
                                  p.phoneRank2scoreParamFile.c_str(), mlf.rankScoreParams.size(), __LINE__,
                                  kModule));
    }
    const float* rankBell = mlf.rankScoreParams.data();
    CmParamTable cmTable(p.cmParamFile);

    for (int s = 0; s < 4; ++s) {
        for (mlfNode& node : mlf.nodes) {
            if (!isSpokenNode(node)) continue;
            if (node.phones.size() == 1 && !isRankedPhone(node.phones[0])) {
                node.phones[0].timberScores[s] = 0;
                node.timberScores[s] = 0;
                continue;
            }
            float weighted = 0, weights = 0;
            for (mlfPhone& ph : node.phones) {
                if (!isRankedPhone(ph)) continue;
                if (ph.competingModelIndex.empty() ||
                    ph.competingModelIndex.size() != ph.competingModelLogLike.size())
                    reportError(strFormat("Error: phone %s of node %s has not been ranked (line %d of %s)",
                                          ph.name.c_str(), node.name.c_str(), __LINE__, kModule));
                const float rankRatio =
                    static_cast<float>(ph.rank) / static_cast<float>(ph.competingModelIndex.size());
                float score = 0;
                switch (s) {
                    case 0:
                        score = bellScore(rankRatio, rankBell[0], rankBell[1], rankBell[2]);
                        break;
                    case 1: {
                        const Bell bell = cmTable.get(ph);
                        ph.cmParams.assign(bell.begin(), bell.end());
                        score = bellScore(rankRatio, bell[0], bell[1], bell[2]);
                        break;
                    }
                    case 2:
                        score = spreadScore(ph);
                        break;
                    default:
                        score = posteriorScore(ph, models);
                        break;
                }
                ph.timberScores[s] = score;
                weighted += ph.timeRatio * score;
                weights += ph.timeRatio;
            }
            // A node of several "sil+" phones has nothing ranked and scores 0,
            // like a node of one.
            float nodeScore = weights > 0 ? weighted / weights : 0.0f;
            if (s == 3 && nodeScore > 100) nodeScore = 100;
            node.timberScores[s] = nodeScore;
        }
    }

    for (int i = first; i <= last; ++i) {
        mlfNode& node = mlf.nodes[i];
        for (float& score : node.timberScores) score *= node.discountWeight;
    }
    computeUtteranceScore(mlf, first, last, p);
    for (mlfNode& node : mlf.nodes) {
        node.timberScore = node.timberScores[1];
        for (mlfPhone& ph : node.phones) ph.timberScore = ph.timberScores[1];
    }
}

}  // namespace kedo
