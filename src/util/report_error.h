// The engine's single error routine and the printf-style formatting it relies on.
#pragma once

#include <cstdarg>
#include <string>

#include "kedo/error.h"

// The printf flavour of the formatting functions: MinGW's C99 printf (the
// one __USE_MINGW_ANSI_STDIO selects) on Windows, the C library's elsewhere.
#if defined(__MINGW32__)
#define KEDO_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define KEDO_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace kedo {

// printf-style formatting into a std::string of any length.
std::string strFormat(const char* fmt, ...) KEDO_PRINTF_FORMAT(1, 2);
std::string strFormatV(const char* fmt, va_list args) KEDO_PRINTF_FORMAT(1, 0);

// Ends the running operation: appends the line "Error: <message>" (the
// message alone when it already begins with "Error:") to
// $temp/error_YYYYMMDD_HHMMSS.log (or $TEMP when temp is unset; skipped when
// neither is set to a non-empty value or the file cannot be written),
// announces it on standard error, and throws KedoError carrying the message
// and its kind. Safe to call from any thread: errors of the same second share
// the file, one whole line each.
[[noreturn]] void reportError(const std::string& message, ErrorKind kind = ErrorKind::engine);

// The path that reportError would write its log to at this moment, or the
// empty string when no temp folder is set.
std::string errorLogPath();

}  // namespace kedo
