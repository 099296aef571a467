// Wave conditioning: 16-bit range, 16000 Hz, microphone gain verdict, optional
// spectral subtraction of stationary noise, DC removal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "task/recog_param.h"
#include "util/sample_array.h"

namespace kedo {

// Sampling rate, bits and framing every conditioned wave has.
inline constexpr int CONDITION_RATE = 16000;
inline constexpr int CONDITION_BITS = 16;
inline constexpr int CONDITION_FRAME_SIZE = 320;
inline constexpr int CONDITION_OVERLAP = 160;

// Verdicts of checkWaveVolume.
enum WaveVolumeVerdict : int {
    VOLUME_NORMAL = 0,
    VOLUME_TOO_SMALL = 1,  // loudest frame too quiet
    VOLUME_TOO_BIG = 2,    // quietest frame too loud
    VOLUME_SATURATED = 3   // too many clipped samples
};

// Conditions the wave in place: amplifies (or scales down) to 16 bits,
// resamples to 16000 Hz, judges the volume (a bad verdict is an error when
// p.useWaveReject is set), performs spectral subtraction when the wave is
// noisy and p.useSpecSubtraction is set (clearing p.useDescCandidateNum), and
// removes the DC offset. Waves of fewer than 320 samples (before or after
// resampling), a rate not above 0 and bits outside 1..32 are refused.
void conditionWave(SampleArray& wave, recogParam& p);

// Verdict 0..3 for a 16-bit, 16000 Hz wave of at least 320 samples.
int checkWaveVolume(const int32_t* x, int len);
// The message a verdict composes ("Normal volume." for 0).
std::string waveVolumeMessage(int verdict);

// Linear interpolation from fsIn to fsOut into out[0..outLen-1]; the first and
// last samples are copied.
void resampleLinear(const int32_t* in, int inLen, int fsIn, int fsOut, int32_t* out, int outLen);
// Length of a wave of len samples resampled from fsIn to fsOut.
int resampledLength(int len, int fsIn, int fsOut);

// Noise ratio of the noise decision: the volume near the top over the volume
// near the bottom of the sorted frame volumes (16000 Hz framing).
float waveNoiseRatio(const int32_t* x, int len);
// Below this ratio a wave counts as noisy.
inline constexpr float NOISY_WAVE_RATIO = 2.35456f;

// Spectral subtraction with the noise spectrum of the first quarter second.
// Returns the cleaned wave; outLen receives its length. Waves too short for
// the noise estimate come back unchanged.
std::vector<int32_t> spectralSubtraction(const int32_t* x, int len, int fs, int& outLen);

}  // namespace kedo
