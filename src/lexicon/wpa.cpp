// The wpa readers (text layouts, binary, inline string), addenda and merge.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "lexicon/dict.h"
#include "util/progress.h"
#include "lexicon/lexicon_util.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "dict";

[[noreturn]] void wrongFormat(const std::string& what, const std::string& line, size_t fields, int srcLine) {
    progressf("line = %s (line=%d, file=%s)\n", line.c_str(), srcLine, kModule);
    progressf("token1.size() = %d (line=%d, file=%s)\n", static_cast<int>(fields), srcLine, kModule);
    reportError(strFormat("Wrong format of %s (line %d in %s)", what.c_str(), srcLine, kModule));
}

// The PA list of a field: split at "#", empty PAs dropped.
StrVec splitPas(const std::string& field) {
    StrVec pas = strSplit(field, '#');
    strVecRemoveEmpty(pas);
    return pas;
}

// English PAs join phones with "_"; an empty phone ("a__b", a leading or
// trailing "_") would name no model. The line is refused, naming the source.
void checkEnglishPas(const StrVec& pas, const std::string& line, const std::string& sourceName, int srcLine) {
    for (const std::string& pa : pas) {
        if (pa.front() == '_' || pa.back() == '_' || pa.find("__") != std::string::npos)
            reportError(strFormat("Error: the pronunciation \"%s\" has an empty phone, in line \"%s\" of %s (line %d in "
                                  "%s)",
                                  pa.c_str(), line.c_str(), sourceName.c_str(), srcLine, kModule));
    }
}

// A pinyin table row number of a Chinese wpa line: decimal digits naming a
// row with the dictionary column.
const std::string& pinyinOfRow(const std::string& number, const std::vector<StrVec>& table,
                               const std::string& sourceName, const std::string& line) {
    std::string n = number;
    strTrim(n);
    long row = 0;
    bool ok = !n.empty() && n.size() <= 9;
    for (char c : n) ok = ok && c >= '0' && c <= '9';
    if (ok) row = std::strtol(n.c_str(), nullptr, 10);
    if (!ok || row < 1 || row > static_cast<long>(table.size()) ||
        table[row - 1].size() <= static_cast<size_t>(dictClass::kDictColumn))
        reportError(strFormat("Error: Invalid pinyin table row \"%s\" (table size %d) in \"%s\" of %s (line %d in %s)",
                              number.c_str(), static_cast<int>(table.size()), line.c_str(), sourceName.c_str(),
                              __LINE__, kModule));
    return table[row - 1][dictClass::kDictColumn];
}

// Little-endian reads from a byte image with bounds checks.
class byteReader {
public:
    byteReader(const std::string& bytes, const std::string& name) : bytes_(bytes), name_(name) {}
    int32_t int32(const char* what) {
        need(4, what);
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes_[pos_ + i]);
        pos_ += 4;
        return static_cast<int32_t>(v);
    }
    void text(int32_t len, int32_t maxLen, const char* what, std::string& s) {
        if (len < 0 || len > maxLen)
            reportError(strFormat("Error in reading \"%s\": %s length %d at byte %zu is outside 0..%d (line %d of %s)",
                                  name_.c_str(), what, len, pos_ - 4, maxLen, __LINE__, kModule));
        need(static_cast<size_t>(len), what);
        s.assign(bytes_.data() + pos_, static_cast<size_t>(len));
        pos_ += static_cast<size_t>(len);
    }
    size_t remaining() const { return bytes_.size() - pos_; }

private:
    void need(size_t n, const char* what) {
        if (bytes_.size() - pos_ < n)
            reportError(strFormat("Error in reading \"%s\": the file ends inside %s at byte %zu (line %d of %s)",
                                  name_.c_str(), what, pos_, __LINE__, kModule));
    }
    const std::string& bytes_;
    const std::string& name_;
    size_t pos_ = 0;
};
}  // namespace

void wpaParseText(const StrVec& lines, const std::string& language, const std::vector<StrVec>& pinyinTable,
                  const std::string& sourceName, wpaList& out) {
    out.clear();
    bool chinese = language == "chinese";
    if (!chinese && language != "english") return;
    size_t wanted = chinese ? 5 : 2;
    StrVec fields;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == '%') continue;
        strSplit(line, '\t', fields);
        if (fields.size() != wanted) wrongFormat(sourceName, line, fields.size(), __LINE__);
        wpaEntry e;
        e.word = fields[0];
        if (chinese) {
            StrVec rows = strSplit(fields[1], ',');
            for (const std::string& r : rows) e.pas.push_back(pinyinOfRow(r, pinyinTable, sourceName, line));
            strSplit(fields[3], ',', e.aux);
        } else {
            e.pas = splitPas(fields[1]);
            checkEnglishPas(e.pas, line, sourceName, __LINE__);
        }
        out.push_back(std::move(e));
    }
}

void wpaParseBinary(const std::string& bytes, const std::string& sourceName, wpaList& out) {
    out.clear();
    byteReader in(bytes, sourceName);
    int32_t count = in.int32("the entry count");
    if (count < 0)
        reportError(strFormat("Error in reading \"%s\": negative entry count %d (line %d of %s)", sourceName.c_str(),
                              count, __LINE__, kModule));
    out.reserve(std::min(static_cast<size_t>(count), in.remaining() / 8) * 9 / 8);  // and for some addenda
    for (int32_t i = 0; i < count; ++i) {
        wpaEntry& e = out.emplace_back();
        in.text(in.int32("a word length"), MAX_WPAB_WORD_LEN, "word", e.word);
        int32_t paCount = in.int32("a PA count");
        if (paCount < 0)
            reportError(strFormat("Error in reading \"%s\": negative PA count %d in entry %d (line %d of %s)",
                                  sourceName.c_str(), paCount, i, __LINE__, kModule));
        // An entry takes eight bytes at least in the file, a PA four.
        e.pas.reserve(std::min(static_cast<size_t>(paCount), in.remaining() / 4));
        for (int32_t k = 0; k < paCount; ++k) {
            in.text(in.int32("a PA length"), MAX_WPAB_PA_LEN, "PA", e.pas.emplace_back());
        }
    }
}

void wpaParseInline(const std::string& content, const std::string& language, wpaList& out) {
    out.clear();
    progressf("Read WPA from the given string (line %d in %s)...\n", __LINE__, kModule);
    if (language != "english")
        reportError(strFormat("Unsupported language %s (line %d in %s)", language.c_str(), __LINE__, kModule));
    StrVec entries = strSplit(content, '@');
    StrVec fields;
    for (const std::string& entry : entries) {
        if (entry.empty() || entry[0] == '%') continue;
        strSplit(entry, ' ', fields);
        if (fields.size() != 2) wrongFormat(entry, entry, fields.size(), __LINE__);
        wpaEntry e;
        e.word = fields[0];
        e.pas = splitPas(fields[1]);
        checkEnglishPas(e.pas, entry, "the given wpa string", __LINE__);
        out.push_back(std::move(e));
    }
}

void dictClass::wpaRead(const std::string& source, const std::string& language) {
    if (!fileExists(source)) {
        wpaParseInline(source, language, m_wpa);
        return;
    }
    std::string ext = fileExtension(source);
    if (ext == "wpab" || ext == "WPAB") {
        wpaParseBinary(readFileBytes(source), source, m_wpa);
    } else if (ext == "wpa" || ext == "WPA") {
        StrVec lines;
        readDataLines(source, lines, '%');
        wpaParseText(lines, language, m_pinyinTable, source, m_wpa);
    } else {
        reportError(strFormat("Error in reading \"%s\": The only allowed extension are \"wpa\" and \"wpab\" (line %d "
                              "of %s) \n",
                              source.c_str(), __LINE__, kModule));
    }
}

void dictClass::wpaAddendaRead(const std::string& fileName, const std::string& language) {
    m_wpaAddenda.clear();
    if (fileName.empty()) return;
    StrVec lines;
    readDataLines(fileName, lines, '%');
    wpaParseText(lines, language, m_pinyinTable, fileName, m_wpaAddenda);
}

void dictClass::wpaMerge() {
    // The base list is in file order (sorted); the entries appended here sit
    // behind it unsorted, so they are found through their own index.
    const size_t baseSize = m_wpa.size();
    m_wpa.reserve(baseSize + m_wpaAddenda.size());
    std::unordered_map<std::string, size_t> appended;
    for (wpaEntry& add : m_wpaAddenda) {
        auto it = std::lower_bound(m_wpa.begin(), m_wpa.begin() + static_cast<long>(baseSize), add.word,
                                   [](const wpaEntry& e, const std::string& w) { return e.word < w; });
        long pos = -1;
        if (it != m_wpa.begin() + static_cast<long>(baseSize) && it->word == add.word) {
            pos = it - m_wpa.begin();
        } else if (auto a = appended.find(add.word); a != appended.end()) {
            pos = static_cast<long>(a->second);
        }
        if (pos >= 0) {
            wpaEntry& old = m_wpa[static_cast<size_t>(pos)];
            progressf("\tOld entry: word=%s, pa=%s\n", old.word.c_str(), strVecJoin(old.pas, "#").c_str());
            progressf("\tNew entry: word=%s, pa=%s\n", add.word.c_str(), strVecJoin(add.pas, "#").c_str());
            old = std::move(add);
        } else {
            appended.emplace(add.word, m_wpa.size());
            m_wpa.push_back(std::move(add));
        }
    }
    m_wpaAddenda.clear();
}

void wpaSortByWord(wpaList& wpa) {
    auto less = [](const wpaEntry& a, const wpaEntry& b) { return a.word < b.word; };
    // The usual case: a sorted table with a few entries appended behind it.
    // When no word is there twice, the sorted order is unique: sorting the
    // tail and merging it in gives the very order of a full sort, at a
    // fraction of its cost. Otherwise (or when the front is not strictly
    // sorted) the full sort, whose order of equal words is its own.
    const auto strictlyAfter = [](const wpaEntry& a, const wpaEntry& b) { return !(a.word < b.word); };
    const auto front = std::adjacent_find(wpa.begin(), wpa.end(), strictlyAfter);
    if (front == wpa.end()) return;
    const auto tailBegin = front + 1;
    const size_t tailSize = static_cast<size_t>(wpa.end() - tailBegin);
    bool unique = tailSize <= wpa.size() / 8;
    if (unique) {
        std::vector<const std::string*> tail;
        tail.reserve(tailSize);
        for (auto it = tailBegin; it != wpa.end(); ++it) tail.push_back(&it->word);
        std::sort(tail.begin(), tail.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
        for (size_t i = 0; unique && i < tail.size(); ++i) {
            if (i > 0 && *tail[i - 1] == *tail[i]) unique = false;
            auto at = std::lower_bound(wpa.begin(), tailBegin, *tail[i],
                                       [](const wpaEntry& e, const std::string& w) { return e.word < w; });
            if (at != tailBegin && at->word == *tail[i]) unique = false;
        }
    }
    if (!unique) {
        std::sort(wpa.begin(), wpa.end(), less);
        return;
    }
    std::sort(tailBegin, wpa.end(), less);
    std::inplace_merge(wpa.begin(), tailBegin, wpa.end(), less);
}

void dictClass::wpaSort() { wpaSortByWord(m_wpa); }

}  // namespace kedo
