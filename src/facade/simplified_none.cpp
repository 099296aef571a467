// Builds without OpenCC: sentences are taken as typed.
#include "facade/simplified.h"

namespace kedo {

bool simplifiedConversionAvailable() { return false; }

std::string traditionalForBig5(const std::string& text, bool& converted) {
    converted = false;
    return text;
}

}  // namespace kedo
