// English number reading for text normalisation.
#include "lexicon/numbers.h"

#include <string>

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
// Bytes that a number's words are parted from by a blank: letters, digits and
// the bytes of non-ASCII letters.
bool isWordByte(char c) { return isLetter(c) || isDigit(c) || static_cast<unsigned char>(c) >= 0x80; }

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

// A currency sign written before an amount, in ASCII, Windows-1252 or UTF-8.
struct Currency {
    const char* sign;
    const char* one;
    const char* many;
    const char* subOne;
    const char* subMany;
};
const Currency kCurrencies[] = {
    {"$", "dollar", "dollars", "cent", "cents"},
    {"\xC2\xA3", "pound", "pounds", "penny", "pence"},
    {"\xA3", "pound", "pounds", "penny", "pence"},
    {"\xE2\x82\xAC", "euro", "euros", "cent", "cents"},
    {"\x80", "euro", "euros", "cent", "cents"},
};

// The currency whose sign starts at text[i] and is followed by a digit. A
// one-byte Windows-1252 sign right after a byte that leads a UTF-8 sequence
// is that sequence's tail ("\xC3\xA3" is "a" with a tilde), not a sign.
const Currency* currencyAt(const std::string& text, size_t i, size_t& signLength) {
    for (const Currency& c : kCurrencies) {
        size_t n = std::char_traits<char>::length(c.sign);
        if (n == 1 && static_cast<unsigned char>(c.sign[0]) >= 0x80 && i > 0 &&
            static_cast<unsigned char>(text[i - 1]) >= 0xC0)
            continue;
        if (text.compare(i, n, c.sign) == 0 && i + n < text.size() && isDigit(text[i + n])) {
            signLength = n;
            return &c;
        }
    }
    return nullptr;
}

// A clock time "h:mm" or "hh:mm" at text[i] (hours 0-24, minutes 00-59, not
// part of a longer run of digits and colons), read "seven thirty", "seven oh
// five", "seven o'clock" or, past twelve, "nineteen hundred".
bool clockTimeAt(const std::string& text, size_t& i, std::string& words) {
    size_t h = i;
    while (h < text.size() && isDigit(text[h])) ++h;
    if (h - i < 1 || h - i > 2 || h + 3 > text.size() || text[h] != ':' || !isDigit(text[h + 1]) ||
        !isDigit(text[h + 2]))
        return false;
    size_t end = h + 3;
    if (end < text.size() && (isDigit(text[end]) || (text[end] == ':' && end + 1 < text.size() &&
                                                     isDigit(text[end + 1]))))
        return false;
    int hours = std::stoi(text.substr(i, h - i));
    int minutes = (text[h + 1] - '0') * 10 + (text[h + 2] - '0');
    if (hours > 24 || minutes > 59) return false;
    words = cardinalWords(static_cast<uint64_t>(hours));
    if (minutes == 0) {
        words += hours <= 12 ? " o'clock" : " hundred";
    } else {
        words += minutes < 10 ? " oh " : " ";
        words += cardinalWords(static_cast<uint64_t>(minutes));
    }
    i = end;
    return true;
}

// "thousand", "million", ... written after an amount ("$5 million"), with the
// blank before it; its length, or 0.
size_t scaleWordAt(const std::string& text, size_t i) {
    if (i >= text.size() || text[i] != ' ') return 0;
    for (int g = 1; g < 5; ++g) {
        size_t n = std::char_traits<char>::length(kScales[g]);
        if (text.compare(i + 1, n, kScales[g]) == 0 && (i + 1 + n >= text.size() || !isLetter(text[i + 1 + n])))
            return n + 1;
    }
    return 0;
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
        size_t signLength = 0;
        const Currency* currency = currencyAt(text, i, signLength);
        if (currency) {
            i += signLength;
        } else if (!isDigit(text[i])) {
            out += text[i++];
            continue;
        }
        std::string clock;
        if (!currency && clockTimeAt(text, i, clock)) {
            if (!out.empty() && isWordByte(out.back())) out += ' ';
            out += clock;
            if (i < text.size() && isWordByte(text[i])) out += ' ';
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
        const bool spelt = leadingZero || digits.size() > 15;
        const uint64_t value = spelt ? 0 : std::stoull(digits);
        std::string words;
        if (spelt) {
            words = digitByDigit(digits);
        } else {
            if (currency) {
                words = cardinalWords(value);
            } else if (decimals.empty() &&
                       (suffixIs("st", 2) || suffixIs("nd", 2) || suffixIs("rd", 2) || suffixIs("th", 2))) {
                words = ordinalWords(value);
                i += 2;
            } else if (decimals.empty() && !commas && digits.size() == 4) {
                words = yearWords(value);
            } else {
                words = cardinalWords(value);
            }
        }
        if (currency) {
            // "$3.50" three dollars fifty cents, "$0.99" ninety nine cents,
            // "$1.5 million" one point five million dollars.
            size_t scale = scaleWordAt(text, i);
            bool cents = decimals.size() == 2 && !scale;
            if (!decimals.empty() && !cents) words += " point " + digitByDigit(decimals);
            if (scale) {
                words += text.substr(i, scale);
                i += scale;
            }
            bool whole = spelt || value != 0;
            bool single = !spelt && value == 1 && (decimals.empty() || cents) && !scale;
            int sub = cents ? (decimals[0] - '0') * 10 + (decimals[1] - '0') : 0;
            if (whole || sub == 0)
                words += std::string(" ") + (single ? currency->one : currency->many);
            else
                words.clear();
            if (sub > 0) {
                if (!words.empty()) words += ' ';
                words += cardinalWords(static_cast<uint64_t>(sub));
                words += std::string(" ") + (sub == 1 ? currency->subOne : currency->subMany);
            }
        } else if (!decimals.empty()) {
            words += " point " + digitByDigit(decimals);
        }
        // An amount takes no plural "s" and no "%".
        if (!currency && decimals.empty() && suffixIs("s", 1) && digits.back() == '0') {
            words = pluralOfLast(words);
            i += 1;
        } else if (!currency && i < text.size() && text[i] == '%') {
            words += " percent";
            i += 1;
        }
        // Blanks part the words from letters, digits and non-ASCII bytes only.
        if (!out.empty() && isWordByte(out.back())) out += ' ';
        out += words;
        if (i < text.size() && isWordByte(text[i])) out += ' ';
    }
    return out;
}

}  // namespace kedo
