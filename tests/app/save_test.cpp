// Save: the BMP beside the raw file, and everything it must leave alone.

#include <cerrno>
#include <map>

#include "bmp_format.h"
#include "bmp_writer.h"
#include "file_replace.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;

// Everything in a folder: each file's bytes, each subfolder as a marker.
using Snapshot = std::map<std::string, std::vector<uint8_t>>;

Snapshot snapshot(const std::string& folder)
{
    Snapshot files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] =
            entry.is_directory() ? std::vector<uint8_t>{'<', 'd', 'i', 'r', '>'} : readFile(entry.path().string());
    }
    return files;
}

using SaveTest = WindowTest;

TEST_F(SaveTest, WritesTheCoresBmpOverTheOlderOneAndNoNeighbour)
{
    TempDir dir;
    // Names one character away from the BMP's, as an editor's backup might be.
    for (const char* name : {"chart.bmp", "chart.bm~", "chart.bm!", "chart.bm#"}) {
        writeFile(dir.file(name), {'o', 'l', 'd', static_cast<uint8_t>(name[8])});
    }
    loadChart(dir);
    Snapshot expected = snapshot(dir.path());
    TempDir elsewhere;
    ASSERT_EQ(CDIBBitmap_save(elsewhere.file("reference.bmp").c_str()), 1);
    expected["chart.bmp"] = readFile(elsewhere.file("reference.bmp"));
    ASSERT_EQ(expected["chart.bmp"].size(), 54u + 1504u * 300u);

    click(hSaveButton);
    EXPECT_EQ(snapshot(dir.path()), expected);
}

size_t failingWrite(const void*, size_t, std::FILE*)
{
    errno = ENOSPC;
    return 0;
}

// Whether it has nothing to save or fails to, Save says nothing and changes nothing.
TEST_F(SaveTest, SaveThatMustNotWriteLeavesTheFolderAsItWas)
{
    const FileWriteFunction coresWrite = fileReplaceWrite;
    for (const std::string what : {"no path", "raw file named .bmp", "write error", "folder named like the BMP"}) {
        SCOPED_TRACE(what);
        TempDir dir;
        if (what == "write error") {
            writeFile(dir.file("chart.bmp"), {'o', 'l', 'd'});
        } else if (what == "folder named like the BMP") {
            fs::create_directory(dir.file("chart.bmp"));
            writeFile(dir.file("chart.bmp/inside.txt"), {'k', 'e', 'e', 'p'});
        }
        loadChart(dir, what == "raw file named .bmp" ? "chart.bmp" : "chart.raw");
        if (what == "no path") {
            szFile[0] = '\0';  // a held picture but no path, as after a cancelled Browser
        }
        const Snapshot before = snapshot(dir.path());
        // A name made from an empty path would land in the current folder.
        const fs::path previous = fs::current_path();
        fs::current_path(dir.path());
        fileReplaceWrite = what == "write error" ? failingWrite : coresWrite;
        click(hSaveButton);
        fileReplaceWrite = coresWrite;
        fs::current_path(previous);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST_F(SaveTest, CodePageNameIsLoadedAndSavedBesideItself)
{
    const std::wstring stem = L"Caf\u00e9 na\u00efve \u00e0 l'\u00e9t\u00e9";
    char narrow[MAX_PATH] = {};
    BOOL lost = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, stem.c_str(), -1, narrow, sizeof narrow, nullptr, &lost), 0);
    ASSERT_FALSE(lost) << "code page " << GetACP() << " lacks the letters";
    TempDir dir;
    loadChart(dir, std::string(narrow) + ".raw");
    // The file must exist under the wide name, or the name was never in the code page.
    ASSERT_TRUE(fs::exists(fs::path(dir.path()) / (stem + L".raw")));
    click(hSaveButton);
    ASSERT_EQ(CDIBBitmap_save(dir.file("reference.bmp").c_str()), 1);
    EXPECT_TRUE(readFile(windowsPath(dir.file(std::string(narrow) + ".bmp"))) == readFile(dir.file("reference.bmp")));
}

}  // namespace
