#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "png_writer.h"
#include "raw_builder.h"
#include "temp_dir.h"

namespace {

struct ReadBack {
    uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0, warnings = 0;
    std::vector<uint8_t> pixels;
};

struct Source {
    const std::vector<uint8_t>* file;
    size_t at;
};

// libpng, not the writer, decodes the file; its warnings (a bad Adler-32 is
// only one by default) count as failures too.
bool readPng(const std::vector<uint8_t>& file, ReadBack* out)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, out, nullptr,
                                             [](png_structp p, png_const_charp) {
                                                 ++static_cast<ReadBack*>(png_get_error_ptr(p))->warnings;
                                             });
    png_infop info = png_create_info_struct(png);
    Source source{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep data, size_t size) {
        Source* s = static_cast<Source*>(png_get_io_ptr(p));
        if (s->at + size > s->file->size()) {
            png_error(p, "past the end");
        }
        std::memcpy(data, s->file->data() + s->at, size);
        s->at += size;
    });
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->depth = png_get_bit_depth(png, info);
    out->colourType = png_get_color_type(png, info);
    out->interlace = png_get_interlace_type(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (uint32_t y = 0; y < out->height; ++y) {
        out->pixels.insert(out->pixels.end(), rows[y], rows[y] + rowBytes);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Pictures of random rows (incompressible) and flat rows (long runs), encoded
// in bands from the last to the first (so no band can lean on another) and
// put together in order; read back exactly, and pngcheck passes the file.
TEST(PngWriterTest, BandsReadBackExactly)
{
    struct Case {
        int32_t width, height, depth, bandRows;
    };
    const Case cases[] = {{1, 1, 8, 1}, {7, 10, 8, 3}, {33, 17, 16, 5}, {64, 40, 16, 40}, {501, 64, 8, 13}, {3, 9, 16, 2}};
    TempDir dir;
    std::mt19937 random(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " depth " << c.depth << " band " << c.bandRows);
        const int32_t rowBytes = c.width * (c.depth == 8 ? 3 : 6);
        std::vector<uint8_t> picture(static_cast<size_t>(rowBytes * c.height));
        for (size_t i = 0; i < picture.size(); ++i) {
            picture[i] = (i / static_cast<size_t>(rowBytes)) % 3 == 1 ? 0x5A : static_cast<uint8_t>(random());
        }
        std::vector<PngBand> bands(static_cast<size_t>((c.height + c.bandRows - 1) / c.bandRows));
        for (size_t b = bands.size(); b-- > 0;) {
            const int32_t first = static_cast<int32_t>(b) * c.bandRows;
            ASSERT_TRUE(pngEncodeBand(&picture[static_cast<size_t>(first * rowBytes)], rowBytes,
                                      std::min(c.bandRows, c.height - first), c.width, c.depth,
                                      b + 1 == bands.size(), &bands[b]));
        }
        std::vector<uint8_t> file = pngStart(c.width, c.height, c.depth);
        uint32_t adler = kPngAdlerStart;
        for (const PngBand& band : bands) {
            file.insert(file.end(), band.chunk.begin(), band.chunk.end());
            adler = pngCombineAdler(adler, band);
        }
        const std::vector<uint8_t> end = pngFinish(adler);
        file.insert(file.end(), end.begin(), end.end());

        ReadBack read;
        ASSERT_TRUE(readPng(file, &read));
        EXPECT_EQ(read.warnings, 0);
        EXPECT_EQ(read.width, static_cast<uint32_t>(c.width));
        EXPECT_EQ(read.height, static_cast<uint32_t>(c.height));
        EXPECT_EQ(read.depth, c.depth);
        EXPECT_EQ(read.colourType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(read.interlace, PNG_INTERLACE_NONE);
        EXPECT_EQ(read.pixels, picture);
        const std::string path = dir.file("band.png");
        writeFile(path, file);
        EXPECT_EQ(std::system(("pngcheck -q " + path + " >/dev/null").c_str()), 0);
    }
}

TEST(PngWriterTest, RefusesWhatPngCannotHold)
{
    PngBand band;
    const uint8_t row[6] = {};
    EXPECT_TRUE(pngStart(0, 5, 8).empty());
    EXPECT_TRUE(pngStart(5, 5, 12).empty());
    EXPECT_FALSE(pngEncodeBand(row, 6, 1, 1, 12, true, &band));
    EXPECT_FALSE(pngEncodeBand(row, 6, 0, 1, 8, true, &band));
    // Rows are only read once the size is accepted, so one row stands for a
    // band just above the limit.
    EXPECT_FALSE(pngEncodeBand(row, 0, 1 << 16, 1 << 13, 16, true, &band));
}

}  // namespace
