// Text conversion between the host's strings (UTF-8, wide) and the engine's
// byte strings in the code page of a language.
#pragma once

#include <string>

#include "facade/platform.h"

namespace kedo {

// The iconv name of a code page: "CP950" or "CP1252". The code-page
// conversions below are those of the POSIX layer (iconv); the Windows layer
// converts with the thread's ANSI code page instead.
const char* codePageName(CodePage page);

// UTF-8 to the code page. A character the code page cannot hold raises
// "The %s holds the character U+%04X (at byte %zu), which code page %s cannot
// hold"; malformed UTF-8 raises its own message. `what` names the text.
std::string utf8ToCodePage(const std::string& text, CodePage page, const char* what);
// False when the UTF-8 text holds a character that the code page cannot hold
// (POSIX layer); malformed UTF-8 counts as held, for utf8ToCodePage to report.
bool codePageHolds(const std::string& text, CodePage page);
// The code page's bytes to UTF-8; bytes that are not a character of the code
// page raise an error naming the byte offset.
std::string codePageToUtf8(const std::string& text, CodePage page, const char* what);

// Decodes one UTF-8 character at text[pos] into cp and advances pos past it.
// False for a malformed, overlong or surrogate sequence (pos unchanged).
bool decodeUtf8(const std::string& text, size_t& pos, char32_t& cp);
// Raises "The <what> is not valid UTF-8 (at byte <at>)".
[[noreturn]] void malformedUtf8(const char* what, size_t at, int line);

// Wide strings (UTF-32, or UTF-16 where wchar_t has 16 bits) to UTF-8 and
// back. Values that are no Unicode character (lone surrogates, beyond
// U+10FFFF) and malformed UTF-8 raise an error.
std::string wideToUtf8(const std::wstring& text, const char* what);
std::wstring utf8ToWide(const std::string& text, const char* what);

}  // namespace kedo
