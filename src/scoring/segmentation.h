// Phone segmentation of a run: filling the result object's nodes and phones
// from a label file, marking pitched phones, node texts, the frame shift, and
// the label writer ("phone.lab", "phone.cm").
#pragma once

#include <string>

#include "kedo/result.h"
#include "task/recog_param.h"
#include "util/str_util.h"

namespace kedo {

// True for the reserved non-speech units: sp, sil, filler, fillerC, fillerV.
bool isNonSpeechName(const std::string& name);
// A spoken node is one whose name is not a non-speech unit; only spoken nodes
// are ranked and scored.
inline bool isSpokenNode(const mlfNode& node) { return !isNonSpeechName(node.name); }
// A phone of a spoken node is ranked unless its name begins with "sil+".
inline bool isRankedPhone(const mlfPhone& phone) { return phone.name.rfind("sil+", 0) != 0; }

// Resets every score and ranking marker of a phone to -1, as a fresh phone
// has them before the confidence measure.
void resetPhoneScores(mlfPhone& phone);

// Fills mlf.nodes (cleared first) from a label file in the layout that
// writePhoneLevel gives "phone.lab": "START END PHONE LOGLIKE [NODE]" with
// times in 100 ns units; a line with a fifth field starts a node. Empty lines
// and lines starting with "%" are skipped. A phone's index is the position of
// its name in modelNames (-1 when absent). Errors: a file that cannot be
// opened, a line with fewer than four fields, a phone before the first node.
// Label times are in the time base of the whole recording, as a run writes
// them: firstFrame (the first frame of the spoken segment) is taken off every
// frame. With frameNum >= 0 every span must lie within the frameNum feature
// frames of the segment, and a span outside them (or inverted) is refused
// naming the file and line.
void readLabelFile(mlfClass& mlf, const std::string& path, const StrVec& modelNames, int firstFrame = 0,
                   int frameNum = -1);

// Sets pitched on every phone: 0 for "sil", "sp", names beginning with
// "sil+", and names whose base (the part before the first "+") is listed in
// the file qiYinFile (one name per non-empty line); 1 otherwise.
void markPitched(mlfClass& mlf, const std::string& qiYinFile);

// Sets node texts: non-speech nodes get the empty text. With
// addLink4startAnywhere 0 the other nodes take the lookup units of
// identifiedText (textUnits: one character for Chinese, one word for English)
// in order, one each, and the empty text beyond the last unit; otherwise they
// keep the text they have (their net node's text).
void assignNodeTexts(mlfClass& mlf, const std::string& identifiedText, const recogParam& p);

// Adds offset to the start and end frame of every node and phone.
void shiftFrames(mlfClass& mlf, int offset);

// Writes the label file: "phone.lab" with (false, false, false), "phone.cm"
// with (false, true, true). mlfHeader adds the MLF header and trailer,
// detailed the score summary and per-phone scores, withVolume the node's
// volume values on the first phone line of each node. A file that cannot be
// created is an error.
void writePhoneLevel(const mlfClass& mlf, const std::string& path, bool mlfHeader, bool detailed,
                     bool withVolume);

}  // namespace kedo
