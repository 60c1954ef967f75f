// The window's picture in the core: loaded from a dump, kept when a load
// fails, saved as a BMP that ImageMagick reads back, and what replacing a BMP
// or failing to must leave on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "encode/bmp_format.h"
#include "window/bmp_writer.h"
#include "support/child_limits.h"
#include "window/bayer_pattern.h"
#include "window/conversion_settings.h"
#include "platform/file_replace.h"
#include "window/image_buffer.h"
#include "support/mosaic_samples.h"
#include "support/raw_builder.h"
#include "window/raw_file.h"
#include "support/temp_dir.h"

namespace {

class WindowPictureTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        fileReplaceWrite = savedWrite;
        CDIBBitmap_clear();
    }

    static int load(const std::string& path, int32_t width, int32_t height, int32_t pattern)
    {
        m_nWidth = width;
        m_nHeight = height;
        m_nBayerType = pattern;
        updateBayerType();
        return CDIBBitmap_load(nullptr, path.c_str());
    }

    // Loads a random frame written with bytes to spare, which the loader ignores.
    TestMosaic loadFrame(int32_t width, int32_t height, int32_t pattern)
    {
        TestMosaic frame = randomFrame(width, height, static_cast<uint32_t>(width + pattern));
        std::vector<uint8_t> raw = packFrame(frame);
        raw.insert(raw.end(), 1000, 0x5A);
        writeFile(dir.file("in.raw"), raw);
        EXPECT_EQ(load(dir.file("in.raw"), width, height, pattern), 1);
        return frame;
    }

    static std::vector<uint8_t> held()
    {
        return m_pBmpData == nullptr ? std::vector<uint8_t>{}
                                     : std::vector<uint8_t>(m_pBmpData, m_pBmpData + m_nBmpStride * m_nBmpHeight);
    }

    TempDir dir;
    const FileWriteFunction savedWrite = fileReplaceWrite;
};

// Save names the BMP by the raw path's last three characters, whatever they
// are: whole UTF-8 ones in UTF-8, else bytes; a path too short for that gives
// no name. The name, then its BMP name counted in UTF-8 characters and in bytes.
TEST_F(WindowPictureTest, NamesTheBmpByTheLastThreeCharacters)
{
    for (const auto& [raw, characters, bytes] :
         {std::tuple{"chart.raw", "chart.bmp", "chart.bmp"}, {"a.b\\shot.RAW", "a.b\\shot.bmp", "a.b\\shot.bmp"}, {"dump10", "dumbmp", "dumbmp"},
          {"abc", "bmp", "bmp"}, {"ab", "", ""}, {"r\xE9sum\xE9", "r\xE9sbmp", "r\xE9sbmp"}, {"x\xB0\xB0\xB0", "xbmp", "xbmp"},
          {"a\xF8\x80\x80\x80", "a\xF8" "bmp", "a\xF8" "bmp"}, {"shot.日本", "shotbmp", "shot.日bmp"}, {"λήψη", "λbmp", "λή\xCF" "bmp"},
          {"λήψ", "bmp", "λ\xCE" "bmp"}, {"📷.r📷w", "📷.bmp", "📷.r\xF0\x9F" "bmp"}, {"📷📷", "", "📷\xF0" "bmp"}}) {
        EXPECT_EQ(bmpNameFor(raw, true), characters) << raw;
        EXPECT_EQ(bmpNameFor(raw, false), bytes) << raw;
    }
}

TEST_F(WindowPictureTest, FailedLoadsKeepTheOldPicture)
{
    const std::vector<uint8_t> packed = packFrame(randomFrame(700, 500, 13));
    writeFile(dir.file("good.raw"), packed);
    writeFile(dir.file("short.raw"), std::vector<uint8_t>(packed.begin(), packed.end() - 1));
    writeFile(dir.file("empty.raw"), {});
    ASSERT_EQ(load(dir.file("good.raw"), 700, 500, 2), 1);
    const std::vector<uint8_t> picture = held();
    // Files it cannot read, and settings that give no picture, which fail
    // before the file or the buffer is touched.
    for (const auto& [name, width, height, pattern] :
         {std::tuple{"short.raw", 700, 500, 2}, {"empty.raw", 700, 500, 2}, {"missing.raw", 700, 500, 2},
          {"", 700, 500, 2}, {"good.raw", 0, 500, 2}, {"good.raw", 700, 1, 2}}) {
        EXPECT_EQ(load(dir.file(name), width, height, pattern), 0) << name << " " << width << "x" << height;
        EXPECT_TRUE(held() == picture) << name << " " << width << "x" << height;
    }
    // The decode follows the tables, which no pattern index outside the list
    // changes; tables that hold no pattern, as before any choice, decode nothing.
    EXPECT_EQ(load(dir.file("good.raw"), 700, 500, 0), 1);
    EXPECT_TRUE(held() == picture);
    for (int32_t* table : {bayer_b, bayer_gb, bayer_gr, bayer_r}) {
        std::fill(table, table + 3, 0);
    }
    EXPECT_EQ(load(dir.file("good.raw"), 700, 500, 0), 0);
    EXPECT_TRUE(held() == picture);
}

#if defined(PIXMORA_HAVE_MEMORY_CAP)
// The largest panel geometry needs 49 MB of input: with the address space
// capped below that, the load must fail cleanly, keeping the old picture.
TEST_F(WindowPictureTest, AllocationFailureForTheLargestGeometryKeepsTheOldPicture)
{
    loadFrame(700, 500, 1);
    ASSERT_TRUE(makeSparseFile(dir.file("large.raw"), 49350128));
    const int status = exitStatusUnderLimit(ChildLimit::Memory, 16u << 20, [&] {
        return load(dir.file("large.raw"), 7399, 4999, 1) == 0 && m_nBmpWidth == 351 ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << (status < 0 ? "the load crashed" : "the load did not fail cleanly");
}
#endif

// Save replaces an older, larger BMP and no neighbour or folder, with the
// picture as loaded (an odd height's unpaired last row unused) whatever the
// settings say since, which ImageMagick reads back top row first.
TEST_F(WindowPictureTest, SavesThePictureAsLoadedOverAnOlderFile)
{
    const TestMosaic frame = loadFrame(1000, 481, 3);
    m_nWidth = 7399;
    m_nHeight = 4999;
    for (const char* name : {"shot.bm~", "shot.bm#", "shot.bm!"}) {
        writeFile(dir.file(name), {'u', 's', 'e', 'r'});
    }
    writeFile(dir.file("shot.bmp"), std::vector<uint8_t>(2000000, 0x77));
    auto expected = dir.contents();
    ASSERT_EQ(CDIBBitmap_save(dir.file("shot.bmp").c_str()), 1);
    expected["shot.bmp"] = expectedBmp(frame, "BGGR");
    EXPECT_TRUE(dir.contents() == expected);
#if !defined(_WIN32)
    const std::string rgb = dir.file("shot.rgb");
    ASSERT_EQ(std::system(("convert '" + dir.file("shot.bmp") + "' -depth 8 'rgb:" + rgb + "'").c_str()), 0);
    EXPECT_TRUE(readFile(rgb) == expectedCells(frame, "BGGR", 8, 1));
    std::filesystem::remove(rgb);
#endif

    std::filesystem::create_directory(dir.file("taken.bmp"));
    writeFile(dir.file("taken.bmp/inside"), {1});
    expected = dir.contents();
    EXPECT_EQ(CDIBBitmap_save(dir.file("taken.bmp").c_str()), 0);
    EXPECT_TRUE(dir.contents() == expected);
}

size_t fullAfterHeader(const void* data, size_t size, std::FILE* file)
{
    if (size == kBmpHeaderBytes) {
        return std::fwrite(data, 1, size, file);
    }
    errno = ENOSPC;
    return size / 2;
}

TEST_F(WindowPictureTest, FailedSavesLeaveTheOlderFileAndNoTemporary)
{
    loadFrame(12, 4, 2);  // a 94-byte BMP, which stays in stdio's buffer until closed
    const std::string keep = dir.file("keep.bmp");
    writeFile(keep, std::vector<uint8_t>(1234, 0x42));
    std::filesystem::create_directory(dir.file(std::string(100, 'd')));
    const auto before = dir.contents();
#if defined(_WIN32)
    // Narrow Windows paths hold at most 259 characters: a 260-character name,
    // through a folder, is refused before anything is made.
    const std::string tooLong = dir.file(std::string(100, 'd') + "/" + std::string(158 - dir.path().size(), 'n'));
    EXPECT_EQ(CDIBBitmap_saveWithReason(tooLong.c_str()), ENAMETOOLONG);
#endif
    fileReplaceWrite = fullAfterHeader;
    EXPECT_EQ(CDIBBitmap_saveWithReason(keep.c_str()), ENOSPC);
    fileReplaceWrite = savedWrite;
    EXPECT_EQ(CDIBBitmap_saveWithReason(dir.file("no/such.bmp").c_str()), ENOENT);
#if defined(PIXMORA_HAVE_CHILD_LIMITS)
    // A disk found full only when the file is closed.
    EXPECT_EQ(exitStatusUnderLimit(ChildLimit::FileSize, 16, [&] { return CDIBBitmap_saveWithReason(keep.c_str()) == EFBIG ? 0 : 1; }), 0);
#endif
    CDIBBitmap_clear();
    EXPECT_EQ(CDIBBitmap_saveWithReason(keep.c_str()), EINVAL);
    EXPECT_TRUE(dir.contents() == before);
}

}  // namespace
