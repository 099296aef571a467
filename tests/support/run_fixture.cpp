// Inputs of whole pipeline runs on the Chinese lexicon test data.
#include "support/run_fixture.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/synthetic_models.h"
#include <stdexcept>
#include "support/test_support.h"

namespace kedo::test {

void writeChineseTestModels(const std::string& path) {
    SyntheticModelSpec spec;
    spec.names = {"sil", "sp", "ch", "ang", "h", "au", "j", "ung", "n", "i", "sh", "ing", "iu", "w", "en", "y", "in",
                  "fillerC", "fillerV"};
    makeSyntheticModels(spec).writeModels(path);
}

void writeEnglishTestModels(const std::string& path) {
    SyntheticModelSpec spec;
    spec.names = {"sil", "sp"};
    for (const char* phone : {"ao", "ax", "ay", "b", "d", "dh", "eh", "er", "ey", "g", "hh", "ih", "iy", "k", "l", "m",
                              "n", "ng", "ow", "r", "t", "uh", "w"})
        spec.names.push_back(std::string(phone) + "+sil");
    makeSyntheticModels(spec).writeModels(path);
}

std::string syntheticRecording(int samples, unsigned seed, bool gated) {
    std::string raw;
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (int n = 0; n < samples; ++n) {
        const double tone = !gated || (n > 3000 && n < 13000) ? 3000.0 * std::sin(n * 0.05) : 0.0;
        auto v = static_cast<int16_t>(tone + noise(rng));
        raw.push_back(static_cast<char>(v & 0xff));
        raw.push_back(static_cast<char>((v >> 8) & 0xff));
    }
    return raw;
}

std::string segmentedRecording(const std::vector<double>& frequencies, unsigned seed) {
    std::string raw;
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 30.0);
    const int total = 2 * kFittedLead + kFittedSegment * static_cast<int>(frequencies.size());
    for (int n = 0; n < total; ++n) {
        const int k = (n - kFittedLead) / kFittedSegment;
        const bool sounding = n >= kFittedLead && k < static_cast<int>(frequencies.size());
        const double tone = sounding ? 6000.0 * std::sin(2 * M_PI * frequencies[k] * n / 16000.0) : 0.0;
        auto v = static_cast<int16_t>(tone + noise(rng));
        raw.push_back(static_cast<char>(v & 0xff));
        raw.push_back(static_cast<char>((v >> 8) & 0xff));
    }
    return raw;
}

void fitTestModels(const std::string& path, const std::string& featureFile, int segments,
                   const std::vector<PhoneFit>& fits) {
    std::vector<std::vector<float>> rows;
    std::ifstream in(featureFile);
    for (std::string line; std::getline(in, line);) {
        std::istringstream values(line);
        rows.emplace_back();
        for (float v; values >> v;) rows.back().push_back(v);
    }
    const int end = kFittedLead + segments * kFittedSegment;
    auto inside = [&](size_t t, int segment) {
        const int a = static_cast<int>(t) * 160, b = a + 320;
        if (segment < 0) return b <= kFittedLead || a >= end;
        const int from = kFittedLead + segment * kFittedSegment;
        return a >= from && b <= from + kFittedSegment;
    };
    macroClass set;
    set.readModels(path, false);
    for (const PhoneFit& fit : fits) {
        std::vector<double> sum(rows.empty() ? 0 : rows[0].size()), sq(sum.size());
        int n = 0;
        for (size_t t = 0; t < rows.size(); ++t) {
            if (!inside(t, fit.segment) || rows[t].size() != sum.size()) continue;
            for (size_t d = 0; d < sum.size(); ++d) {
                sum[d] += rows[t][d];
                sq[d] += rows[t][d] * rows[t][d];
            }
            ++n;
        }
        if (n == 0 || sum.size() != static_cast<size_t>(featureDim(set))) throw std::runtime_error("no frames to fit");
        for (HmmModel& m : set.m_models) {
            if (fit.phone != m.name) continue;
            for (int j = 0; j < m.numStates - 2; ++j) {
                int d = 0;
                for (int s = 0; s < set.m_streamNum; ++s) {
                    StreamRec& st = m.states[j].streams[s];
                    double gconst = 0;
                    for (int k = 0; k < set.m_streamWidth[s]; ++k, ++d) {
                        const double mean = sum[d] / n;
                        const double var = fit.varianceScale * (std::max(sq[d] / n - mean * mean, 0.0) + 0.05);
                        for (int x = 0; x < st.mixtureNum(); ++x) {
                            st.mixtures[x].mean[k] = static_cast<float>(mean);
                            st.mixtures[x].variance[k] = static_cast<float>(var);
                        }
                        gconst += std::log(2 * M_PI * var);
                    }
                    for (int x = 0; x < st.mixtureNum(); ++x) st.mixtures[x].gconst = static_cast<float>(gconst);
                }
            }
        }
    }
    set.writeModels(path);
}

std::string chineseRunData(const std::string& folder) {
    return "language = chinese\n"
           "macFile = " + folder + "/models.mac\n"
           "dicFile = " + dataPath("lexicon/chinese.pam") + "\n"
           "pyTableFile = " + dataPath("lexicon/pinyin.tab") + "\n"
           "wpaFile = " + dataPath("lexicon/chinese.wpa") + "\n"
           "tnmFile = " + dataPath("lexicon/chinese.tnm") + "\n"
           "featureConfigFile = " + folder + "/none.cfg\n"
           "pinyinType = cgu\n"
           "maxCandidateNum = 1000\n"
           "probTh = 1000\n" + writeScoringFiles(folder);
}

void prepareFittedRun(const std::string& folder, const std::string& prmLines, const std::vector<double>& sounds,
                      const std::vector<PhoneFit>& fits, bool english) {
    if (english)
        writeEnglishTestModels(folder + "/models.mac");
    else
        writeChineseTestModels(folder + "/models.mac");
    writeFile(folder + "/speech.raw", segmentedRecording(sounds, 3));
    writeFile(folder + "/fit.prm", prmLines + "comparisonMode = 1\nuseEpd = 0\noutputDir = fit\n");
    std::filesystem::create_directories(folder + "/fit");
    CliResult r = runShell("cd '" + folder + "' && '" + KEDO_CLI_PATH +
                           "' run --prm fit.prm --wav speech.raw --txt sentence.txt --function assess");
    if (r.status != 0) throw std::runtime_error("the feature run failed: " + r.err);
    std::vector<PhoneFit> all = {{"sil", -1}, {"sp", -1}};
    all.insert(all.end(), fits.begin(), fits.end());
    fitTestModels(folder + "/models.mac", folder + "/fit/output.fea", static_cast<int>(sounds.size()), all);
    std::filesystem::remove_all(folder + "/fit");
}

void prepareFittedNiHau(const std::string& folder, const std::string& prmLines, const std::vector<PhoneFit>& extra) {
    std::vector<PhoneFit> fits = {{"n", 0}, {"i", 1}, {"h", 2}, {"au", 3}};
    fits.insert(fits.end(), extra.begin(), extra.end());
    prepareFittedRun(folder, prmLines, kNiHauSounds, fits);
}

std::string writeScoringFiles(const std::string& folder, bool relative) {
    writeFile(folder + "/rank2score.txt", "0.05 0.5 0\n");
    writeFile(folder + "/discount.txt", "0.5 0.9 0.9 0.9 1 0.9 0.9\n");
    writeFile(folder + "/qiyin.txt", "sh\n");
    const std::string at = relative ? "" : folder + "/";
    return "qiYinFile = " + at + "qiyin.txt\n"
           "phoneRank2scoreParamFile = " + at + "rank2score.txt\n"
           "scoreDiscountParamFile = " + at + "discount.txt\n"
           "useAllModelAsCompetingModel = 1\n";
}

}  // namespace kedo::test
