// Any picture the buffer can hold, saved and parsed back: the headers must agree
// with each other and with the picture, and the file must hold exactly its rows.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "window/bmp_writer.h"
#include "fuzz_target.h"
#include "window/image_buffer.h"
#include "support/raw_builder.h"

namespace {

// One file per process, so parallel fuzzing jobs do not share it.
const std::string& outputPath()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("pixmora-bmp-fuzz-" + std::to_string(std::random_device{}()) + ".bmp"))
            .string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int32_t width = data[0] % 70;   // 0 is a picture that cannot be made
    const int32_t height = data[1] % 40;
    const std::string& path = outputPath();
    std::remove(path.c_str());

    if (CDIBBitmap_create(nullptr, width, height, 24) != 1) {
        FUZZ_CHECK(width == 0 || height == 0);
        FUZZ_CHECK(CDIBBitmap_save(path.c_str()) == 0);
        FUZZ_CHECK(readFile(path).empty());
        return 0;
    }
    const auto pictureBytes = static_cast<size_t>(m_nBmpStride * m_nBmpHeight);
    for (size_t i = 0; i < pictureBytes && i + 2 < size; ++i) {
        m_pBmpData[i] = data[i + 2];
    }
    FUZZ_CHECK(CDIBBitmap_save(path.c_str()) == 1);
    const std::vector<uint8_t> file = readFile(path);
    std::remove(path.c_str());

    // Rows padded to whole 4-byte words, and the file as the format defines it.
    FUZZ_CHECK(pictureBytes == static_cast<size_t>((3 * width + 3) / 4 * 4 * height));
    FUZZ_CHECK(file == bmpFile(width, height, std::vector<uint8_t>(m_pBmpData, m_pBmpData + pictureBytes)));
    CDIBBitmap_clear();
    return 0;
}
