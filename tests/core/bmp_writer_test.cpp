#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bayer_pattern.h"
#include "bmp_format.h"
#include "bmp_writer.h"
#include "conversion_settings.h"
#include "file_replace.h"
#include "image_buffer.h"
#include "raw_builder.h"
#include "raw_file.h"
#include "temp_dir.h"

namespace {

class BmpWriterTest : public ::testing::Test {
protected:
    void SetUp() override { CDIBBitmap_clear(); }
    void TearDown() override
    {
        fileReplaceWrite = savedWrite;
        CDIBBitmap_clear();
    }

    // Loads a random frame through the window's loader; returns its samples.
    RawFrame load(int32_t width, int32_t height, int32_t pattern, uint32_t seed)
    {
        RawFrame frame = randomFrame(width, height, seed);
        const std::string path = dir.file("in.raw");
        writeFile(path, packFrame(frame));
        m_nWidth = width;
        m_nHeight = height;
        m_nBayerType = pattern;
        updateBayerType();
        EXPECT_EQ(CDIBBitmap_load(nullptr, path.c_str()), 1);
        return frame;
    }

    TempDir dir;
    FileWriteFunction savedWrite = fileReplaceWrite;
};

TEST_F(BmpWriterTest, WritesHeadersAndRowsOfThePanelExample)
{
    const RawFrame frame = load(1000, 600, 1, 21);
    const std::string out = dir.file("in.bmp");
    ASSERT_EQ(CDIBBitmap_save(out.c_str()), 1);
    const std::vector<uint8_t> file = readFile(out);
    ASSERT_EQ(file.size(), 451254u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(le32(file, 2), 451254u);
    EXPECT_EQ(le32(file, 6), 0u);  // both reserved words
    EXPECT_EQ(le32(file, 10), 54u);
    EXPECT_EQ(le32(file, 14), 40u);
    EXPECT_EQ(le32(file, 18), 501u);
    EXPECT_EQ(le32(file, 22), 300u);
    EXPECT_EQ(le16(file, 26), 1);
    EXPECT_EQ(le16(file, 28), 24);
    for (size_t field = 30; field < 54; field += 4) {
        EXPECT_EQ(le32(file, field), 0u) << "offset " << field;
    }
    const std::vector<uint8_t> pixels(file.begin() + 54, file.end());
    EXPECT_EQ(pixels, expectedPicture(frame, "RGGB"));
    EXPECT_FALSE(fileExists(temporaryNameFor(out)));
}

TEST_F(BmpWriterTest, EmptyBufferWritesNothing)
{
    const std::string out = dir.file("none.bmp");
    EXPECT_EQ(CDIBBitmap_save(out.c_str()), 0);
    EXPECT_FALSE(fileExists(out));
    EXPECT_FALSE(fileExists(temporaryNameFor(out)));
}

TEST_F(BmpWriterTest, ReplacesAnOlderFileButNoNeighbourOrFolder)
{
    load(642, 482, 1, 25);
    const std::string out = dir.file("shot.bmp");
    const std::vector<std::string> neighbours = {dir.file("shot.bm~"), dir.file("shot.bm#"), dir.file("shot.bm!")};
    for (const std::string& name : neighbours) {
        writeFile(name, {'u', 's', 'e', 'r'});
    }
    writeFile(out, std::vector<uint8_t>(2000000, 0x77));
    ASSERT_EQ(CDIBBitmap_save(out.c_str()), 1);  // over a larger older file
    EXPECT_EQ(readFile(out).size(), 54 + static_cast<size_t>(m_nBmpStride * m_nBmpHeight));
    for (const std::string& name : neighbours) {
        EXPECT_EQ(readFile(name), (std::vector<uint8_t>{'u', 's', 'e', 'r'})) << name;
    }

    const std::string folder = dir.file("taken.bmp");
    std::filesystem::create_directory(folder);
    writeFile(folder + "/inside", {1});
    EXPECT_EQ(CDIBBitmap_save(folder.c_str()), 0);
    EXPECT_EQ(readFile(folder + "/inside"), std::vector<uint8_t>{1});
    EXPECT_FALSE(fileExists(temporaryNameFor(folder)));
}

TEST_F(BmpWriterTest, FailedWritesLeaveTheOlderFileIntact)
{
    const std::string out = dir.file("keep.bmp");
    const std::vector<uint8_t> older(1234, 0x42);
    writeFile(out, older);
    load(700, 500, 2, 23);

    // A disk that fills up after the headers.
    static int calls;
    calls = 0;
    fileReplaceWrite = [](const void* data, size_t size, std::FILE* file) -> size_t {
        if (++calls == 1) {
            return std::fwrite(data, 1, size, file);
        }
        errno = ENOSPC;
        return size / 2;
    };
    EXPECT_EQ(CDIBBitmap_saveWithReason(out.c_str()), ENOSPC);
    EXPECT_EQ(CDIBBitmap_save(out.c_str()), 0);
    EXPECT_EQ(readFile(out), older);
    EXPECT_FALSE(fileExists(temporaryNameFor(out)));

    // A folder that does not exist.
    fileReplaceWrite = savedWrite;
    EXPECT_EQ(CDIBBitmap_save(dir.file("no/such/folder.bmp").c_str()), 0);
}

TEST_F(BmpWriterTest, SettingsChangedAfterTheLoadDoNotChangeWhatIsSaved)
{
    const RawFrame frame = load(700, 500, 4, 24);
    // A later View that failed its check still rewrote the settings.
    m_nWidth = 7399;
    m_nHeight = 4999;
    const std::string out = dir.file("after.bmp");
    ASSERT_EQ(CDIBBitmap_save(out.c_str()), 1);
    const std::vector<uint8_t> file = readFile(out);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(le32(file, 18), 351u);
    EXPECT_EQ(le32(file, 22), 250u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.end()), expectedPicture(frame, "GBRG"));
}

TEST(BmpHeader, RefusesPicturesTheFormatCannotHold)
{
    uint8_t header[kBmpHeaderBytes];
    EXPECT_FALSE(buildBmpHeader(0, 10, 4, header));
    EXPECT_FALSE(buildBmpHeader(10, 0, 32, header));
    EXPECT_FALSE(buildBmpHeader(10, 10, 29, header));
    EXPECT_FALSE(buildBmpHeader(40000, 40000, 120000, header));
    EXPECT_TRUE(buildBmpHeader(1, 1, 4, header));
}

}  // namespace
