// English numbers in words, alone and inside the normalisation of a text.
#include <gtest/gtest.h>

#include "lexicon/numbers.h"
#include "lexicon/text.h"

using namespace kedo;

namespace {

TEST(NumberWords, Cardinals) {
    EXPECT_EQ(cardinalWords(0), "zero");
    EXPECT_EQ(cardinalWords(7), "seven");
    EXPECT_EQ(cardinalWords(13), "thirteen");
    EXPECT_EQ(cardinalWords(20), "twenty");
    EXPECT_EQ(cardinalWords(42), "forty two");
    EXPECT_EQ(cardinalWords(100), "one hundred");
    EXPECT_EQ(cardinalWords(105), "one hundred five");
    EXPECT_EQ(cardinalWords(1000), "one thousand");
    EXPECT_EQ(cardinalWords(1000001), "one million one");
    EXPECT_EQ(cardinalWords(2000300), "two million three hundred");
    EXPECT_EQ(cardinalWords(999999999999999ULL),
              "nine hundred ninety nine trillion nine hundred ninety nine billion nine hundred ninety nine million "
              "nine hundred ninety nine thousand nine hundred ninety nine");
    EXPECT_EQ(cardinalWords(1000000000000000ULL), "one zero zero zero zero zero zero zero zero zero zero zero zero zero "
                                                  "zero zero");
}

TEST(NumberWords, OrdinalsAndYears) {
    EXPECT_EQ(ordinalWords(1), "first");
    EXPECT_EQ(ordinalWords(2), "second");
    EXPECT_EQ(ordinalWords(3), "third");
    EXPECT_EQ(ordinalWords(4), "fourth");
    EXPECT_EQ(ordinalWords(5), "fifth");
    EXPECT_EQ(ordinalWords(8), "eighth");
    EXPECT_EQ(ordinalWords(9), "ninth");
    EXPECT_EQ(ordinalWords(12), "twelfth");
    EXPECT_EQ(ordinalWords(20), "twentieth");
    EXPECT_EQ(ordinalWords(21), "twenty first");
    EXPECT_EQ(ordinalWords(100), "one hundredth");
    EXPECT_EQ(ordinalWords(0), "zeroth");

    EXPECT_EQ(yearWords(1999), "nineteen ninety nine");
    EXPECT_EQ(yearWords(1905), "nineteen oh five");
    EXPECT_EQ(yearWords(1900), "nineteen hundred");
    EXPECT_EQ(yearWords(1100), "eleven hundred");
    EXPECT_EQ(yearWords(2000), "two thousand");
    EXPECT_EQ(yearWords(2009), "two thousand nine");
    EXPECT_EQ(yearWords(2010), "twenty ten");
    EXPECT_EQ(yearWords(2024), "twenty twenty four");
    EXPECT_EQ(yearWords(1066), "one thousand sixty six");
    EXPECT_EQ(yearWords(2100), "two thousand one hundred");
}

TEST(NumberWords, NumbersInsideText) {
    EXPECT_EQ(numbersToWords("no digits here."), "no digits here.");
    EXPECT_EQ(numbersToWords("in 1999 i was 12"), "in nineteen ninety nine i was twelve");
    EXPECT_EQ(numbersToWords("the 21st of may, 2nd and 3rd"), "the twenty first of may, second and third");
    EXPECT_EQ(numbersToWords("1,250 people"), "one thousand two hundred fifty people");
    EXPECT_EQ(numbersToWords("1,25 and 1,2500"), "one,twenty five and one,two thousand five hundred");
    EXPECT_EQ(numbersToWords("pi is 3.14."), "pi is three point one four.");
    EXPECT_EQ(numbersToWords("agent 007"), "agent zero zero seven");
    EXPECT_EQ(numbersToWords("the 1990s and 80s"), "the nineteen nineties and eighties");
    EXPECT_EQ(numbersToWords("10km or mp3s"), "ten km or mp three s");
    EXPECT_EQ(numbersToWords("the 4th."), "the fourth.");
    EXPECT_EQ(numbersToWords("5th-floor"), "fifth-floor");
    EXPECT_EQ(numbersToWords("5thly"), "five thly");  // not an ordinal suffix
    EXPECT_EQ(numbersToWords("12345678901234567"),
              "one two three four five six seven eight nine zero one two three four five six seven");
    EXPECT_EQ(numbersToWords("3."), "three.");
    EXPECT_EQ(numbersToWords("50% or 2.5%off"), "fifty percent or two point five percent off");
    EXPECT_EQ(numbersToWords("1000 and 2000"), "one thousand and two thousand");
}

TEST(NumberWords, AmountsOfMoney) {
    EXPECT_EQ(numbersToWords("$1,999 or $1"), "one thousand nine hundred ninety nine dollars or one dollar");
    EXPECT_EQ(numbersToWords("it cost $3.50."), "it cost three dollars fifty cents.");
    EXPECT_EQ(numbersToWords("$0.99 $0.01 $1.01 $1.00 $0"),
              "ninety nine cents one cent one dollar one cent one dollar zero dollars");
    EXPECT_EQ(numbersToWords("$5 million and $1.5 billion"),
              "five million dollars and one point five billion dollars");
    EXPECT_EQ(numbersToWords("$2.125"), "two point one two five dollars");
    EXPECT_EQ(numbersToWords("$2000"), "two thousand dollars");  // an amount, not a year
    // Pounds and euros in Windows-1252 and in UTF-8.
    EXPECT_EQ(numbersToWords("\xA3" "5 and \xC2\xA3" "1.01"), "five pounds and one pound one penny");
    EXPECT_EQ(numbersToWords("\x80" "20 or \xE2\x82\xAC" "0.50"), "twenty euros or fifty cents");
    // The tail of a UTF-8 letter is no sign ("\xC3\xA3" a with a tilde).
    EXPECT_EQ(numbersToWords("\xC3\xA3" "5"), "\xC3\xA3" " five");
    EXPECT_EQ(numbersToWords("5\xE9t\xE9"), "five \xE9t\xE9");
    // A sign without an amount is left to the rules.
    EXPECT_EQ(numbersToWords("$ and $x"), "$ and $x");
}

TEST(NumberWords, ClockTimes) {
    EXPECT_EQ(numbersToWords("at 7:30 a.m."), "at seven thirty a.m.");
    EXPECT_EQ(numbersToWords("7:05, 12:00 and 19:00"), "seven oh five, twelve o'clock and nineteen hundred");
    EXPECT_EQ(numbersToWords("07:45pm"), "seven forty five pm");
    // Not a time: minutes of one or three digits, hours past 24, a third field.
    EXPECT_EQ(numbersToWords("3:5 25:00 1:234"), "three:five twenty five:zero zero one:two hundred thirty four");
    EXPECT_EQ(numbersToWords("10:30:15"), "ten:thirty:fifteen");
}

TEST(NumberWords, EnglishNormalisationSpellsNumbersBeforeTheRules) {
    // The rule sees the words, not the digits; Chinese text is left alone.
    std::vector<textNormRule> rules = {{"two", "2", "g"}, {".", "", "$"}};
    EXPECT_EQ(normalizeText("I saw 2 Cats in 1999.\tremark 3", rules, "english"),
              "i saw 2 cats in nineteen ninety nine");
    EXPECT_EQ(normalizeText("A1 12", {}, "chinese"), "A1 12");
}

}  // namespace
