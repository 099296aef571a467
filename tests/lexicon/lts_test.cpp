// Guessed pronunciations: the letter-to-sound trees, "'s" forms, and the
// guessing step of a run with its warnings.
#include <gtest/gtest.h>

#include "lexicon/lexicon_stage.h"
#include "lexicon/lts.h"
#include "lexicon_test_util.h"

using namespace kedo;
using namespace kedo::test;

namespace {

TEST(LetterToSound, GuessesCommonWordsAsTheDictionaryWould) {
    // Words the trees were trained on come out as in the pronunciation list.
    EXPECT_EQ(ltsGuess("cat"), "k_ae_t");
    EXPECT_EQ(ltsGuess("ship"), "sh_ih_p");
    EXPECT_EQ(ltsGuess("thinking"), "th_ih_ng_k_ih_ng");
    // One letter, several phones: x gives k and s.
    EXPECT_EQ(ltsGuess("box"), "b_aa_k_s");
    // Silent letters give no phone, and no "_" is left dangling.
    std::string knight = ltsGuess("knight");
    EXPECT_EQ(knight.find("k_"), std::string::npos) << knight;
    EXPECT_EQ(knight.find("__"), std::string::npos) << knight;
    EXPECT_NE(knight.back(), '_');
}

TEST(LetterToSound, NoStressMarksAndOnlyLowerCasePhones) {
    for (const char* w : {"blorptastic", "zyxwvut", "quizzaciously", "aaaaaa", "q", "x", "mcdonaldization"}) {
        std::string pa = ltsGuess(w);
        ASSERT_FALSE(pa.empty()) << w;
        EXPECT_EQ(pa.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos) << w << " " << pa;
        EXPECT_NE(pa.front(), '_');
        EXPECT_NE(pa.back(), '_');
    }
}

TEST(LetterToSound, RefusesWhatItCannotSpell) {
    EXPECT_EQ(ltsGuess(""), "");
    EXPECT_EQ(ltsGuess("'"), "");
    EXPECT_EQ(ltsGuess("caf\xe9"), "");
    EXPECT_EQ(ltsGuess("a1"), "");
    EXPECT_EQ(ltsGuess("Cat"), "");  // the texts are lowered before this
    EXPECT_FALSE(ltsGuess(std::string(kLtsMaxLetters, 'a')).empty());
    EXPECT_EQ(ltsGuess(std::string(kLtsMaxLetters + 1, 'a')), "");
    // Apostrophes do not count as letters.
    EXPECT_EQ(ltsGuess("o'neil"), ltsGuess("oneil"));
}

TEST(LetterToSound, PossessivesFollowTheStem) {
    wpaList wpa = {{"bus", {"b_ah_s"}, {}}, {"cat", {"k_ae_t"}, {}}, {"dog", {"d_ao_g", "d_aa_g"}, {}},
                   {"it", {"ih_t"}, {}}};
    EXPECT_EQ(guessPronunciation(wpa, "cat's"), "k_ae_t_s");
    EXPECT_EQ(guessPronunciation(wpa, "dog's"), "d_ao_g_z");  // the first PA only
    EXPECT_EQ(guessPronunciation(wpa, "bus's"), "b_ah_s_ih_z");
    EXPECT_EQ(guessPronunciation(wpa, "it's"), "ih_t_s");
    // No stem entry: the spelling decides.
    EXPECT_EQ(guessPronunciation(wpa, "rat's"), ltsGuess("rats"));
    EXPECT_EQ(guessPronunciation(wpa, "'s"), ltsGuess("s"));
}

TEST(LetterToSound, GuessingStepAddsSortedEntriesAndWarnsOncePerWord) {
    wpaList wpa = {{"a", {"ax"}, {}}, {"cat", {"k_ae_t"}, {}}, {"zoo", {"z_uw"}, {}}};
    StrVec warnings;
    std::string out = captureOut(
        [&] { wpaGuessMissing(wpa, {"a cat  blick\tremark blick", "blick cat's", "a caf\xe9"}, warnings); });
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "No pronunciation entry for \"blick\": guessed " + ltsGuess("blick") + " from its spelling");
    EXPECT_EQ(warnings[1], "No pronunciation entry for \"cat's\": guessed k_ae_t_s from its spelling");
    EXPECT_EQ(out, "Warning: " + warnings[0] + "\nWarning: " + warnings[1] + "\n");
    ASSERT_EQ(wpa.size(), 5u);
    for (size_t i = 1; i < wpa.size(); ++i) EXPECT_LT(wpa[i - 1].word, wpa[i].word);
    EXPECT_GE(wpaFind(wpa, "blick"), 0);
    EXPECT_GE(wpaFind(wpa, "zoo"), 0);
    EXPECT_LT(wpaFind(wpa, "caf\xe9"), 0);  // left for the listing to refuse
    EXPECT_LT(wpaFind(wpa, "remark"), 0);   // behind the TAB

    // Nothing missing: no warning, list untouched.
    wpaList before = wpa;
    warnings.clear();
    std::string quiet = captureOut([&] { wpaGuessMissing(wpa, {"a cat"}, warnings); });
    EXPECT_TRUE(quiet.empty());
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(wpa.size(), before.size());

    // An empty list stays empty, for the listing to report.
    wpaList none;
    captureOut([&] { wpaGuessMissing(none, {"blick"}, warnings); });
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(warnings.empty());
}

TEST(LetterToSound, RunGoesOnWithAGuessedWord) {
    recogParam p;
    p.language = "english";
    p.function = "assess";
    p.wpaFile = lexData("english.wpa");
    p.tnmFile = lexData("english.tnm");
    p.txtFile = "Hello Blick";
    nameModels models({"hh+ax", "ax+l", "l+ow", "ow+sil", "b+l", "sp"});
    dictClass d;
    textClass t;
    StrVec warnings;
    captureOut([&] {
        loadDictionaries(p, d, models.view());
        prepareTexts(p, d, t, models.view(), &warnings);
    });
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("\"blick\""), std::string::npos);
    ASSERT_FALSE(t.m_sylVs.empty());
    EXPECT_NE(t.m_sylVs[0].find(ltsGuess("blick")), std::string::npos) << t.m_sylVs[0];
    EXPECT_GE(d.pronDictFind(ltsGuess("blick")), 0);
}

}  // namespace
