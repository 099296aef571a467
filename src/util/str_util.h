// String and string-list routines shared by every reader and writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kedo {

using StrVec = std::vector<std::string>;
using IntVec = std::vector<int32_t>;

// Removes trailing blanks, tabs, carriage returns and line feeds.
void strTrimRight(std::string& s);
// Removes leading and trailing white space (blank, \t, \n, \v, \f, \r).
void strTrim(std::string& s);
// Turns A-Z into a-z; other bytes are left alone (Big5 bytes included).
void strToLower(std::string& s);
// Replaces every occurrence of pattern, scanning left to right; the scan
// resumes after the inserted replacement. An empty pattern changes nothing.
void strReplaceAll(std::string& s, const std::string& pattern, const std::string& replacement);
// Splits at delim into out (cleared first unless append). An empty string adds
// nothing; empty pieces are kept, and a trailing delimiter adds one empty piece.
void strSplit(const std::string& s, char delim, StrVec& out, bool append = false);
// Convenience form of strSplit returning a fresh list.
StrVec strSplit(const std::string& s, char delim);
// Removes the empty elements, keeping the order of the others.
void strVecRemoveEmpty(StrVec& v);
std::string strVecJoin(const StrVec& v, const std::string& sep);
std::string intVecJoin(const IntVec& v, const std::string& sep);

// Rounds half away from zero: 2.5 -> 3, -2.5 -> -3, -0.4 -> 0.
int32_t roundToInt(double value);
inline int32_t roundToInt(float value) { return roundToInt(static_cast<double>(value)); }

// Where the first occurrence of the target must lie for an element to match.
enum class MatchPos {
    anywhere = 0,  // any occurrence
    atStart = 1,   // the first occurrence starts the element
    atEnd = 2,     // the first occurrence ends the element
    whole = 3      // the element equals the target
};
// Indices of the elements of v that match target at matchPos, in order.
IntVec strVecLinSearch(const StrVec& v, const std::string& target, MatchPos matchPos);

// Parses a decimal integer the way the parameter files do: leading white space,
// an optional sign, digits up to the first other character; no digits give 0.
// Values beyond the 32-bit range saturate.
int32_t parseLeadingInt(const std::string& s);

// True if s ends with suffix.
bool strEndsWith(const std::string& s, const std::string& suffix);

}  // namespace kedo
