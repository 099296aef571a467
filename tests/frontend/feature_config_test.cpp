// Feature configuration file and kind codes.
#include "frontend/feature_config.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kedo {
namespace {

FeatureConfig readText(const std::string& text) {
    test::TempDir dir;
    test::writeFile(dir.file("c.cfg"), text);
    FeatureConfig cfg;
    readFeatureConfig(cfg, dir.file("c.cfg"));
    return cfg;
}

TEST(FeatureConfig, KindCodes) {
    EXPECT_EQ(parseKind("MFCC_E_D_A"), 838);
    EXPECT_EQ(parseKind("MFCC_0_E_D_A"), 6 | 0x2000 | 0x40 | 0x100 | 0x200);
    EXPECT_EQ(parseKind("PLP"), 11);
    EXPECT_EQ(parseKind("PLP_E_D"), 11);  // unknown base: no qualifiers
    EXPECT_EQ(parseKind("LPDELCEP"), 259);
    EXPECT_EQ(parseKind("LPDELCEP_D"), 259);
    EXPECT_EQ(parseKind("WAVEFORM"), 11);  // not among the names looked up
    EXPECT_EQ(parseKind("FBANK_Q_Z"), 7 | 0x800);  // unknown letter dropped
    EXPECT_EQ(parseKind("MFCC_N_C_K_V"), 6 | 0x80 | 0x400 | 0x1000 | 0x4000);
    EXPECT_EQ(featureDimension(12, parseKind("MFCC_E")), 13);
    EXPECT_EQ(featureDimension(12, 838), 39);
    EXPECT_EQ(featureDimension(12, parseKind("MFCC_E_A")), 25);
    EXPECT_EQ(featureDimension(12, parseKind("MFCC_0_E_D")), 28);
}

TEST(FeatureConfig, DefaultsAndEveryKey) {
    FeatureConfig d = readText("");
    EXPECT_EQ(d.targetKind, 838);
    EXPECT_EQ(d.dim, 39);
    EXPECT_FLOAT_EQ(d.preEmCoef, 0.975f);
    EXPECT_TRUE(d.useHamming);
    EXPECT_TRUE(d.eNormalise);
    EXPECT_FALSE(d.usePower);

    FeatureConfig c = readText(
        "SOURCEKIND=WAVEFORM\nSOURCEFORMAT=NOHEAD\nSOURCERATE=1250\nZMEANSOURCE=T\nTARGETKIND=MFCC_E\n"
        "TARGETRATE=50000\nWINDOWSIZE=250000.0\nUSEHAMMING=F\nPREEMCOEF=0.97\nUSEPOWER=TRUE\nNUMCHANS=24\n"
        "LOFREQ=64\nHIFREQ=7000\nCEPLIFTER=0\nNUMCEPS=12.9\nENORMALISE=FALSE\nESCALE=1.0\nDELTAWINDOW=3\n"
        "ACCWINDOW=1\nSILFLOOR=40\nUNKNOWN=5\n");
    EXPECT_FLOAT_EQ(c.sourceRate, 1250);
    EXPECT_TRUE(c.zMeanSource);
    EXPECT_EQ(c.targetKind, MFCC | HAS_E);
    EXPECT_EQ(c.dim, 13);
    EXPECT_FLOAT_EQ(c.targetRate, 50000);
    EXPECT_FLOAT_EQ(c.windowSize, 250000);
    EXPECT_FALSE(c.useHamming);
    EXPECT_FLOAT_EQ(c.preEmCoef, 0.97f);
    EXPECT_TRUE(c.usePower);
    EXPECT_EQ(c.numChans, 24);
    EXPECT_FLOAT_EQ(c.loFreq, 64);
    EXPECT_FLOAT_EQ(c.hiFreq, 7000);
    EXPECT_EQ(c.cepLifter, 0);
    EXPECT_EQ(c.numCeps, 12);
    EXPECT_FALSE(c.eNormalise);
    EXPECT_FLOAT_EQ(c.eScale, 1.0f);
    EXPECT_EQ(c.deltaWindow, 3);
    EXPECT_EQ(c.accWindow, 1);
    EXPECT_FLOAT_EQ(c.silFloor, 40);
}

TEST(FeatureConfig, LineForms) {
    // Blanks removed before splitting; T does not switch the window off.
    FeatureConfig c = readText("TARGETKIND = MFCC_E_D_A_Z\r\n\n   \nUSEHAMMING=T\nNUMCHANS=\n=7\nNUMCEPS");
    EXPECT_EQ(c.targetKind, 838 | HAS_Z);
    EXPECT_TRUE(c.useHamming);
    EXPECT_EQ(c.numChans, 26);
    EXPECT_EQ(c.numCeps, 12);
    // A line longer than 49 characters is read whole.
    FeatureConfig l = readText("TARGETKIND=MFCC_E_D_A" + std::string(60, ' ') + "\nNUMCHANS=20");
    EXPECT_EQ(l.targetKind, 838);
    EXPECT_EQ(l.numChans, 20);
    // Flags only change one way.
    FeatureConfig f = readText("USEPOWER=F\nZMEANSOURCE=yes\nENORMALISE=TRUE\n");
    EXPECT_FALSE(f.usePower);
    EXPECT_FALSE(f.zMeanSource);
    EXPECT_TRUE(f.eNormalise);
}

TEST(FeatureConfig, MissingFileKeepsDefaults) {
    FeatureConfig c;
    testing::internal::CaptureStdout();
    readFeatureConfig(c, "/nonexistent/x.cfg");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open config file /nonexistent/x.cfg \n");
    EXPECT_EQ(c.targetKind, 838);
}

}  // namespace
}  // namespace kedo
