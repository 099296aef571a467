// The feature configuration file: KEY=value lines steering MFCC extraction.
#pragma once

#include <cstdint>
#include <string>

namespace kedo {

// Base feature kinds (low 6 bits of a kind code).
inline constexpr uint16_t WAVEFORM = 0;
inline constexpr uint16_t LPC = 1;
inline constexpr uint16_t LPREFC = 2;
inline constexpr uint16_t LPCEPSTRA = 3;
inline constexpr uint16_t LPDELCEP = 4;
inline constexpr uint16_t IREFC = 5;
inline constexpr uint16_t MFCC = 6;
inline constexpr uint16_t FBANK = 7;
inline constexpr uint16_t MELSPEC = 8;
inline constexpr uint16_t USER = 9;
inline constexpr uint16_t DISCRETE = 10;
inline constexpr uint16_t ANON = 11;

// Qualifier flags of a kind code.
inline constexpr uint16_t HAS_E = 0x40;    // _E log energy
inline constexpr uint16_t HAS_N = 0x80;    // _N
inline constexpr uint16_t HAS_D = 0x100;   // _D first differences
inline constexpr uint16_t HAS_A = 0x200;   // _A second differences
inline constexpr uint16_t HAS_C = 0x400;   // _C
inline constexpr uint16_t HAS_Z = 0x800;   // _Z cepstral mean subtraction
inline constexpr uint16_t HAS_K = 0x1000;  // _K
inline constexpr uint16_t HAS_0 = 0x2000;  // _0 C0
inline constexpr uint16_t HAS_V = 0x4000;  // _V

inline constexpr uint16_t BASE_KIND_MASK = 0x3f;

// Analysis settings with their defaults (MFCC_E_D_A, 20 ms frames every 10 ms).
struct FeatureConfig {
    float sourceRate = 625.0f;  // 100 ns units; kept, the wave's own rate is used
    bool zMeanSource = false;
    uint16_t targetKind = MFCC | HAS_E | HAS_D | HAS_A;  // 838
    float targetRate = 100000.0f;  // 100 ns units
    float windowSize = 200000.0f;  // 100 ns units
    bool useHamming = true;
    float preEmCoef = 0.975f;
    bool usePower = false;
    int32_t numChans = 26;
    float loFreq = -1.0f;
    float hiFreq = -1.0f;
    int32_t cepLifter = 22;
    int32_t numCeps = 12;
    bool eNormalise = true;
    float eScale = 0.1f;
    int32_t deltaWindow = 2;
    int32_t accWindow = 2;
    float silFloor = 50.0f;
    // Feature dimension for targetKind and numCeps, kept up to date by the
    // reader when TARGETKIND is read.
    int32_t dim = 39;
};

// Reads path into cfg (which already holds its defaults). Blanks are removed
// from every line before it is split at "="; unknown keys, blank lines and
// keys without a value are skipped. A file that cannot be opened prints
// "Can't open config file %s \n" and leaves cfg unchanged.
void readFeatureConfig(FeatureConfig& cfg, const std::string& path);

// Kind code of a kind text such as "MFCC_E_D_A"; an unknown base name gives
// ANON (11) without qualifiers.
uint16_t parseKind(const std::string& text);

// Values per frame: base = numCeps (+1 with _E, +1 with _0); base without _D
// and _A, else (2 * base with _D, else numCeps) + (base with _A).
int featureDimension(int numCeps, uint16_t kind);

}  // namespace kedo
