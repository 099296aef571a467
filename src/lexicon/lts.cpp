// Letter-to-sound: walks the per-letter decision trees over the spelling, and
// derives "'s" forms from their stems.
#include "lexicon/lts.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>

#include "lexicon/lts_tables.h"

namespace kedo {

namespace {

// The letter `offset` places from position i of the padded word "#word#";
// '0' beyond the padding.
char letterAt(const std::string& padded, int i, int offset) {
    int j = i + offset;
    if (j < 0 || j >= static_cast<int>(padded.size())) return '0';
    return padded[static_cast<size_t>(j)];
}

bool isVoiceless(const std::string& phone) {
    return phone == "p" || phone == "t" || phone == "k" || phone == "f" || phone == "th";
}

bool isSibilant(const std::string& phone) {
    return phone == "s" || phone == "z" || phone == "sh" || phone == "zh" || phone == "ch" || phone == "jh";
}

}  // namespace

std::string ltsGuess(const std::string& word) {
    std::string letters;
    for (char c : word) {
        if (c == '\'') continue;
        if (c < 'a' || c > 'z') return "";
        letters += c;
    }
    if (letters.empty() || letters.size() > kLtsMaxLetters) return "";
    const std::string padded = "#" + letters + "#";
    std::string pa;
    for (int i = 1; i + 1 < static_cast<int>(padded.size()); ++i) {
        int32_t n = kLtsRoots[padded[static_cast<size_t>(i)] - 'a'];
        while (kLtsNodes[n].offset != 0) {
            const ltsNode& q = kLtsNodes[n];
            n = letterAt(padded, i, q.offset) == q.value ? q.yes : q.no;
        }
        const char* phones = kLtsPhones[kLtsNodes[n].yes];
        if (*phones == '\0') continue;
        if (!pa.empty()) pa += '_';
        pa += phones;
    }
    return pa;
}

std::string guessPronunciation(const wpaList& wpa, const std::string& word) {
    if (word.size() > 2 && word.compare(word.size() - 2, 2, "'s") == 0) {
        int stem = wpaFind(wpa, word.substr(0, word.size() - 2));
        if (stem >= 0 && !wpa[static_cast<size_t>(stem)].pas.empty()) {
            const std::string& pa = wpa[static_cast<size_t>(stem)].pas[0];
            size_t cut = pa.rfind('_');
            std::string last = cut == std::string::npos ? pa : pa.substr(cut + 1);
            if (isSibilant(last)) return pa + "_ih_z";
            return pa + (isVoiceless(last) ? "_s" : "_z");
        }
    }
    return ltsGuess(word);
}

void wpaGuessMissing(wpaList& wpa, const StrVec& normTexts, StrVec& warnings, StrVec* addedWords) {
    // An empty list is a set-up fault that the listing reports; guessing
    // every word would hide it.
    if (wpa.empty()) return;
    StrVec units;
    for (const std::string& t : normTexts) textUnits(t.substr(0, t.find('\t')), "english", units);
    std::sort(units.begin(), units.end());
    units.erase(std::unique(units.begin(), units.end()), units.end());
    wpaList guessed;
    for (const std::string& u : units) {
        if (wpaFind(wpa, u) >= 0) continue;
        std::string pa = guessPronunciation(wpa, u);
        if (pa.empty()) continue;
        std::string line = "No pronunciation entry for \"" + u + "\": guessed " + pa + " from its spelling";
        progressf("Warning: %s\n", line.c_str());
        warnings.push_back(std::move(line));
        if (addedWords) addedWords->push_back(u);
        guessed.push_back({u, {std::move(pa)}, {}});
    }
    if (guessed.empty()) return;
    wpa.insert(wpa.end(), guessed.begin(), guessed.end());
    wpaSortByWord(wpa);
}

}  // namespace kedo
