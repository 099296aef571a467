// Audio file loading: WAV (also named wa1/wa2), raw 16-bit samples and FLV
// with Nellymoser audio, chosen by the last three characters of the path.
#pragma once

#include <string>

#include "util/sample_array.h"

namespace kedo {

// Loads path into a sample array (one 32-bit value per sample, channels
// interleaved) with its rate and bits per sample:
//   "wav" "WAV" "wa1" "WA1" "wa2" "WA2": WAV file, rate and bits from its
//       header; 8-bit data as unsigned 0..255, 16-bit data signed;
//   "raw" "RAW": headerless 16-bit little-endian samples, 16000 Hz, 16 bits;
//   "flv" "FLV": decoded Nellymoser audio (readFlvAudio).
// Other names, except in the Windows build: the extensions webm, weba, ogg,
// oga, opus, mp4, m4a, aac and mp3 (any case) are decoded by readMediaAudio to
// 16000 Hz mono 16 bits; any other name is read by its content (a RIFF WAVE
// header, an FLV header, or a compressed container).
// channels, when given, receives the channel count of the source.
// Failures raise KedoError through reportError, of kind badAudio. Re-entrant.
SampleArray readAudioFile(const std::string& path, int* channels = nullptr);

// Mixes interleaved channels down to one: each sample the mean of its frame's
// channel values, rounded to nearest (halves away from zero). An incomplete
// last frame is dropped. One channel or fewer leaves the wave as it is.
void mixToMono(SampleArray& wave, int channels);

// readAudioFile, then mixToMono: the wave the pipeline conditions.
SampleArray readMonoAudioFile(const std::string& path);

}  // namespace kedo
