#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bayer_pattern.h"
#include "conversion_settings.h"
#include "image_buffer.h"
#include "raw_builder.h"
#include "raw_file.h"
#include "temp_dir.h"

namespace {

class RawFileTest : public ::testing::Test {
protected:
    void SetUp() override { CDIBBitmap_clear(); }
    void TearDown() override { CDIBBitmap_clear(); }

    static void settings(int32_t width, int32_t height, int32_t pattern)
    {
        m_nWidth = width;
        m_nHeight = height;
        m_nBayerType = pattern;
        updateBayerType();
    }

    static std::vector<uint8_t> held()
    {
        if (m_pBmpData == nullptr) {
            return {};
        }
        return {m_pBmpData, m_pBmpData + m_nBmpStride * m_nBmpHeight};
    }

    TempDir dir;
};

TEST_F(RawFileTest, LoadsThePanelExampleGeometryIgnoringExtraBytes)
{
    const RawFrame frame = randomFrame(1000, 600, 11);
    const std::string path = dir.file("frame.raw");
    std::vector<uint8_t> bytes = packFrame(frame);
    bytes.insert(bytes.end(), 1000, 0x5A);
    writeFile(path, bytes);
    settings(1000, 600, 1);
    ASSERT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 1);
    EXPECT_EQ(m_nBmpWidth, 501);
    EXPECT_EQ(m_nBmpHeight, 300);
    EXPECT_EQ(m_nBmpStride, 1504);
    EXPECT_EQ(held(), expectedPicture(frame, "RGGB"));
}

TEST_F(RawFileTest, FailuresBeforeTheNewPictureKeepTheOldOne)
{
    const RawFrame frame = randomFrame(700, 500, 13);
    const std::vector<uint8_t> packed = packFrame(frame);
    const std::string good = dir.file("good.raw");
    writeFile(good, packed);
    settings(700, 500, 2);
    ASSERT_EQ(CDIBBitmap_load(nullptr, good.c_str()), 1);
    const std::vector<uint8_t> picture = held();

    const std::string shortByOne = dir.file("short.raw");
    writeFile(shortByOne, std::vector<uint8_t>(packed.begin(), packed.end() - 1));
    const std::string empty = dir.file("empty.raw");
    writeFile(empty, {});
    for (const std::string& path : {shortByOne, empty, dir.file("missing.raw"), dir.path()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 0);
        EXPECT_EQ(held(), picture);
    }
    // Settings that give no picture fail before touching the file or the buffer.
    settings(0, 500, 2);
    EXPECT_EQ(CDIBBitmap_load(nullptr, good.c_str()), 0);
    EXPECT_EQ(held(), picture);
}

TEST_F(RawFileTest, OddHeightReadsTheWholeLastRowButDecodesPairsOnly)
{
    const RawFrame frame = randomFrame(642, 481, 14);
    const std::vector<uint8_t> packed = packFrame(frame);
    const std::string path = dir.file("odd.raw");
    writeFile(path, packed);
    settings(642, 481, 3);
    ASSERT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 1);
    EXPECT_EQ(m_nBmpHeight, 240);
    EXPECT_EQ(held(), expectedPicture(frame, "BGGR"));

    // The unpaired last row still has to be in the file.
    writeFile(path, std::vector<uint8_t>(packed.begin(), packed.end() - 1));
    EXPECT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 0);
}

}  // namespace

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace {

// The largest panel geometry needs 49 MB of input: with the address space
// capped below that, the load must fail cleanly, keeping the old picture.
TEST_F(RawFileTest, AllocationFailureForTheLargestGeometryIsReported)
{
    const std::string small = dir.file("small.raw");
    writeFile(small, packFrame(randomFrame(700, 500, 15)));
    const std::string large = dir.file("large.raw");
    {
        std::ofstream create(large, std::ios::binary);
    }
    // Sparse: the full size without writing 49 MB.
    ASSERT_EQ(truncate(large.c_str(), rawGeometry(7399, 4999).inputBytes), 0);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        settings(700, 500, 1);
        if (CDIBBitmap_load(nullptr, small.c_str()) != 1) {
            _exit(2);
        }
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (16u << 20);
        const rlimit limit{cap, cap};
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(3);
        }
        settings(7399, 4999, 1);
        const int loaded = CDIBBitmap_load(nullptr, large.c_str());
        _exit(loaded == 0 && m_nBmpWidth == 351 && m_nBmpHeight == 250 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the load crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
#endif
