// The lexicon steps of a run on the data sets: timing lines, order, files.
#include <gtest/gtest.h>

#include "lexicon/lexicon_stage.h"
#include "lexicon_test_util.h"

using namespace kedo;
using namespace kedo::test;

namespace {

// The printed lines with the leading "N.NNN sec: " times cut to "T sec: ".
std::string untimed(const std::string& out) {
    std::string r;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size() - 1;
        std::string line = out.substr(pos, end + 1 - pos);
        size_t sec = line.find(" sec: ");
        if (sec != std::string::npos && sec > 0 && line.find_first_not_of("0123456789.") == sec)
            line = "T" + line.substr(sec);
        r += line;
        pos = end + 1;
    }
    return r;
}

nameModels englishModels() {
    return nameModels({"ax+l", "eh+l", "hh+ax", "hh+eh", "l+ow", "ow+sil", "w+er", "er+l", "l+d", "d+sil", "sp"});
}

TEST(LexiconStage, EnglishAssessmentWithAddendaAndFiles) {
    TempDir dir;
    recogParam p;
    p.language = "english";
    p.function = "assess";
    p.wpaFile = lexData("english.wpa");
    p.wpaAddendaFile = lexData("english_addenda.wpa");
    p.tnmFile = lexData("english.tnm");
    p.txtFile = "Hello, World!";
    p.outputDir = dir.path();
    nameModels models = englishModels();
    dictClass d;
    textClass t;
    std::string out = untimed(captureOut([&] {
        loadDictionaries(p, d, models.view());
        prepareTexts(p, d, t, models.view());
        saveUsedWpa(p, d, t);
    }));
    std::string o = dir.path();
    EXPECT_EQ(out, "T sec: Read wpa \"" + p.wpaFile + "\" (myDict.m_wpa.size()=11)\n" +
                       "T sec: Read wpaAddenda \"" + p.wpaAddendaFile + "\" (myDict.m_wpaAddenda.size()=3)\n" +
                       "\tOld entry: word=read, pa=r_iy_d#r_eh_d\n\tNew entry: word=read, pa=r_eh_d\n"
                       "\tOld entry: word=tea, pa=t_iy\n\tNew entry: word=tea, pa=t_iy#t_ih\n"
                       "T sec: wpaMerge (myDict.m_wpa.size()=12)\n"
                       "T sec: Sort myDict.m_wpa\n"
                       "T sec: Read text normalization mapping file \"" +
                       p.tnmFile + "\" (myText.m_textNormSp.size()=6)\n" + "T sec: Read text \"Hello, World!\" " +
                       "(m_txtVs.size()=1)\n" + "T sec: text normalization (m_txtVsNormalized.size()=1)\n" +
                       "\t===> Saved " + o + "/output.nt\n" +
                       "T sec: Texts to phonetic alphabets by exhaustive listing\n" +
                       "\tNo. of text entries = 1, no. of PA entries = 2\n" + "\t===> Saved " + o + "/output.syl\n" +
                       "\tAdding -sp- between syllables...\n" +
                       "T sec: Create m_pronDict from m_txtVs. (m_pronDict.size() = 5)\n" + "\t===> Saved " + o +
                       "/output.dic\n" + "\t===> Saved wpa file " + o + "/output.wpa\n");
    EXPECT_EQ(readFile(dir.file("output.nt")), "hello world\n");
    EXPECT_EQ(readFile(dir.file("output.syl")), "hh_ax_l_ow-w_er_l_d\t0\nhh_eh_l_ow-w_er_l_d\t0\n");
    EXPECT_EQ(t.m_sylVs, (StrVec{"hh_ax_l_ow-sp-w_er_l_d\t0", "hh_eh_l_ow-sp-w_er_l_d\t0"}));
    EXPECT_EQ(readFile(dir.file("output.dic")),
              "hh_ax_l_ow\thh+ax ax+l l+ow ow+sil\nhh_eh_l_ow\thh+eh eh+l l+ow ow+sil\nsil\t???\nsp\tsp\n"
              "w_er_l_d\tw+er er+l l+d d+sil\n");
    EXPECT_EQ(readFile(dir.file("output.wpa")), "hello\thh_ax_l_ow#hh_eh_l_ow\nworld\tw_er_l_d\n");
}

TEST(LexiconStage, ChineseRecognitionListsEveryPath) {
    recogParam p;
    p.language = "chinese";
    p.function = "recog";
    p.dicFile = lexData("chinese.pam");
    p.pyTableFile = lexData("pinyin.tab");
    p.wpaFile = lexData("chinese.wpa");
    p.tnmFile = lexData("chinese.tnm");
    p.txtFile = lexData("chinese_texts.txt");
    nameModels models({"ang", "au", "ch", "en", "h", "i", "in", "ing", "iu", "j", "n", "sh", "ung", "w", "y"});
    dictClass d;
    textClass t;
    std::string out = untimed(captureOut([&] {
        loadDictionaries(p, d, models.view());
        prepareTexts(p, d, t, models.view());
        saveUsedWpa(p, d, t);  // no outputDir: nothing
    }));
    EXPECT_EQ(out.rfind("T sec: Read pam \"" + p.dicFile + "\" (m_pronDict.size()=14)\nT sec: Read pinyinTable \"" +
                            p.pyTableFile + "\" (myDict.m_pinyinTable.size()=10)\nT sec: Read wpa \"" + p.wpaFile +
                            "\" (myDict.m_wpa.size()=8)\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("\tNo. of text entries = 4, no. of PA entries = 8\n"), std::string::npos) << out;
    EXPECT_EQ(t.m_txtVsNormalized[0], "\xa7\x41\xa6\x6e");  // full stop removed
    EXPECT_EQ(t.m_sylVs, (StrVec{"ni-hau\t0", "yin-hang\t1", "yin-shing\t1", "chang-hang\t2", "jang-hang\t2",
                                 "chang-shing\t2", "jang-shing\t2", "shiu-jung-wen\t3"}));
    EXPECT_EQ(t.m_sylAuxVs.size(), t.m_sylVs.size());
    // Every listed unit is a dictionary word.
    for (const std::string& s : t.m_sylVs)
        for (const std::string& u : strSplit(s.substr(0, s.find('\t')), '-')) EXPECT_GE(d.pronDictFind(u), 0) << u;
}

TEST(LexiconStage, JapaneseNeedsSylFileAndRewritesIt) {
    TempDir dir;
    recogParam p;
    p.language = "japanese";
    p.function = "assess";
    p.usePaddedHardSp = 0;
    p.dicFile = lexData("japanese.pam");
    p.tnmFile = lexData("english.tnm");
    p.txtFile = "konnichiwa#sayonara#tokyo e";
    nameModels models({"N", "a", "ch", "e", "i", "k", "ky", "n", "o", "r", "s", "t", "w", "y"});
    dictClass d;
    textClass t;
    captureOut([&] { loadDictionaries(p, d, models.view()); });
    EXPECT_EQ(d.m_pronDict.size(), 10u);
    std::string msg = errorOf([&] { prepareTexts(p, d, t, models.view()); });
    EXPECT_EQ(msg.rfind("This is not allowed for Japanese! (line ", 0), 0u) << msg;

    p.sylFile = lexData("japanese.syl");
    p.outputDir = dir.path();
    std::string out = untimed(captureOut([&] { prepareTexts(p, d, t, models.view()); }));
    EXPECT_NE(out.find("\t===> Saved " + dir.file("output.syl") + " for Japanese!\nT sec: Read syl \"" + p.sylFile +
                       "\" (Size=4)\n"),
              std::string::npos)
        << out;
    for (int i = 0; i < 3; ++i)
        for (const std::string& u : strSplit(t.m_sylVs[i].substr(0, t.m_sylVs[i].find('\t')), '-'))
            EXPECT_GE(d.pronDictFind(u), 0) << u;
}

TEST(LexiconStage, MissingTnmKeyAndOtherNetTypes) {
    recogParam p;
    p.language = "english";
    dictClass d;
    textClass t;
    nameModels models({"a", "b"});
    std::string msg = errorOf([&] { prepareTexts(p, d, t, models.view()); });
    EXPECT_EQ(msg.rfind("Error: recogParam.tnmFile is not specified! (line ", 0), 0u) << msg;
    p.tnmFile = lexData("english.tnm");
    p.txtFile = "any_thing at all";  // "_" is beyond the letter-to-sound rules
    p.netType = 2;  // no listing: the English dictionary still needs the words
    msg = errorOf([&] { prepareTexts(p, d, t, models.view()); });
    EXPECT_NE(msg.find("Found no pronunciation entry for \"any_thing\""), std::string::npos) << msg;
    EXPECT_TRUE(t.m_sylVs.empty());
}

}  // namespace
