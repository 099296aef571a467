// The one exception type of the engine: every failure carries its message text.
#pragma once

#include <stdexcept>
#include <string>

namespace kedo {

// Raised by reportError(); what() is the message, for example
// "Cannot open file x.prm (line 12 of utility)". Hosts of the C++ library
// catch it; the facade turns it into a failure status.
class KedoError : public std::runtime_error {
public:
    explicit KedoError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kedo
