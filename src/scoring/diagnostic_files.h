// Diagnostic score files: "phone.plp" (competing models and their
// log-likelihoods per ranked phone) and "phone.cmd" (a readable account of
// every ranking and score).
#pragma once

#include <string>

#include "kedo/result.h"
#include "task/recog_param.h"
#include "util/str_util.h"

namespace kedo {

// True for the phones the diagnostic files list: phones of spoken nodes that
// start at frame 0 or later and whose name does not begin with "sil+".
bool isWrittenPhone(const mlfNode& node, const mlfPhone& phone);

// Writes "phone.plp": a four-line Big5 header, then three lines per written
// phone (name, index, frame count; competing model indices; their
// log-likelihoods). A file that cannot be created is an error.
void writePhonePlp(const mlfClass& mlf, const std::string& path);

// Writes "phone.cmd": per spoken node its span and scores, per written phone
// its competing models (named from modelNames), rank, time weight and scores;
// then the raw and corrected utterance scores and the discount occurrences.
// A file that cannot be created is an error.
void writePhoneCmd(const mlfClass& mlf, const StrVec& modelNames, const std::string& path);

// The documents of a scored run, when p.outputDir is set: "phone.lab",
// "phone.cm", "output.xml", "phone.plp" and "phone.cmd" under it, in this
// order, each followed by "\t===> Saved PATH". Nothing without outputDir.
void writeAssessmentFiles(const mlfClass& mlf, const StrVec& modelNames, const recogParam& p);

}  // namespace kedo
