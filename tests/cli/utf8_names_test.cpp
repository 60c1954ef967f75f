// Names in any script: they reach the file system whole (on Windows through
// the converter's UTF-8 manifest) and its lines carry them as UTF-8 bytes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "converter_run.h"
#include "support/raw_builder.h"
#include "support/temp_dir.h"

#if defined(_WIN32)
#include <windows.h>

#include "cli/platform_file.h"
#endif

namespace {

// Chinese, Japanese, Greek, accented Latin and an emoji outside the Basic
// Multilingual Plane, each dump in a folder named in another of them.
TEST(Utf8Names, ConvertInPlaceAndWithOutputAndPrintWhole)
{
    TempDir dir;
    const std::string rows[][3] = {{"照片", "测试_12x4_RGGB.raw", "出力.bmp"},  // folder, dump, --output
                                   {"カメラ", "ρόδι_12x4_GRBG.raw", "Ωμέγα.bmp"},
                                   {"Λήψεις", "café_naïve_12x4_BGGR.raw", "📷.bmp"},
                                   {"📁 été à Noël", "📷_12x4_GBRG.raw", "写真.bmp"}};
    for (const auto& [folder, name, output] : rows) {
        std::filesystem::create_directory(std::filesystem::u8path(dir.file(folder)));
        const std::string input = folder + "/" + name, bmp = input.substr(0, input.size() - 3) + "bmp";
        const std::vector<uint8_t> picture = writeDump(dir.file(input), 12, 4, name.substr(name.size() - 8, 4));
        EXPECT_EQ(runConverter({input}, dir.path()), (ConverterRun{0, input + " -> " + bmp + " 6x2\n", ""}));
        EXPECT_EQ(runConverter({"--output", folder + "/" + output, input}, dir.path()),
                  (ConverterRun{0, input + " -> " + folder + "/" + output + " 6x2\n", ""}));
        for (const std::string& written : {bmp, folder + "/" + output}) {
            EXPECT_TRUE(readFile(dir.file(written)) == picture) << written;
        }
    }
    const std::string missing = "缺失_12x4_RGGB.raw";
    EXPECT_EQ(runConverter({missing}, dir.path()),
              (ConverterRun{1, "", failed(missing, "cannot open (" + std::string(std::strerror(ENOENT)) + ")")}));
}

#if defined(_WIN32)
// A console that stdout or stderr reaches shows UTF-8 while the converter runs
// and gets its own code page back; with both redirected it is left alone.
TEST(Utf8Names, AConsoleShowsUtf8WhileTheConverterRuns)
{
    const HANDLE stdoutBefore = GetStdHandle(STD_OUTPUT_HANDLE), stderrBefore = GetStdHandle(STD_ERROR_HANDLE);
    // A console of the test's own: under Wine the one it starts with may have
    // no screen. The tests after share it.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    HANDLE file = CreateFileA("NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (const DWORD reached : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE, 0ul}) {
        SetStdHandle(STD_OUTPUT_HANDLE, reached == STD_OUTPUT_HANDLE ? console : file);
        SetStdHandle(STD_ERROR_HANDLE, reached == STD_ERROR_HANDLE ? console : file);
        ASSERT_TRUE(SetConsoleOutputCP(437));
        {
            const Utf8Console utf8;
            EXPECT_EQ(GetConsoleOutputCP(), reached != 0 ? CP_UTF8 : 437u) << reached;
        }
        EXPECT_EQ(GetConsoleOutputCP(), 437u);
    }
    SetStdHandle(STD_OUTPUT_HANDLE, stdoutBefore);
    SetStdHandle(STD_ERROR_HANDLE, stderrBefore);
    CloseHandle(console);
    CloseHandle(file);
}
#endif

}  // namespace
