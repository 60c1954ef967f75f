#include "commands.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstring>

#include "bmp_writer.h"
#include "control_panel.h"
#include "main_bayer.h"
#include "raw_file.h"
#include "settings_check.h"

namespace {

constexpr size_t kExtensionChars = 3;

// The BMP name for a raw path, or false when there is none: a path shorter than
// three characters, or one whose last three already read "bmp" (in any case,
// as the file system compares them), since saving would replace the raw file.
bool bmpNameFor(const char* rawPath, char bmpPath[kPathChars])
{
    const size_t length = strnlen(rawPath, kPathChars - 1);
    if (length < kExtensionChars) {
        return false;
    }
    const char* extension = rawPath + length - kExtensionChars;
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, extension, kExtensionChars, "bmp",
                       kExtensionChars) == CSTR_EQUAL) {
        return false;
    }
    std::memset(bmpPath, 0, kPathChars);
    std::memcpy(bmpPath, rawPath, length - kExtensionChars);
    std::memcpy(bmpPath + length - kExtensionChars, "bmp", kExtensionChars);
    return true;
}

}  // namespace

int OnSelectButtonClick(HWND owner)
{
    szFile[0] = '\0';
    OPENFILENAMEA ofn{};
    // The version-400 form without the Windows 2000 fields, at this build's
    // pointer size; a 32-bit size of 76 makes a 64-bit dialog call fail at once.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "Raw File\0*.raw\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = kPathChars;
    ofn.lpstrInitialDir = "C:\\myfolder\\vantrel";
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    return GetOpenFileNameA(&ofn) ? 1 : 0;
}

void onBrowser(HWND hwnd)
{
    if (OnSelectButtonClick(hwnd)) {
        SendMessageA(hFilePathEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szFile));
    }
}

void onView(HWND hwnd)
{
    if (!checkConfig()) {
        update_error_infor2();
        showErrorHint(hwnd);
        return;
    }
    loadIntoWindow(hwnd);
}

void onSave()
{
    char bmpPath[kPathChars];
    if (bmpNameFor(szFile, bmpPath)) {
        // No message either way; the core writes the picture at its own size
        // and leaves an older BMP intact when writing fails.
        CDIBBitmap_save(bmpPath);
    }
}

void onExit(HWND hwnd)
{
    PostQuitMessage(0);
    DragAcceptFiles(hwnd, FALSE);
}

int loadIntoWindow(HWND hwnd)
{
    HDC dc = GetDC(hwnd);
    const int loaded = CDIBBitmap_load(dc, szFile);
    ReleaseDC(hwnd, dc);
    if (loaded) {
        InvalidateRect(hwnd, nullptr, TRUE);
    } else {
        update_error_infor();
        showErrorHint(hwnd);
    }
    return loaded;
}

void showErrorHint(HWND hwnd)
{
    MessageBoxA(hwnd, error_infor, "Error Hint", MB_OK);
}
