// English number reading for text normalisation.
#include "lexicon/numbers.h"

namespace kedo {

namespace {

const char* const kOnes[] = {"zero",    "one",     "two",       "three",    "four",     "five",    "six",
                             "seven",   "eight",   "nine",      "ten",      "eleven",   "twelve",  "thirteen",
                             "fourteen", "fifteen", "sixteen",  "seventeen", "eighteen", "nineteen"};
const char* const kTens[] = {"", "", "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety"};
const char* const kScales[] = {"", "thousand", "million", "billion", "trillion"};

constexpr uint64_t kMaxCardinal = 999999999999999ULL;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return c >= 'a' && c <= 'z'; }

void append(std::string& out, const std::string& word) {
    if (!out.empty()) out += ' ';
    out += word;
}

// 1..999
void underThousand(uint64_t n, std::string& out) {
    if (n >= 100) {
        append(out, kOnes[n / 100]);
        append(out, "hundred");
        n %= 100;
    }
    if (n >= 20) {
        append(out, kTens[n / 10]);
        n %= 10;
    }
    if (n > 0) append(out, kOnes[n]);
}

// The last word of words turned from cardinal to ordinal.
std::string ordinalOfLast(const std::string& words) {
    size_t cut = words.rfind(' ');
    std::string head = cut == std::string::npos ? "" : words.substr(0, cut + 1);
    std::string last = cut == std::string::npos ? words : words.substr(cut + 1);
    static const char* const kIrregular[][2] = {{"one", "first"},   {"two", "second"}, {"three", "third"},
                                                {"five", "fifth"},  {"eight", "eighth"}, {"nine", "ninth"},
                                                {"twelve", "twelfth"}};
    for (const auto& pair : kIrregular)
        if (last == pair[0]) return head + pair[1];
    if (last.back() == 'y') return head + last.substr(0, last.size() - 1) + "ieth";
    return head + last + "th";
}

// The last word of words in the plural ("nineties", "sixes").
std::string pluralOfLast(const std::string& words) {
    if (words.back() == 'y') return words.substr(0, words.size() - 1) + "ies";
    if (words.back() == 'x') return words + "es";
    return words + "s";
}

std::string digitByDigit(const std::string& digits) {
    std::string out;
    for (char c : digits)
        if (isDigit(c)) append(out, kOnes[c - '0']);
    return out;
}

}  // namespace

std::string cardinalWords(uint64_t n) {
    if (n == 0) return kOnes[0];
    if (n > kMaxCardinal) return digitByDigit(std::to_string(n));
    uint64_t groups[5] = {};
    for (int g = 0; g < 5; ++g) {
        groups[g] = n % 1000;
        n /= 1000;
    }
    std::string out;
    for (int g = 4; g >= 0; --g) {
        if (groups[g] == 0) continue;
        underThousand(groups[g], out);
        if (g > 0) append(out, kScales[g]);
    }
    return out;
}

std::string ordinalWords(uint64_t n) { return ordinalOfLast(cardinalWords(n)); }

std::string yearWords(uint64_t year) {
    if (year < 1100 || year > 2099 || (year >= 2000 && year < 2010)) return cardinalWords(year);
    uint64_t hi = year / 100, lo = year % 100;
    std::string out = cardinalWords(hi);
    if (lo == 0) return out + " hundred";
    if (lo < 10) return out + " oh " + cardinalWords(lo);
    return out + " " + cardinalWords(lo);
}

std::string numbersToWords(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (!isDigit(text[i])) {
            out += text[i++];
            continue;
        }
        // The integer part, with thousands commas only after a first group of
        // one to three digits and only in whole groups of three.
        size_t start = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        std::string digits = text.substr(start, i - start);
        bool commas = false;
        if (digits.size() <= 3) {
            while (i + 3 < text.size() && text[i] == ',' && isDigit(text[i + 1]) && isDigit(text[i + 2]) &&
                   isDigit(text[i + 3]) && (i + 4 >= text.size() || !isDigit(text[i + 4]))) {
                digits += text.substr(i + 1, 3);
                i += 4;
                commas = true;
            }
        }
        std::string decimals;
        if (i + 1 < text.size() && text[i] == '.' && isDigit(text[i + 1])) {
            size_t d = i + 1;
            while (d < text.size() && isDigit(text[d])) ++d;
            decimals = text.substr(i + 1, d - i - 1);
            i = d;
        }
        auto suffixIs = [&](const char* s, size_t len) {
            return text.compare(i, len, s) == 0 && (i + len >= text.size() || !isLetter(text[i + len]));
        };
        bool leadingZero = digits.size() > 1 && digits[0] == '0';
        std::string words;
        if (leadingZero || digits.size() > 15) {
            words = digitByDigit(digits);
        } else {
            uint64_t value = std::stoull(digits);
            if (decimals.empty() &&
                (suffixIs("st", 2) || suffixIs("nd", 2) || suffixIs("rd", 2) || suffixIs("th", 2))) {
                words = ordinalWords(value);
                i += 2;
            } else if (decimals.empty() && !commas && digits.size() == 4) {
                words = yearWords(value);
            } else {
                words = cardinalWords(value);
            }
        }
        if (!decimals.empty()) words += " point " + digitByDigit(decimals);
        if (decimals.empty() && suffixIs("s", 1) && digits.back() == '0') {
            words = pluralOfLast(words);
            i += 1;
        } else if (i < text.size() && text[i] == '%') {
            words += " percent";
            i += 1;
        }
        // Blanks part the words from letters and digits only.
        if (!out.empty() && (isLetter(out.back()) || isDigit(out.back()))) out += ' ';
        out += words;
        if (i < text.size() && (isLetter(text[i]) || isDigit(text[i]))) out += ' ';
    }
    return out;
}

}  // namespace kedo
