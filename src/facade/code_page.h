// Text conversion between the host's strings (UTF-8, wide) and the engine's
// byte strings in the code page of a language.
#pragma once

#include <string>

#include "facade/platform.h"

namespace kedo {

// The iconv name of a code page: "CP950" or "ISO-8859-1".
const char* codePageName(CodePage page);

// UTF-8 to the code page. A character the code page cannot hold raises
// "The %s holds the character U+%04X (at byte %zu), which code page %s cannot
// hold"; malformed UTF-8 raises its own message. `what` names the text.
std::string utf8ToCodePage(const std::string& text, CodePage page, const char* what);
// The code page's bytes to UTF-8; bytes that are not a character of the code
// page raise an error naming the byte offset.
std::string codePageToUtf8(const std::string& text, CodePage page, const char* what);

// Wide strings (UTF-32, or UTF-16 where wchar_t has 16 bits) to UTF-8 and
// back. Values that are no Unicode character (lone surrogates, beyond
// U+10FFFF) and malformed UTF-8 raise an error.
std::string wideToUtf8(const std::wstring& text, const char* what);
std::wstring utf8ToWide(const std::string& text, const char* what);

}  // namespace kedo
