// End-point detection and the end-point/feature driver.
#include "frontend/epd.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "frontend/frame_volume.h"
#include "frontend/mfcc.h"
#include "frontend/wave_condition.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/str_util.h"
#include "util/timing.h"

namespace kedo {

namespace {
constexpr const char* kModule = "audio";

// Shared by epd and epdByVol: threshold the mixed volume, find the runs and
// drop the short ones.
std::vector<EpdSegment> segmentsAboveThreshold(const std::vector<int32_t>& v, int fs, const EpdParam& ep,
                                               int ratio) {
    const int frames = static_cast<int>(v.size());
    if (frames <= 0) return {};
    const int hop = ep.frameSize - ep.overlap;
    std::vector<int32_t> sorted(v);
    std::sort(sorted.begin(), sorted.end());
    int n = std::max(1, roundToInt(frames * 0.03125));
    int64_t low = sorted[n - 1];
    int64_t high = sorted[frames - n];
    int64_t th = (high - low) / std::max(1, ratio) + low;
    std::vector<int8_t> flags(frames);
    for (int i = 0; i < frames; ++i) flags[i] = v[i] > th ? 1 : 0;
    std::vector<EpdSegment> seg = findSegments(flags.data(), frames);

    const int minLen = roundToInt(ep.minSegDuration * fs / hop);
    const int maxGap = roundToInt(ep.maxGapDuration * fs / hop);
    const int maxLast = roundToInt(ep.maxLastSegDuration * fs / hop);
    for (EpdSegment& s : seg)
        if (s.duration <= minLen) s.valid = 0;
    int last = -1, prev = -1;
    for (int i = static_cast<int>(seg.size()) - 1; i >= 0; --i) {
        if (!seg[i].valid) continue;
        if (last < 0) {
            last = i;
        } else {
            prev = i;
            break;
        }
    }
    if (last >= 0 && prev >= 0 && seg[last].beginFrame - seg[prev].endFrame > maxGap &&
        seg[last].duration <= maxLast)
        seg[last].valid = 0;
    std::vector<EpdSegment> out;
    for (const EpdSegment& s : seg)
        if (s.valid) out.push_back(s);
    return out;
}

std::vector<int32_t> detectorVolumes(const int32_t* x, int len, const EpdParam& ep) {
    std::vector<int32_t> vol(frameCount(len, ep.frameSize, ep.overlap), 0);
    if (!vol.empty()) frameVolume(x, len, ep.frameSize, ep.overlap, vol.data(), VOL_ABS_MEDIAN);
    return vol;
}

}  // namespace

EpdParam epdParamForRate(int fs) {
    EpdParam ep;
    ep.frameSize = static_cast<int32_t>(fs / 62.5);
    return ep;
}

int32_t highOrderDiff(const int32_t* x, int n, int order) {
    static const int coef[6][6] = {{0},
                                   {-1, 1},
                                   {-1, 2, -1},
                                   {-1, 3, -3, 1},
                                   {-1, 4, -6, 4, -1},
                                   {-1, 5, -10, 10, -5, 1}};
    if (order < 1 || order > 5) reportError(strFormat("Unsupported order! (line %d of %s)", __LINE__, kModule));
    const int* c = coef[order];
    int64_t sum = 0;
    for (int j = 0; j + order < n; ++j) {
        int64_t d = 0;
        for (int i = 0; i <= order; ++i) d += static_cast<int64_t>(c[i]) * x[j + i];
        sum += d < 0 ? -d : d;
    }
    return sum > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(sum);
}

std::vector<EpdSegment> findSegments(const int8_t* flags, int n) {
    std::vector<EpdSegment> seg;
    for (int i = 0; i < n; ++i) {
        if (flags[i] != 1) continue;
        if (i == 0 || flags[i - 1] != 1) {
            EpdSegment s;
            s.beginFrame = i;
            seg.push_back(s);
        }
        if (i == n - 1 || flags[i + 1] != 1) {
            EpdSegment& s = seg.back();
            s.endFrame = i;
            s.duration = s.endFrame - s.beginFrame + 1;
            s.valid = 1;
        }
    }
    return seg;
}

std::vector<EpdSegment> epd(const int32_t* x, int len, int fs, const EpdParam& ep) {
    std::vector<int32_t> v = detectorVolumes(x, len, ep);
    const int hop = ep.frameSize - ep.overlap;
    for (size_t i = 0; i < v.size(); ++i) {
        int64_t hod = highOrderDiff(x + static_cast<int64_t>(i) * hop, ep.frameSize, ep.hodOrder);
        v[i] = static_cast<int32_t>((v[i] + hod) / 2);
    }
    return segmentsAboveThreshold(v, fs, ep, ep.hodVolRatio);
}

std::vector<EpdSegment> epdByVol(const int32_t* x, int len, int fs, const EpdParam& ep) {
    return segmentsAboveThreshold(detectorVolumes(x, len, ep), fs, ep, ep.volRatio);
}

FeatureMatrix epdAndMfcc(const recogParam& p, const int32_t* x, int len, int fs, int bits, int frameLength,
                         int frameOverlap, int& waveBeginFrameId, int& waveEndFrameId) {
    return epdAndMfccToFile(p, x, len, fs, bits, frameLength, frameOverlap, waveBeginFrameId, waveEndFrameId,
                            p.outputDir.empty() ? std::string() : p.outputDir + "/output.fea");
}

FeatureMatrix waveFeatures(SampleArray& wave, const std::string& cfgFile, bool useEpd, const std::string& feaPath) {
    recogParam p;
    p.featureConfigFile = cfgFile;
    p.useEpd = useEpd ? 1 : 0;
    conditionWave(wave, p);
    int begin = 0, end = 0;
    return epdAndMfccToFile(p, wave.samples.data(), wave.count(), wave.rate, wave.bits, CONDITION_FRAME_SIZE,
                            CONDITION_OVERLAP, begin, end, feaPath, useEpd);
}

FeatureMatrix epdAndMfccToFile(const recogParam& p, const int32_t* x, int len, int fs, int bits, int frameLength,
                               int frameOverlap, int& waveBeginFrameId, int& waveEndFrameId,
                               const std::string& feaPath, bool reportEpd) {
    long start = processorTicks();
    int beginSample = 0, endSample = len - 1;
    if (p.useEpd != 0) {
        EpdParam ep = epdParamForRate(fs);
        std::vector<EpdSegment> seg = epd(x, len, fs, ep);
        // Without a valid segment the whole wave is used.
        if (!seg.empty()) {
            beginSample = frameCenterSample(seg.front().beginFrame, ep.frameSize, ep.overlap);
            endSample = frameCenterSample(seg.back().endFrame, ep.frameSize, ep.overlap);
        }
    }
    const int step = frameLength - frameOverlap;
    if (step <= 0 || frameLength <= 0)
        reportError(strFormat("Feature frame length %d with overlap %d gives no frame step (line %d of %s)",
                              frameLength, frameOverlap, __LINE__, kModule));
    waveBeginFrameId = roundToInt(static_cast<double>(beginSample) / step);
    waveEndFrameId = roundToInt(static_cast<double>(endSample) / step);
    int waveBeginIndex = step * waveBeginFrameId;
    int waveEndIndex = static_cast<int>(
        std::min<int64_t>(static_cast<int64_t>(step) * waveEndFrameId + frameLength - 1, len - 1));
    if (reportEpd) {
        progressf("%4.3f sec: EPD\n", secondsSince(start));
        progressf("\twaveBeginIndex=%d, waveEndIndex=%d\n", waveBeginIndex, waveEndIndex);
        progressf("\twaveBeginFrameId=%d, waveEndFrameId=%d\n", waveBeginFrameId, waveEndFrameId);
    }

    start = processorTicks();
    CFeaBuf buf;
    FeatureMatrix fea;
    int count = std::max(0, waveEndIndex - waveBeginIndex + 1);
    computeMfcc(buf, x + waveBeginIndex, fs, bits, count, p.featureConfigFile, fea.frameNum, fea.dim);
    if (fea.frameNum <= 0)
        reportError(strFormat("Wave too short for features: %d samples from sample %d, one frame needs %d (line "
                              "%d of %s)",
                              count, waveBeginIndex, buf.m_frameLen, __LINE__, kModule));
    fea.values = buf.m_fea;
    if (fea.frameNum > MAX_FRAME_NUM)
        reportError(strFormat("frameNum = %d > %d, frameNum too big!", fea.frameNum, MAX_FRAME_NUM));
    progressf("%4.3f sec: Compute MFCC (cfgFile=%s)\n", secondsSince(start), p.featureConfigFile.c_str());
    if (!feaPath.empty()) {
        buf.write2bin(feaPath);
        progressf("\t===> Saved %s\n", feaPath.c_str());
    }
    return fea;
}

}  // namespace kedo
