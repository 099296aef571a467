// Guessed English pronunciations for words the lexicon lacks.
#pragma once

#include <cstddef>
#include <string>

#include "lexicon/dict.h"
#include "util/str_util.h"

namespace kedo {

// The pronunciation that the letter-to-sound rules give a lower-case word:
// phones joined by "_" without stress marks. Apostrophes are ignored; a word
// with any other byte outside a-z, without letters or with more than
// kLtsMaxLetters letters (whose guess would outgrow the lexicon's line
// limits) gives "".
constexpr size_t kLtsMaxLetters = 60;
std::string ltsGuess(const std::string& word);

// The guess for a word missing from wpa: a possessive or contraction ending
// in "'s" whose stem has an entry takes the stem's first PA plus "s", "z" or
// "ih_z" after its last phone; anything else the letter-to-sound rules.
std::string guessPronunciation(const wpaList& wpa, const std::string& word);

// Adds a guessed entry to wpa for every English unit of the texts that has
// none and can be guessed, and re-sorts wpa when it added any. Each guess is
// reported in `warnings` as one line (without "Warning: ") and printed.
// Units that cannot be guessed are left for the listing to refuse, and so is
// an empty wpa (nothing is guessed then).
// The guessed words are appended to addedWords when it is given.
void wpaGuessMissing(wpaList& wpa, const StrVec& normTexts, StrVec& warnings, StrVec* addedWords = nullptr);

}  // namespace kedo
