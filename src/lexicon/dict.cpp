// Pronunciation dictionary, pinyin table and the lookups by word.
#include "lexicon/dict.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>

#include "lexicon/lexicon_util.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/unit_names.h"

namespace kedo {

namespace {
constexpr const char* kModule = "dict";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

template <class List>
int findByWord(const List& list, const std::string& word) {
    auto it = std::lower_bound(list.begin(), list.end(), word,
                               [](const auto& e, const std::string& w) { return e.word < w; });
    if (it == list.end() || it->word != word) return -1;
    return static_cast<int>(it - list.begin());
}

[[noreturn]] void missingPronunciation(const std::string& word, int line) {
    reportError(strFormat("Error: Found no pronunciation entry for \"%s\". Please add the pronunciation to "
                          "wpaAddendaFile. (line %d of file %s)",
                          word.c_str(), line, kModule),
                ErrorKind::unknownWord);
}
}  // namespace

int wpaFind(const wpaList& wpa, const std::string& word) { return findByWord(wpa, word); }

int pronDictFind(const pronDict& dict, const std::string& word) { return findByWord(dict, word); }

void textUnits(const std::string& text, const std::string& language, StrVec& units) {
    if (language == "chinese") {
        for (size_t i = 0; i + 1 < text.size(); i += 2) units.push_back(text.substr(i, 2));
    } else if (language == "english") {
        size_t start = units.size();
        strSplit(text, ' ', units, true);
        units.erase(std::remove_if(units.begin() + static_cast<long>(start), units.end(),
                                   [](const std::string& u) { return u.empty(); }),
                    units.end());
    } else if (language == "japanese") {
        units.insert(units.end(), text.size(), std::string("X"));
    }
}

void pronDictParse(const StrVec& lines, const modelSetView& models, pronDict& out) {
    out.clear();
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == '%') continue;
        size_t p = 0;
        while (p < line.size() && isBlank(line[p])) ++p;
        size_t wordEnd = p;
        while (wordEnd < line.size() && !isBlank(line[wordEnd])) ++wordEnd;
        if (wordEnd == p) continue;  // a blank line
        size_t restStart = wordEnd;
        while (restStart < line.size() && isBlank(line[restStart])) ++restStart;
        std::string rest = line.substr(restStart);
        strTrimRight(rest);
        if (rest.empty()) continue;  // a word without models spells nothing
        pronDictEntry e;
        e.word = line.substr(p, wordEnd - p);
        StrVec names;
        strSplit(rest, ' ', names);
        for (const std::string& name : names) {
            if (name.empty()) continue;  // runs of blanks separate like one
            e.models.push_back(models.findModel(name));
        }
        out.push_back(std::move(e));
    }
}

void dictClass::pronDictRead(const std::string& fileName, const modelSetView& models) {
    if (models.modelNum < 2)
        reportError(strFormat("Error in dictClass::pronDictRead when reading %s: Macro is too small (line %d in of %s)",
                              fileName.c_str(), __LINE__, kModule));
    if (!fileExists(fileName))
        reportError(strFormat("Unable to open %s (line %d in %s)", fileName.c_str(), __LINE__, kModule));
    StrVec lines;
    readDataLines(fileName, lines, '%');
    pronDictParse(lines, models, m_pronDict);
}

void dictClass::pinyinTableRead(const std::string& fileName) {
    StrVec lines;
    readDataLines(fileName, lines, 0);
    m_pinyinTable.clear();
    m_pinyinTable.reserve(lines.size());
    for (const std::string& line : lines) m_pinyinTable.push_back(strSplit(line, '\t'));
}

std::string dictClass::pinyinConvert(const std::string& syllable, int from, int to) const {
    if (from >= 0 && to >= 0) {
        for (const StrVec& row : m_pinyinTable) {
            if (static_cast<size_t>(from) < row.size() && static_cast<size_t>(to) < row.size() && row[from] == syllable)
                return row[to];
        }
    }
    if (!isNonSpeechUnit(syllable)) progressf("Warning: Cannot find %s in the pinyinTable!\n", syllable.c_str());
    return syllable;
}

std::string dictClass::convertSylPath(const std::string& path, int from, int to) const {
    StrVec parts = strSplit(path, '-');
    for (std::string& part : parts) part = pinyinConvert(part, from, to);
    return strVecJoin(parts, "-");
}

void dictClass::pronDictFromTexts(const StrVec& normTexts, const modelSetView& models, bool withFillers) {
    m_pronDict.clear();
    StrVec pas;
    StrVec words;
    for (const std::string& text : normTexts) {
        words.clear();
        textUnits(text.substr(0, text.find('\t')), "english", words);
        for (const std::string& w : words) {
            int pos = wpaFind(w);
            if (pos < 0 || m_wpa[pos].pas.empty()) missingPronunciation(w, __LINE__);
            pas.insert(pas.end(), m_wpa[pos].pas.begin(), m_wpa[pos].pas.end());
        }
    }
    pas.push_back("sil");
    pas.push_back("sp");
    if (withFillers) {
        pas.push_back("fillerC");
        pas.push_back("fillerV");
    }
    std::sort(pas.begin(), pas.end());
    pas.erase(std::unique(pas.begin(), pas.end()), pas.end());
    m_pronDict.reserve(pas.size());
    StrVec phones;
    for (const std::string& pa : pas) {
        pronDictEntry e;
        e.word = pa;
        strSplit(pa, '_', phones);
        for (size_t k = 0; k < phones.size(); ++k) {
            const std::string& ph = phones[k];
            // Text wpa files are checked as they are read; a binary one is not.
            if (ph.empty())
                reportError(strFormat("Error: the pronunciation \"%s\" has an empty phone (line %d of file %s)",
                                      pa.c_str(), __LINE__, kModule));
            std::string name;
            if (isNonSpeechUnit(ph))
                name = ph;
            else
                name = ph + "+" + (k + 1 < phones.size() ? phones[k + 1] : std::string("sil"));
            e.models.push_back(models.findModel(name));
        }
        m_pronDict.push_back(std::move(e));
    }
}

void dictClass::pronDictWrite(const std::string& fileName, const modelSetView& models) const {
    FilePtr f = openFile(fileName, "wb");
    std::string line;
    for (const pronDictEntry& e : m_pronDict) {
        line = e.word;
        line += '\t';
        for (size_t k = 0; k < e.models.size(); ++k) {
            if (k > 0) line += ' ';
            int32_t m = e.models[k];
            line += (m < 0 || m >= models.modelNum) ? std::string("???") : models.modelName(m);
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), f.get());
    }
}

void dictClass::wpaWriteUsed(const std::string& fileName, const StrVec& normTexts, const std::string& language) const {
    StrVec units;
    for (const std::string& text : normTexts) textUnits(text, language, units);
    std::sort(units.begin(), units.end());
    units.erase(std::unique(units.begin(), units.end()), units.end());
    std::vector<int> found;
    for (const std::string& u : units) {
        int pos = wpaFind(u);
        if (pos < 0) {
            progressf("Warning: Found no PA for \"%s\" in %s! (line %d in %s)\n", u.c_str(), fileName.c_str(),
                        __LINE__, kModule);
            continue;
        }
        found.push_back(pos);
    }
    std::sort(found.begin(), found.end());
    FilePtr f = openFile(fileName, "wb");
    std::string line;
    for (int pos : found) {
        const wpaEntry& e = m_wpa[pos];
        line = e.word + "\t" + strVecJoin(e.pas, "#") + "\n";
        std::fwrite(line.data(), 1, line.size(), f.get());
    }
}

}  // namespace kedo
