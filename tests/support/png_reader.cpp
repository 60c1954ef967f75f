#include "support/png_reader.h"

#include <gtest/gtest.h>
#include <png.h>

#include "support/mosaic_samples.h"


std::vector<uint8_t> readPng(const std::vector<uint8_t>& file, int32_t depth, int32_t width, int32_t height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size())) << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(width));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(height));
    EXPECT_EQ(image.format, depth == 8 ? PNG_FORMAT_RGB : PNG_FORMAT_LINEAR_RGB);
    std::vector<uint16_t> samples(PNG_IMAGE_SIZE(image) / 2 + 1);
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, samples.data(), 0, nullptr)) << image.message;
    EXPECT_EQ(image.warning_or_error, 0u) << image.message;
    std::vector<uint8_t> pixels;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    for (size_t i = 0; i < PNG_IMAGE_SIZE(image); i += static_cast<size_t>(depth / 8)) {
        putValue(&pixels, depth == 8 ? bytes[i] : samples[i / 2], depth);
    }
    return pixels;
}
