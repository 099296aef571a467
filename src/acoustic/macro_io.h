// Helpers shared by the text and binary macro file readers and writers.
#pragma once

#include <string>

#include "acoustic/macro.h"

namespace kedo::macro_io {

// The record as the files hold it: for a converted set, weights and
// transitions back from their logs and variances back from their inverses.
HmmModel fileForm(const HmmModel& m, int streamNum, bool converted);
// Converts one record for the likelihood computation (see
// macroClass::convertModels).
void convertRecord(HmmModel& m, int streamNum);

// Refuse stream counts and widths the records cannot hold.
void checkStreamNum(int streamNum, const std::string& path);
void checkStreamWidth(int width, const std::string& path);
// Refuses state counts the records cannot hold.
void checkNumStates(int numStates, int modelId, const std::string& path);

}  // namespace kedo::macro_io
