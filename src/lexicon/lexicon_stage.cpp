// The lexicon steps of a run, with their timing and "Saved" lines.
#include "lexicon/lexicon_stage.h"
#include "util/progress.h"

#include <cstdio>

#include "lexicon/lts.h"
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
        wpaGuessMissing(dict.m_wpa, text.m_txtVsNormalized, guessed);
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
