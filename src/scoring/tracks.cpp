// Node and phone volume and pitch tracks.
#include "scoring/tracks.h"

#include <algorithm>
#include <cmath>

#include "frontend/frame_volume.h"
#include "util/str_util.h"

namespace kedo {

void nodeVolume(mlfClass& mlf, const int32_t* track, int len) {
    for (mlfNode& node : mlf.nodes) {
        node.volume.clear();
        const int from = std::max(node.startFrame, 0);
        const int to = std::min(node.endFrame, len - 1);
        for (int f = from; f <= to; ++f) node.volume.push_back(static_cast<float>(track[f]));
    }
}

namespace {

// Appends frames frames of both tracks from position k on, repeating the
// last track frame; advances k.
void appendTrackFrames(std::vector<float>& volumeOut, std::vector<float>& pitchOut, const float* volume,
                       const float* pitch, int n, int frames, int& k) {
    volumeOut.clear();
    pitchOut.clear();
    if (n <= 0 || frames <= 0) return;
    volumeOut.reserve(frames);
    pitchOut.reserve(frames);
    for (int i = 0; i < frames; ++i) {
        k = std::min(k, n - 1);
        volumeOut.push_back(volume[k]);
        pitchOut.push_back(pitch[k]);
        ++k;
    }
}

}  // namespace

void fillNodeTracks(mlfClass& mlf, const float* volume, const float* pitch, int n) {
    int k = 0;
    for (mlfNode& node : mlf.nodes)
        appendTrackFrames(node.volume, node.pitch, volume, pitch, n, node.endFrame - node.startFrame + 1, k);
    k = 0;
    for (mlfNode& node : mlf.nodes)
        for (mlfPhone& ph : node.phones)
            appendTrackFrames(ph.volume, ph.pitch, volume, pitch, n, ph.endFrame - ph.startFrame + 1, k);
}

std::vector<int32_t> normalisedSamples(const int32_t* samples, int count, int nbits) {
    std::vector<int32_t> out(static_cast<size_t>(std::max(count, 0)));
    if (count <= 0) return out;
    const int64_t mean = intMean(samples, count);
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (int i = 0; i < count; ++i) {
        const int64_t v = samples[i] - mean;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const int64_t peak = -lo < hi ? hi : lo;
    if (peak == 0) return out;  // nothing to scale: silence stays silence
    // Peaks above 2^30 would not fit the 32-bit samples.
    const double factor = std::ldexp(0.5, std::clamp(nbits, 1, 31)) / std::fabs(static_cast<double>(peak));
    for (int i = 0; i < count; ++i) out[i] = roundToInt(static_cast<double>(samples[i] - mean) * factor);
    return out;
}

void nodePitchAndVolume(const int32_t* samples, int count, const ptParam& pp, mlfClass& mlf) {
    const int n = frameCount(count, pp.frameSize, pp.overlap);
    std::vector<float> volume(static_cast<size_t>(n), 0.0f);
    if (n > 0) frameVolume(samples, count, pp.frameSize, pp.overlap, volume.data(), VOL_ABS_MEDIAN);
    const std::vector<int32_t> normalised = normalisedSamples(samples, count, pp.nbits);
    std::vector<float> pitch;
    if (n > 0) pitchTrackTwoPass(normalised.data(), count, pp, pitch);
    pitch.resize(static_cast<size_t>(n), 0.0f);
    fillNodeTracks(mlf, volume.data(), pitch.data(), n);
}

}  // namespace kedo
