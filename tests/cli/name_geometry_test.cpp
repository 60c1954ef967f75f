#include "name_geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsFromName, TakesGeometryAndPatternFromWholeTokens)
{
    const NameSettings s = settingsFromName("/data/session 3/frame_4000x3000_RGGB.raw");
    EXPECT_EQ(s.sizeTokens, 1);
    EXPECT_EQ(s.width, 4000);
    EXPECT_EQ(s.height, 3000);
    EXPECT_EQ(s.patternTokens, 1);
    EXPECT_EQ(s.pattern, 1);

    const NameSettings t = settingsFromName("cap-bggr.1920X1080.raw10");
    EXPECT_EQ(t.sizeTokens, 1);
    EXPECT_EQ(t.width, 1920);
    EXPECT_EQ(t.height, 1080);
    EXPECT_EQ(t.pattern, 3);
}

TEST(SettingsFromName, IgnoresPartsOfWordsAndTheFolders)
{
    // "x" inside a word, a pattern glued to letters or digits, and tokens in
    // the folder names are not the file's settings.
    const NameSettings s = settingsFromName("C:\\runs\\640x480_GRBG\\box2x_xRGGB_RGGB10_4000x.raw");
    EXPECT_EQ(s.sizeTokens, 0);
    EXPECT_EQ(s.patternTokens, 0);

    const NameSettings posix = settingsFromName("runs/640x480_GRBG/frame.raw");
    EXPECT_EQ(posix.sizeTokens, 0);
    EXPECT_EQ(posix.patternTokens, 0);
}

TEST(SettingsFromName, CountsRepeatedTokensSoAmbiguousNamesAreNotGuessed)
{
    const NameSettings s = settingsFromName("crop_640x480_of_4000x3000_RGGB_GBRG.raw");
    EXPECT_EQ(s.sizeTokens, 2);
    EXPECT_EQ(s.patternTokens, 2);
    EXPECT_EQ(settingsFromName("RGGB_rggb.raw").patternTokens, 2);
}

TEST(SettingsFromName, SaturatesHugeNumbersInsteadOfWrapping)
{
    const NameSettings s = settingsFromName("f_4294967297x00003.raw");
    EXPECT_EQ(s.sizeTokens, 1);
    EXPECT_EQ(s.width, INT32_MAX) << "2^32 + 1 must not wrap round to 1";
    EXPECT_EQ(s.height, 3);
}

}  // namespace
