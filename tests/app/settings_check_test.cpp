#include <gtest/gtest.h>

#include <cstring>

#include "bayer_pattern.h"
#include "control_panel.h"
#include "conversion_settings.h"
#include "main_bayer.h"
#include "settings_check.h"
#include "window_fixture.h"

namespace {

using SettingsCheckTest = WindowTest;

void choosePath(const char* path)
{
    std::strcpy(szFile, path);
}

TEST_F(SettingsCheckTest, ReadsFieldsByTheCRuleCutToNineCharacters)
{
    choosePath("C:\\x.raw");
    setSettings(" 1000abc", "600", 1);
    EXPECT_EQ(checkConfig(), 1);
    EXPECT_EQ(m_nWidth, 1000);
    EXPECT_EQ(m_nHeight, 600);
    EXPECT_EQ(m_nBayerType, 1);

    // "1" and nine zeros: only the first nine characters count.
    setSettings("1000000000", "600", 1);
    EXPECT_EQ(checkConfig(), 0);
    EXPECT_EQ(m_nWidth, 100000000);

    setSettings("abc", "-700", 1);
    EXPECT_EQ(checkConfig(), 0);
    EXPECT_EQ(m_nWidth, 0);
    EXPECT_EQ(m_nHeight, -700);
}

TEST_F(SettingsCheckTest, AcceptsOnlySizesStrictlyInsideTheQuotedBounds)
{
    choosePath("C:\\x.raw");
    struct Case {
        const char* width;
        const char* height;
        int accepted;
    };
    const Case cases[] = {
        {"641", "481", 1},  {"7399", "4999", 1}, {"640", "481", 0},
        {"7400", "481", 0}, {"641", "480", 0},   {"641", "5000", 0},
    };
    for (const Case& c : cases) {
        setSettings(c.width, c.height, 3);
        EXPECT_EQ(checkConfig(), c.accepted) << c.width << " x " << c.height;
    }
}

TEST_F(SettingsCheckTest, RefusalStillStoresWhatWasTyped)
{
    choosePath("C:\\x.raw");
    setSettings("5000", "300", 2);
    EXPECT_EQ(checkConfig(), 0);
    EXPECT_EQ(m_nWidth, 5000);
    EXPECT_EQ(m_nHeight, 300);
    EXPECT_EQ(m_nBayerType, 2);
}

TEST_F(SettingsCheckTest, NeedsAPatternAndAFile)
{
    choosePath("C:\\x.raw");
    setSettings("1000", "600", 2);
    ASSERT_EQ(checkConfig(), 1);
    const BayerTables grbg = currentBayerTables();

    // "Select..." and no selection at all are refused and keep the last tables.
    setSettings("1000", "600", 0);
    EXPECT_EQ(checkConfig(), 0);
    EXPECT_EQ(m_nBayerType, 0);
    SendMessageA(hBayerTypeCombo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(checkConfig(), 0);
    EXPECT_EQ(m_nBayerType, -1);
    const BayerTables after = currentBayerTables();
    EXPECT_EQ(std::memcmp(&grbg, &after, sizeof after), 0);

    setSettings("1000", "600", 4);
    choosePath("");
    EXPECT_EQ(checkConfig(), 0);
    const BayerTables gbrg = bayerTablesFor(4);
    const BayerTables now = currentBayerTables();
    EXPECT_EQ(std::memcmp(&gbrg, &now, sizeof now), 0) << "the tables follow the pick even when refused";
}

TEST_F(SettingsCheckTest, ErrorTextsAreWordedExactly)
{
    update_error_infor2();
    EXPECT_STREQ(error_infor, kSettingsErrorText);

    m_nWidth = 700;
    m_nHeight = 500;
    m_nBayerType = 1;
    update_error_infor();
    EXPECT_STREQ(error_infor, "Load Error!Please check [width 700] [height 500]\n[Type RGGB] is correct.");

    // No selection, or any index beyond the list, names no pattern rather than
    // reading past it.
    for (int32_t index : {-1, 5, 1 << 30}) {
        m_nBayerType = index;
        update_error_infor();
        EXPECT_STREQ(error_infor,
                     "Load Error!Please check [width 700] [height 500]\n[Type Select...] is correct.");
    }
}

}  // namespace
