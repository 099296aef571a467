// Numbers written in digits, spelt out in English words.
#pragma once

#include <cstdint>
#include <string>

namespace kedo {

// Cardinal words without "and" or hyphens: 0 "zero", 21 "twenty one",
// 1205 "one thousand two hundred five". Up to 999 999 999 999 999.
std::string cardinalWords(uint64_t n);
// Ordinal words: 1 "first", 22 "twenty second", 100 "one hundredth".
std::string ordinalWords(uint64_t n);
// A year as it is read: 1999 "nineteen ninety nine", 1905 "nineteen oh
// five", 1900 "nineteen hundred", 2005 "two thousand five", 2024 "twenty
// twenty four". Years outside 1100..2099 read as cardinals.
std::string yearWords(uint64_t year);

// Rewrites every number of a lower-case English text in words, with blanks
// around them:
//  - digits with thousands commas ("1,250") or a decimal part ("3.14" gives
//    "three point one four") read as cardinals;
//  - digits followed by "st", "nd", "rd" or "th" read as ordinals ("21st");
//  - four digits from 1100 to 2099 without commas read as a year;
//  - digits followed by "s" read as plural ("1990s", "80s");
//  - a "%" right after a number reads "percent";
//  - numbers with a leading zero ("007") or more than 15 digits read digit by
//    digit.
// Other bytes are left as they are.
std::string numbersToWords(const std::string& text);

}  // namespace kedo
