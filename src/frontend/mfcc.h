// MFCC extraction and the feature file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/feature_config.h"

namespace kedo {

// Mel filter bank tables (1-based vectors, entry 0 unused).
struct MelBank {
    int fftN = 0;          // FFT length K
    int numChans = 0;
    int samplePeriod = 0;  // 100 ns units
    bool usePower = false;
    bool takeLogs = true;
    int klo = 0, khi = 0;  // lowest and highest FFT bin used
    float fres = 0.0f;     // frequency step in units of 700 Hz
    float mlo = 0.0f, mhi = 0.0f;
    std::vector<float> cf;        // channel centres, numChans + 1 entries
    std::vector<int16_t> loChan;  // lower channel of each bin, -1 outside klo..khi
    std::vector<float> loWt;      // weight of each bin toward its lower channel
};

// Configuration, tables and result of one feature extraction.
class CFeaBuf {
public:
    // Zero geometry and the default configuration.
    CFeaBuf() = default;

    // Writes the matrix as text, one line per frame, every value in "%g"
    // form followed by a blank. Errors ("[ERRMSG] CFeaBuf::write2bin => ...")
    // are raised through reportError.
    void write2bin(const std::string& path) const;

    int m_frameLen = 0;      // samples per frame
    int m_frameStep = 0;     // samples between frame starts
    int m_samplePeriod = 0;  // 100 ns units
    int m_dim = 0;
    int m_frameNum = 0;
    std::vector<float> m_fea;  // m_frameNum x m_dim, row-major
    FeatureConfig m_cfg;
    MelBank m_melBank;
    std::vector<float> m_hamming;  // 1-based, m_frameLen entries
    std::vector<float> m_lifter;   // 1-based, numCeps entries
};

// Reads the configuration file (a missing one prints "Cannot open %s (line
// %d, file %s)\n" and the defaults stay), checks that its layout fits the
// fixed columns (12 cepstra and one energy or C0 column), and computes the
// features of len samples at fs Hz into buf. frameNum is 0 when the wave is
// shorter than one frame.
void computeMfcc(CFeaBuf& buf, const int32_t* x, int fs, int bits, int len, const std::string& cfgFile,
                 int& frameNum, int& dim);

// Builds the filter bank of buf.m_cfg for the given frame length and sample
// period (exposed for tests).
void initMelBank(MelBank& fb, const FeatureConfig& cfg, int frameLen, int samplePeriod);

// Regression differences with half-window theta of columns [src, src+width)
// into [dst, dst+width) of a frames x dim matrix; frames beyond either end
// are replaced by the first or last frame.
void regressionDifferences(float* fea, int frames, int dim, int src, int dst, int width, int theta);

}  // namespace kedo
