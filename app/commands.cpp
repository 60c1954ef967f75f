#include "app/commands.h"

#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "encode/bmp_format.h"
#include "window/bmp_writer.h"
#include "app/control_panel.h"
#include "app/main_bayer.h"
#include "window/raw_file.h"
#include "app/settings_check.h"

namespace {

// Whether the raw file's own name already ends in "bmp", in any case, as the
// file system compares names: saving would then replace the raw file.
bool nameEndsInBmp(const std::string& path)
{
    constexpr int kExtensionChars = 3;
    return path.size() >= kExtensionChars &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str() + path.size() - kExtensionChars,
                          kExtensionChars, "bmp", kExtensionChars) == CSTR_EQUAL;
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
    const std::string rawPath = szFile;
    // The manifest makes names UTF-8 from Windows 10 version 1903 on; older
    // systems ignore it and give the ANSI code page's bytes.
    const std::string bmpPath = bmpNameFor(rawPath, GetACP() == CP_UTF8);
    if (!bmpPath.empty() && !nameEndsInBmp(rawPath)) {
        // No message either way; the core writes the picture at its own size
        // and leaves an older BMP intact when writing fails.
        CDIBBitmap_save(bmpPath.c_str());
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
