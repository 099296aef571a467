// Fuzzes the XML result document with arbitrary bytes in every string it
// carries: the document must always be well-formed, in its Big5 and its UTF-8
// form alike (checked with libxml2's parser, which decodes "big5" through the
// system converter).
#include <libxml/parser.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "scoring/xml_result.h"

namespace {

// Splits the input at 0xFF bytes into up to six strings.
kedo::StrVec pieces(const uint8_t* data, size_t size) {
    kedo::StrVec out(6);
    size_t k = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && k + 1 < out.size())
            ++k;
        else
            out[k] += static_cast<char>(data[i]);
    }
    return out;
}

void checkWellFormed(const std::string& doc) {
    xmlDocPtr parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "output.xml", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (parsed == nullptr) {
        std::fwrite(doc.data(), 1, doc.size(), stderr);
        std::abort();
    }
    xmlFreeDoc(parsed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kedo::StrVec s = pieces(data, size);
    kedo::mlfClass mlf;
    mlf.textItems = {s[0]};
    mlf.sylItems = {s[1]};
    kedo::mlfNode node;
    node.name = s[2];
    node.text = s[3];
    kedo::mlfPhone phone;
    phone.name = s[4];
    phone.competingModelIndex = {0, 1};
    phone.competingModelLogLike = {-1, -2};
    node.phones.push_back(phone);
    mlf.nodes.push_back(node);
    const kedo::StrVec models = {s[5], s[4]};
    kedo::recogParam p;
    for (const char* language : {"chinese", "english"}) {
        p.language = language;
        checkWellFormed(kedo::xmlDocument(mlf, models, p));
    }
    return 0;
}
