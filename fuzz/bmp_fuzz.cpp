// Any picture the buffer can hold, saved and parsed back: the headers must agree
// with each other and with the picture, and the file must hold exactly its rows.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bmp_format.h"
#include "bmp_writer.h"
#include "fuzz_target.h"
#include "image_buffer.h"
#include "raw_builder.h"

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

    FUZZ_CHECK(file.size() == 54 + pictureBytes);
    FUZZ_CHECK(file[0] == 'B' && file[1] == 'M');
    FUZZ_CHECK(le32(file, 2) == file.size());
    FUZZ_CHECK(le32(file, 10) == 54 && le32(file, 14) == 40);
    FUZZ_CHECK(static_cast<int32_t>(le32(file, 18)) == width);
    FUZZ_CHECK(static_cast<int32_t>(le32(file, 22)) == height);
    FUZZ_CHECK(le16(file, 26) == 1 && le16(file, 28) == 24 && le32(file, 30) == 0);
    const uint32_t stride = (3 * le32(file, 18) + 3) / 4 * 4;
    FUZZ_CHECK(54 + static_cast<size_t>(stride) * le32(file, 22) == file.size());
    for (size_t i = 0; i < pictureBytes; ++i) {
        FUZZ_CHECK(file[54 + i] == m_pBmpData[i]);
    }
    CDIBBitmap_clear();
    return 0;
}
