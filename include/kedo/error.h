// The one exception type of the engine: every failure carries its message text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "kedo/export.h"

namespace kedo {

// What went wrong, for callers that answer differently by cause (an HTTP
// service, a user interface) without reading the message.
enum class ErrorKind : int32_t {
    none = 0,         // no error
    badInput = 1,     // an argument is unusable: empty sentence, invalid text, too long a name
    unknownWord = 2,  // a word or character the engine cannot pronounce
    badAudio = 3,     // the audio file is missing, unreadable, undecodable or unusable
    engine = 4,       // anything else: data folder, models, parameters, internal limits
};

// "none", "bad_input", "unknown_word", "bad_audio", "engine".
inline const char* errorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::none: return "none";
        case ErrorKind::badInput: return "bad_input";
        case ErrorKind::unknownWord: return "unknown_word";
        case ErrorKind::badAudio: return "bad_audio";
        case ErrorKind::engine: break;
    }
    return "engine";
}

// Raised by reportError(); what() is the message, for example
// "Cannot open file x.prm (line 12 of utility)". Hosts of the C++ library
// catch it; the facade turns it into a failure status.
class KEDO_API KedoError : public std::runtime_error {
public:
    explicit KedoError(const std::string& message, ErrorKind kind = ErrorKind::engine)
        : std::runtime_error(message), m_kind(kind) {}
    ErrorKind kind() const { return m_kind; }

private:
    ErrorKind m_kind;
};

}  // namespace kedo
