#include "name_geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsFromName, TakesGeometryAndPatternFromWholeTokensOfTheFileNameOnly)
{
    const NameSettings s = settingsFromName("/data/session 3/frame_4000x3000_RGGB.raw");
    EXPECT_EQ(s.sizeTokens, 1);
    EXPECT_EQ(s.width, 4000);
    EXPECT_EQ(s.height, 3000);
    EXPECT_EQ(s.patternTokens, 1);
    EXPECT_EQ(s.pattern, 1);

    const NameSettings t = settingsFromName("cap-bggr.1920X1080.raw10");
    EXPECT_EQ(t.width, 1920);
    EXPECT_EQ(t.height, 1080);
    EXPECT_EQ(t.pattern, 3);

    // "x" inside a word, a pattern glued to letters or digits, and tokens of
    // the folders are not the file's settings.
    const NameSettings none = settingsFromName("C:\\runs\\640x480_GRBG\\box2x_xRGGB_RGGB10_4000x.raw");
    EXPECT_EQ(none.sizeTokens, 0);
    EXPECT_EQ(none.patternTokens, 0);
}

TEST(SettingsFromName, CountsRepeatsAndSaturatesHugeNumbers)
{
    const NameSettings s = settingsFromName("crop_640x480_of_4000x3000_RGGB_rggb.raw");
    EXPECT_EQ(s.sizeTokens, 2);
    EXPECT_EQ(s.patternTokens, 2);

    const NameSettings huge = settingsFromName("f_4294967297x00003.raw");
    EXPECT_EQ(huge.width, INT32_MAX) << "2^32 + 1 must not wrap round to 1";
    EXPECT_EQ(huge.height, 3);
}

}  // namespace
