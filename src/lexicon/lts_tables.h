// Letter-to-sound decision trees, one per letter a-z, generated at build time
// from festlex-cmu's rules (tools/english/lts_rules_to_cpp.py).
#pragma once

#include <cstdint>

namespace kedo {

// A question node asks whether the letter `offset` places from the current
// one (-3..3, never 0) equals `value` ('#' is the word boundary, '0' lies
// beyond it) and goes on at `yes` or `no`. A leaf has offset 0; `yes` is then
// the index of its phones in kLtsPhones.
struct ltsNode {
    int8_t offset;
    char value;
    int32_t yes;
    int32_t no;
};

extern const char* const kLtsPhones[];  // "" (no phone), "aa", "k_s", ...
extern const int32_t kLtsPhoneCount;
extern const int32_t kLtsRoots[26];
extern const ltsNode kLtsNodes[];
extern const int32_t kLtsNodeCount;

}  // namespace kedo
