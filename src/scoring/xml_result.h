// The XML result document "output.xml": texts, scores, every node and phone
// with times, tracks and competing models, and the discount factors.
#pragma once

#include <string>

#include "kedo/result.h"
#include "task/recog_param.h"
#include "util/str_util.h"

namespace kedo {

// Writes the document for mlf to path. modelNames is the model set's name
// list (it names the competing models); p.language chooses the declared
// encoding ("chinese": big5, else UTF-8) and how node texts are counted.
// English text is Windows-1252 and is transcoded to UTF-8 ("caf\xe9" is
// written as "café"); the size attributes keep counting its bytes.
// Strings are written as their bytes, with "&", "<" and ">" escaped; a byte
// the declared encoding cannot carry (a control character, a broken
// multi-byte sequence, a Big5 code outside the Big5 table) is written as
// "?", so that the document is always well-formed. A file that cannot be created is an error.
void writeXml(const mlfClass& mlf, const StrVec& modelNames, const std::string& path, const recogParam& p);

// The document as a string (what writeXml writes).
std::string xmlDocument(const mlfClass& mlf, const StrVec& modelNames, const recogParam& p);

// Appends text to out as XML character data for a document in Big5 (big5
// true) or UTF-8: escapes "&", "<", ">", and writes "?" for each byte that
// cannot stand in the document.
void appendXmlText(std::string& out, const std::string& text, bool big5);

}  // namespace kedo
