// Node and phone volume and pitch tracks: per-frame values of the recording
// copied into the result object's nodes and phones.
#pragma once

#include <cstdint>
#include <vector>

#include "frontend/pitch.h"
#include "kedo/result.h"

namespace kedo {

// Sets every node's volume to track[f] for its frames f = startFrame..endFrame
// (frames as built, counted from the spoken segment's start) that lie inside
// the track (0 <= f < len); a node beyond the track gets an empty list.
// Phones are not touched.
void nodeVolume(mlfClass& mlf, const int32_t* track, int len);

// Gives the nodes, taken in order, consecutive frames of the two tracks (n
// frames each) from the track's first frame on: each node gets one volume
// and one pitch value per frame of its span, and the last track frame repeats
// once the track is used up. The phones, taken in order over all nodes, get
// the same in their own pass. Replaces the nodes' volume lists. With n 0 the
// lists are emptied.
void fillNodeTracks(mlfClass& mlf, const float* volume, const float* pitch, int n);

// The samples with their integer mean removed, scaled so that the sample of
// largest magnitude becomes half of 2^nbits in magnitude (the largest sample
// when the smallest one's magnitude is below it, else the smallest), each
// rounded half away from zero. nbits is taken within 1..31. An all-zero (or
// constant) recording stays all zero.
std::vector<int32_t> normalisedSamples(const int32_t* samples, int count, int nbits);

// The pitch step: over the whole recording, n = (count - overlap) /
// (frameSize - overlap) frames of pp's framing: the frame volume (method 1)
// and the two-pass pitch track of the normalised samples (normalisedSamples
// with pp.nbits), then fillNodeTracks. An all-zero recording has pitch 0.
void nodePitchAndVolume(const int32_t* samples, int count, const ptParam& pp, mlfClass& mlf);

}  // namespace kedo
