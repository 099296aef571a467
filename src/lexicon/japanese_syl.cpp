// Japanese syllable paths: romanised morae rewritten into dictionary units.
#include <cstdio>

#include "lexicon/text.h"
#include "util/progress.h"
#include "util/file_util.h"

namespace kedo {

namespace {
struct sylRule {
    const char* pattern;
    const char* replacement;
};

// Applied in this order: "_n" splits before the vowel rules, "-ts_" before
// "-ts_u", longer pause runs before shorter ones.
constexpr sylRule kJapaneseRules[] = {
    {"_n-", "-n-"},   {"-tsu(ts)", "-tsu"}, {"-su(s)", "-su"},   {"-ts_", "-tsu-"}, {"e_i-", "e-"},
    {"o_u-", "o-"},   {"a_a-", "a-"},       {"i_i-", "i-"},      {"u_u-", "u-"},    {"e_e_e-", "e-"},
    {"e_e-", "e-"},   {"o_o-", "o-"},       {"yu_yu-", "yu-"},   {"u_i-", "u-"},    {"a_u-", "a-"},
    {"-s_u", "-su"},  {"-ts_u", "-tsu"},    {"-#-#-#-", "-sil-"}, {"-#-#-", "-sil-"}, {"-#-", "-sil-"},
};
}  // namespace

void textClass::japaneseSylRules(std::string& sylPath) {
    StrVec fields = strSplit(sylPath, '\t');
    bool withPos = fields.size() == 2;
    std::string s = withPos ? fields[0] : sylPath;
    strToLower(s);
    if (s.size() >= 4 && s.compare(0, 4, "sil-") == 0) s.erase(0, 4);
    if (s.size() >= 4 && s.compare(s.size() - 4, 4, "-sil") == 0) s.erase(s.size() - 4);
    s = "-" + s + "-";
    for (const sylRule& r : kJapaneseRules) strReplaceAll(s, r.pattern, r.replacement);
    s = s.substr(1, s.size() - 2);
    sylPath = withPos ? s + "\t" + fields[1] : s;
}

void textClass::japaneseSyl(const recogParam& p) {
    if (p.language != "japanese") return;
    for (std::string& s : m_sylVs) japaneseSylRules(s);
    if (!p.outputDir.empty()) {
        std::string path = p.outputDir + "/output.syl";
        writeLines(path, m_sylVs);
        progressf("\t===> Saved %s for Japanese!\n", path.c_str());
    }
}

}  // namespace kedo
