// The reserved unit names of syllable paths, nets and model sets: silence,
// short pause and the fillers. They stand for no syllable of a text, and a
// model set has no substitute for them.
#pragma once

#include <string_view>

namespace kedo {

inline bool isNonSpeechUnit(std::string_view name) {
    return name == "sp" || name == "sil" || name == "filler" || name == "fillerC" || name == "fillerV";
}

}  // namespace kedo
