// The synthetic model set generator.
#include "synthetic_models.h"

#include <cmath>
#include <cstring>

namespace kedo::test {

StrVec syntheticPhoneNames() {
    return {"sil", "sp", "aa", "ae", "ah", "b", "d", "eh", "f", "g", "ih", "iy", "k", "l",
            "m", "n", "ow", "p", "r", "s", "t", "uw", "v", "z"};
}

macroClass makeSyntheticModels(const SyntheticModelSpec& spec) {
    const StrVec names = spec.names.empty() ? syntheticPhoneNames() : spec.names;
    std::mt19937 rng(spec.seed);
    std::uniform_real_distribution<float> centre(-spec.centreSpread, spec.centreSpread);
    std::uniform_real_distribution<float> jitter(-1.0f, 1.0f);
    const float sd = std::sqrt(spec.variance);
    const float gconst = MAX_VECTOR_SIZE * std::log(2.0f * static_cast<float>(M_PI) * spec.variance);

    macroClass set;
    set.m_modelNum = static_cast<int32_t>(names.size());
    set.m_streamNum = spec.streamNum;
    for (int s = 0; s < spec.streamNum; ++s) set.m_streamWidth[s] = MAX_VECTOR_SIZE;
    set.m_header = "<VECSIZE> " + std::to_string(spec.streamNum * MAX_VECTOR_SIZE) + " <NULLD><MFCC_E_D_A><DIAGC>";
    set.m_models.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        HmmModel& m = set.m_models[i];
        std::strncpy(m.name, names[i].c_str(), MAX_MODEL_NAME_LEN);
        m.numStates = spec.numStates;
        for (int j = 0; j < spec.numStates - 2; ++j) {
            StateRec& state = m.states[j];
            for (int s = 0; s < spec.streamNum; ++s) {
                state.streamWeight[s] = 1.0f;
                StreamRec& st = state.streams[s];
                st.mixtures.resize(static_cast<size_t>(spec.mixtureNum));
                float c[MAX_VECTOR_SIZE];
                for (float& v : c) v = centre(rng);
                for (int k = 0; k < spec.mixtureNum; ++k) {
                    MixtureRec& mix = st.mixtures[k];
                    mix.weight = 1.0f / static_cast<float>(spec.mixtureNum);
                    for (int d = 0; d < MAX_VECTOR_SIZE; ++d) {
                        mix.mean[d] = c[d] + 0.1f * sd * jitter(rng);
                        mix.variance[d] = spec.variance;
                    }
                    mix.gconst = gconst;
                }
            }
        }
        const int last = spec.numStates - 1;
        m.transP[0][1] = 1.0f;
        for (int j = 1; j < last; ++j) {
            m.transP[j][j] = spec.selfLoop;
            m.transP[j][j + 1] = 1.0f - spec.selfLoop;
        }
    }
    return set;
}

int featureDim(const macroClass& set) {
    int dim = 0;
    for (int s = 0; s < set.m_streamNum; ++s) dim += set.m_streamWidth[s];
    return dim;
}

std::vector<float> drawFeatureRow(const macroClass& set, int model, int state, std::mt19937& rng, float noiseScale) {
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> row;
    row.reserve(featureDim(set));
    const StateRec& st = set.m_models[model].states[state];
    for (int s = 0; s < set.m_streamNum; ++s) {
        const MixtureRec& mix = st.streams[s].mixtures[0];
        for (int d = 0; d < set.m_streamWidth[s]; ++d) {
            float var = set.converted() ? 1.0f / mix.variance[d] : mix.variance[d];
            row.push_back(mix.mean[d] + noiseScale * std::sqrt(var) * noise(rng));
        }
    }
    return row;
}

std::vector<float> drawFeatures(const macroClass& set, const std::vector<std::pair<int, int>>& stateSequence,
                                std::mt19937& rng, float noiseScale) {
    std::vector<float> frames;
    frames.reserve(stateSequence.size() * featureDim(set));
    for (const auto& [model, state] : stateSequence) {
        std::vector<float> row = drawFeatureRow(set, model, state, rng, noiseScale);
        frames.insert(frames.end(), row.begin(), row.end());
    }
    return frames;
}

}  // namespace kedo::test
