#include <gtest/gtest.h>

#include <string>

#include <vector>

#include "bayer_pattern.h"
#include "cell_layout.h"
#include "conversion_settings.h"

namespace {

std::vector<int32_t> tables()
{
    std::vector<int32_t> all;
    for (const int32_t* t : {bayer_b, bayer_gb, bayer_gr, bayer_r}) {
        all.insert(all.end(), t, t + 3);
    }
    return all;
}

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
    const std::vector<int32_t> grbg = tables();
    for (int32_t index : {0, -1, 5, 1000}) {
        m_nBayerType = index;
        updateBayerType();
        EXPECT_EQ(tables(), grbg) << index;
    }
}

TEST_F(BayerPatternTest, NamesAreSafeForAnyIndexAndFoundInAnyCase)
{
    for (int32_t index = 1; index <= 4; ++index) {
        EXPECT_EQ(patternByName(bayerTypeName(index)), index);
        EXPECT_STREQ(patternName(index), bayerItems[index]);
    }
    EXPECT_STREQ(bayerTypeName(-1), "Select...");
    EXPECT_STREQ(bayerTypeName(5), "Select...");
    EXPECT_EQ(patternByName("Select..."), 0);
    EXPECT_EQ(patternByName("gbRg"), 4);
    EXPECT_EQ(patternByName("RGGBX"), 0);
    EXPECT_EQ(patternByName("RGG"), 0);
}

}  // namespace
