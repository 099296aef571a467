// Inputs of whole pipeline runs on the Chinese lexicon test data.
#include "support/run_fixture.h"

#include <cmath>
#include <cstdint>
#include <random>

#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo::test {

void writeChineseTestModels(const std::string& path) {
    SyntheticModelSpec spec;
    spec.names = {"sil", "sp", "ch", "ang", "h", "au", "j", "ung", "n", "i", "sh", "ing", "iu", "w", "en", "y", "in"};
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
