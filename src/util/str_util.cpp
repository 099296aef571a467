// String and string-list routines.
#include "util/str_util.h"

#include <cctype>
#include <climits>
#include <cmath>

namespace kedo {

namespace {
bool isTrimSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

void strTrimRight(std::string& s) {
    size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n')) --n;
    s.resize(n);
}

void strTrim(std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isTrimSpace(s[b])) ++b;
    while (e > b && isTrimSpace(s[e - 1])) --e;
    s = s.substr(b, e - b);
}

void strToLower(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

void strReplaceAll(std::string& s, const std::string& pattern, const std::string& replacement) {
    if (pattern.empty()) return;
    size_t pos = 0;
    while ((pos = s.find(pattern, pos)) != std::string::npos) {
        s.replace(pos, pattern.size(), replacement);
        pos += replacement.size();
    }
}

void strSplit(const std::string& s, char delim, StrVec& out, bool append) {
    if (!append) out.clear();
    if (s.empty()) return;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(delim, start);
        if (pos == std::string::npos) {
            out.push_back(s.substr(start));
            return;
        }
        out.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
}

StrVec strSplit(const std::string& s, char delim) {
    StrVec out;
    strSplit(s, delim, out, false);
    return out;
}

void strVecRemoveEmpty(StrVec& v) {
    std::erase_if(v, [](const std::string& x) { return x.empty(); });
}

std::string strVecJoin(const StrVec& v, const std::string& sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) out += sep;
        out += v[i];
    }
    return out;
}

std::string intVecJoin(const IntVec& v, const std::string& sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) out += sep;
        out += std::to_string(v[i]);
    }
    return out;
}

int32_t roundToInt(double value) {
    double r = value > 0 ? std::trunc(value + 0.5) : std::trunc(value - 0.5);
    if (!(r >= static_cast<double>(INT32_MIN))) return INT32_MIN;  // also NaN
    if (r > static_cast<double>(INT32_MAX)) return INT32_MAX;
    return static_cast<int32_t>(r);
}

IntVec strVecLinSearch(const StrVec& v, const std::string& target, MatchPos matchPos) {
    IntVec out;
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string& e = v[i];
        size_t pos = e.find(target);
        if (pos == std::string::npos) continue;
        bool match = false;
        switch (matchPos) {
            case MatchPos::anywhere: match = true; break;
            case MatchPos::atStart: match = pos == 0; break;
            case MatchPos::atEnd: match = pos + target.size() == e.size(); break;
            case MatchPos::whole: match = pos == 0 && e.size() == target.size(); break;
        }
        if (match) out.push_back(static_cast<int32_t>(i));
    }
    return out;
}

int32_t parseLeadingInt(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT32_MAX) + 1) v = static_cast<long long>(INT32_MAX) + 1;
    }
    if (neg) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<int32_t>(v);
}

bool strEndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace kedo
