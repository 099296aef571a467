// The lexicon steps of a run, with their timing and "Saved" lines.
#include "lexicon/lexicon_stage.h"
#include "util/progress.h"

#include <cstdio>

#include "lexicon/lts.h"
#include "util/data_cache.h"
#include "util/file_util.h"
#include "util/report_error.h"
#include "util/timing.h"

namespace kedo {

namespace {
constexpr const char* kModule = "recogTask";

void saved(const std::string& path) { progressf("\t===> Saved %s\n", path.c_str()); }
}  // namespace

void loadDictionaries(const recogParam& p, dictClass& dict, const modelSetView& models) {
    const std::string& lang = p.language;
    long start = processorTicks();
    if (lang == "chinese" || lang == "japanese") {
        dict.pronDictRead(p.dicFile, models);
        progressf("%4.3f sec: Read pam \"%s\" (m_pronDict.size()=%d)\n", secondsSince(start), p.dicFile.c_str(),
                    static_cast<int>(dict.m_pronDict.size()));
    }
    if (lang == "chinese") {
        start = processorTicks();
        dict.pinyinTableRead(p.pyTableFile);
        progressf("%4.3f sec: Read pinyinTable \"%s\" (myDict.m_pinyinTable.size()=%d)\n", secondsSince(start),
                    p.pyTableFile.c_str(), static_cast<int>(dict.m_pinyinTable.size()));
    }
    if (lang == "chinese" || lang == "english") {
        start = processorTicks();
        dict.wpaRead(p.wpaFile, lang);
        progressf("%4.3f sec: Read wpa \"%s\" (myDict.m_wpa.size()=%d)\n", secondsSince(start), p.wpaFile.c_str(),
                    static_cast<int>(dict.m_wpa.size()));
    }
    if (lang == "english") {
        start = processorTicks();
        dict.wpaAddendaRead(p.wpaAddendaFile, lang);
        progressf("%4.3f sec: Read wpaAddenda \"%s\" (myDict.m_wpaAddenda.size()=%d)\n", secondsSince(start),
                    p.wpaAddendaFile.c_str(), static_cast<int>(dict.m_wpaAddenda.size()));
        if (!dict.m_wpaAddenda.empty()) {
            start = processorTicks();
            dict.wpaMerge();
            progressf("%4.3f sec: wpaMerge (myDict.m_wpa.size()=%d)\n", secondsSince(start),
                        static_cast<int>(dict.m_wpa.size()));
            start = processorTicks();
            dict.wpaSort();
            progressf("%4.3f sec: Sort myDict.m_wpa\n", secondsSince(start));
        }
    }
}

namespace {
// The dictionaries as loadDictionaries leaves them, kept between calls.
struct KeptDictionaries {
    dictClass dict;
    size_t wpaSize = 0;        // of the word table when it is at home
    bool uniqueWords = false;  // no word twice: guessed words can be taken out again
    bool lent = false;
    size_t bytes = 0;          // the memory it takes, measured once
};

size_t stringBytes(const std::string& s) { return sizeof(std::string) + (s.capacity() > 15 ? s.capacity() : 0); }
size_t listBytes(const StrVec& v) {
    size_t n = sizeof(StrVec) + (v.capacity() - v.size()) * sizeof(std::string);
    for (const std::string& s : v) n += stringBytes(s);
    return n;
}

size_t entryBytes(const wpaEntry& e) {
    return sizeof(e) + stringBytes(e.word) + listBytes(e.pas) + listBytes(e.aux);
}

// Measures the dictionaries and tells whether the word table holds every
// word once, in one pass over the large table.
void measureKept(KeptDictionaries& k) {
    const dictClass& d = k.dict;
    size_t n = sizeof(k);
    for (const pronDictEntry& e : d.m_pronDict) n += stringBytes(e.word) + sizeof(e) + e.models.capacity() * 4;
    k.uniqueWords = true;
    const wpaEntry* previous = nullptr;
    for (const wpaEntry& e : d.m_wpa) {
        n += entryBytes(e);
        if (previous != nullptr && !(previous->word < e.word)) k.uniqueWords = false;
        previous = &e;
    }
    for (const wpaEntry& e : d.m_wpaAddenda) n += entryBytes(e);
    for (const StrVec& row : d.m_pinyinTable) n += listBytes(row);
    k.wpaSize = d.m_wpa.size();
    k.bytes = n;
}
}  // namespace

DictionaryLoan::DictionaryLoan(dictClass& dict, std::shared_ptr<void> kept) : m_dict(dict), m_kept(std::move(kept)) {}

DictionaryLoan::~DictionaryLoan() {
    auto* kept = static_cast<KeptDictionaries*>(m_kept.get());
    if (kept == nullptr) return;
    wpaList& wpa = m_dict.m_wpa;
    if (kept->uniqueWords) {
        for (const std::string& word : m_dict.m_guessedWords) {
            const int pos = kedo::wpaFind(wpa, word);
            if (pos >= 0) wpa.erase(wpa.begin() + pos);
        }
    }
    // A table that cannot be put back as it was stays with the run; the
    // entry then reads its files again next time.
    if (wpa.size() == kept->wpaSize) {
        kept->dict.m_wpa.swap(wpa);
        kept->lent = false;
    }
}

std::unique_ptr<DictionaryLoan> loadDictionariesKept(const recogParam& p, dictClass& dict,
                                                     const modelSetView& models) {
    if (currentDataCache() == nullptr) {
        loadDictionaries(p, dict, models);
        return nullptr;
    }
    const std::string kind = "dictionaries " + p.language;
    const std::vector<std::string> files = {p.dicFile,        p.pyTableFile, p.wpaFile,
                                            p.wpaAddendaFile, p.macFile,     p.modelCountFile};
    std::shared_ptr<KeptDictionaries> kept = cachedLoad<KeptDictionaries>(
        kind, files,
        [&] {
            auto k = std::make_shared<KeptDictionaries>();
            loadDictionaries(p, k->dict, models);
            measureKept(*k);
            return k;
        },
        [](const KeptDictionaries& k) { return k.bytes; });
    if (kept->lent) {
        // Still out with another run of this engine (cannot happen while
        // runs take turns): read a copy of our own.
        loadDictionaries(p, dict, models);
        return nullptr;
    }
    dict.m_pronDict = kept->dict.m_pronDict;
    dict.m_pinyinTable = kept->dict.m_pinyinTable;
    dict.m_wpaAddenda = kept->dict.m_wpaAddenda;
    dict.m_wpa.clear();
    dict.m_wpa.swap(kept->dict.m_wpa);
    dict.m_guessedWords.clear();
    kept->lent = true;
    return std::make_unique<DictionaryLoan>(dict, kept);
}

void prepareTexts(const recogParam& p, dictClass& dict, textClass& text, const modelSetView& models,
                  StrVec* warnings) {
    const std::string& lang = p.language;
    if (p.tnmFile.empty())
        reportError(strFormat("Error: recogParam.tnmFile is not specified! (line %d in %s)", __LINE__, kModule));
    long start = processorTicks();
    text.readTextNormMap(p.tnmFile, '#');
    progressf("%4.3f sec: Read text normalization mapping file \"%s\" (myText.m_textNormSp.size()=%d)\n",
                secondsSince(start), p.tnmFile.c_str(), static_cast<int>(text.m_textNormSp.size()));

    start = processorTicks();
    text.readText(p.txtFile);
    progressf("%4.3f sec: Read text \"%s\" (m_txtVs.size()=%d)\n", secondsSince(start), p.txtFile.c_str(),
                static_cast<int>(text.m_txtVs.size()));

    start = processorTicks();
    text.normalizeTexts(lang);
    progressf("%4.3f sec: text normalization (m_txtVsNormalized.size()=%d)\n", secondsSince(start),
                static_cast<int>(text.m_txtVsNormalized.size()));
    if (!p.outputDir.empty()) {
        std::string path = p.outputDir + "/output.nt";
        writeLines(path, text.m_txtVsNormalized);
        saved(path);
    }

    if (lang == "english") {
        StrVec guessed;
        wpaGuessMissing(dict.m_wpa, text.m_txtVsNormalized, guessed, &dict.m_guessedWords);
        if (warnings) warnings->insert(warnings->end(), guessed.begin(), guessed.end());
    }

    start = processorTicks();
    if (p.sylFile.empty()) {
        if (p.netType == 0) {
            if (lang == "chinese")
                text.textsToSylChinese(dict.m_wpa);
            else if (lang == "english")
                text.textsToSylEnglish(dict.m_wpa);
            else if (lang == "japanese")
                reportError(strFormat("This is not allowed for Japanese! (line %d, file %s)", __LINE__, kModule));
        }
        progressf("%4.3f sec: Texts to phonetic alphabets by exhaustive listing\n", secondsSince(start));
        progressf("\tNo. of text entries = %d, no. of PA entries = %d\n", static_cast<int>(text.m_txtVs.size()),
                    static_cast<int>(text.m_sylVs.size()));
        if (!p.outputDir.empty()) {
            std::string path = p.outputDir + "/output.syl";
            writeLines(path, text.m_sylVs);
            saved(path);
        }
    } else {
        text.readSyl(p.sylFile);
        text.japaneseSyl(p);
        progressf("%4.3f sec: Read syl \"%s\" (Size=%d)\n", secondsSince(start), p.sylFile.c_str(),
                    static_cast<int>(text.m_sylVs.size()));
    }

    if (p.function == "assess" && p.usePaddedHardSp == 1) text.addBetweenSyllables("-sp-");

    if (lang == "english") {
        start = processorTicks();
        // Keyword spotting loops fillers around the keywords (the tree net's
        // filler mode), so their words must be in the dictionary.
        dict.pronDictFromTexts(text.m_txtVsNormalized, models, p.function == "recog" && p.comparisonMode == 3);
        progressf("%4.3f sec: Create m_pronDict from m_txtVs. (m_pronDict.size() = %d)\n", secondsSince(start),
                    static_cast<int>(dict.m_pronDict.size()));
        if (!p.outputDir.empty()) {
            std::string path = p.outputDir + "/output.dic";
            dict.pronDictWrite(path, models);
            saved(path);
        }
    }
}

void saveUsedWpa(const recogParam& p, const dictClass& dict, const textClass& text) {
    if (p.language == "japanese" || p.outputDir.empty()) return;
    std::string path = p.outputDir + "/output.wpa";
    dict.wpaWriteUsed(path, text.m_txtVsNormalized, p.language);
    progressf("\t===> Saved wpa file %s\n", path.c_str());
}

}  // namespace kedo
