// Names in any script: they reach the file system whole (on Windows through
// the converter's UTF-8 manifest) and its lines carry them as UTF-8 bytes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "converter_run.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

#if defined(_WIN32)
#include <windows.h>

#include "cli/platform_file.h"
#endif

namespace {

// Chinese, Japanese, Greek, accented Latin and an emoji outside the Basic
// Multilingual Plane: a folder, a dump in it named after its settings, and an
// --output name.
TEST(Utf8Names, ConvertInPlaceAndWithOutputAndPrintWhole)
{
    TempDir dir;
    const auto converted = [](const std::string& from, const std::string& to) {
        return ConverterRun{0, from + " -> " + to + " 6x2\n", ""};
    };
    for (const auto& [folder, name, output] : {std::tuple{"照片", "测试_12x4_RGGB", "出力"},
                                               {"カメラ", "ρόδι_12x4_GRBG", "Ωμέγα"},
                                               {"📁 été à Noël", "📷_12x4_GBRG", "café"}}) {
        const std::string input = folder + std::string("/") + name, named = folder + std::string("/") + output;
        std::filesystem::create_directory(std::filesystem::u8path(dir.file(folder)));
        const std::vector<uint8_t> picture = writeDump(dir.file(input + ".raw"), 12, 4, input.substr(input.size() - 4));
        EXPECT_EQ(runConverter({input + ".raw"}, dir.path()), converted(input + ".raw", input + ".bmp"));
        EXPECT_EQ(runConverter({"--output", named + ".bmp", input + ".raw"}, dir.path()),
                  converted(input + ".raw", named + ".bmp"));
        EXPECT_TRUE(readFile(dir.file(input + ".bmp")) == picture && readFile(dir.file(named + ".bmp")) == picture);
    }
    EXPECT_EQ(runConverter({"缺失_12x4_RGGB.raw"}, dir.path()),
              (ConverterRun{1, "", failed("缺失_12x4_RGGB.raw", "cannot open (" + std::string(std::strerror(ENOENT)) + ")")}));
}

#if defined(_WIN32)
// A console that stderr reaches shows UTF-8 while the converter runs and gets
// its own code page back.
TEST(Utf8Names, AConsoleShowsUtf8WhileTheConverterRuns)
{
    const HANDLE stderrBefore = GetStdHandle(STD_ERROR_HANDLE);
    // A console of the test's own: under Wine the one it starts with may have
    // no screen.
    FreeConsole();
    ASSERT_TRUE(AllocConsole() && SetConsoleOutputCP(437));
    SetStdHandle(STD_ERROR_HANDLE, CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    {
        const Utf8Console utf8;
        EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    }
    EXPECT_EQ(GetConsoleOutputCP(), 437u);
    CloseHandle(GetStdHandle(STD_ERROR_HANDLE));
    SetStdHandle(STD_ERROR_HANDLE, stderrBefore);
}
#endif

}  // namespace
