// Chinese sentences typed in Simplified characters, read in Traditional ones.
#pragma once

#include <string>

namespace kedo {

// True when the engine was built with OpenCC (Linux builds; the Windows
// component has no converter).
bool simplifiedConversionAvailable();

// text (UTF-8) in the Traditional characters that code page 950 (Big5) holds:
// when text holds a character that Big5 cannot hold and OpenCC is built in,
// the whole text converted by OpenCC's s2tw (character by character, with
// Taiwan's variants; words are never replaced, so the sentence still says
// what the learner reads), and converted is set. Otherwise text as it is;
// characters that Big5 cannot hold are then refused by the code-page
// conversion that follows, naming them. Safe to call from several threads.
std::string traditionalForBig5(const std::string& text, bool& converted);

}  // namespace kedo
