#include <gtest/gtest.h>

#include <string>

#include "bayer_pattern.h"
#include "conversion_settings.h"

namespace {

class BayerPatternTest : public ::testing::Test {
protected:
    void SetUp() override { m_nBayerType = 0; }
};

// The letter of the pattern name at block sample `index` of pixel k's cell.
char letterAt(const std::string& pattern, int32_t index, int k)
{
    const int32_t offset = index - 2 * k;
    EXPECT_TRUE(offset == 0 || offset == 1 || offset == 6 || offset == 7) << "index " << index << " is outside cell " << k;
    const int32_t cell = (offset >= 6 ? 2 : 0) + (offset & 1);
    return pattern.at(static_cast<size_t>(cell));
}

TEST_F(BayerPatternTest, TablesPickEachColourFromItsOwnCell)
{
    for (int32_t index = 1; index <= 4; ++index) {
        const std::string pattern = bayerItems[index];
        m_nBayerType = index;
        updateBayerType();
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(pattern + " pixel " + std::to_string(k));
            EXPECT_EQ(letterAt(pattern, bayer_b[k], k), 'B');
            EXPECT_EQ(letterAt(pattern, bayer_r[k], k), 'R');
            EXPECT_EQ(letterAt(pattern, bayer_gb[k], k), 'G');
            EXPECT_EQ(letterAt(pattern, bayer_gr[k], k), 'G');
            // The blue-row green shares its raw row (upper 0..5, lower 6..11) with blue.
            EXPECT_EQ(bayer_gb[k] / 6, bayer_b[k] / 6);
            EXPECT_EQ(bayer_gr[k] / 6, bayer_r[k] / 6);
        }
    }
}

TEST_F(BayerPatternTest, IndexOutsideThePatternsKeepsTheLastTables)
{
    m_nBayerType = 2;  // GRBG
    updateBayerType();
    const BayerTables grbg = currentBayerTables();
    for (int32_t index : {0, -1, 5, 1000}) {
        m_nBayerType = index;
        updateBayerType();
        const BayerTables after = currentBayerTables();
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(after.b[k], grbg.b[k]) << index;
            EXPECT_EQ(after.gb[k], grbg.gb[k]) << index;
            EXPECT_EQ(after.gr[k], grbg.gr[k]) << index;
            EXPECT_EQ(after.r[k], grbg.r[k]) << index;
        }
    }
}

TEST_F(BayerPatternTest, NamesAreSafeForAnyIndexAndRoundTrip)
{
    for (int32_t index = 1; index <= 4; ++index) {
        EXPECT_EQ(bayerTypeIndex(bayerTypeName(index)), index);
    }
    EXPECT_STREQ(bayerTypeName(-1), "Select...");
    EXPECT_STREQ(bayerTypeName(5), "Select...");
    EXPECT_EQ(bayerTypeIndex("Select..."), 0);
    EXPECT_EQ(bayerTypeIndex("rggb"), 0);
    EXPECT_EQ(bayerTypeIndex("RGGBX"), 0);
}

}  // namespace
