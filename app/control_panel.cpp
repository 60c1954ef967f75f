#include "app/control_panel.h"

#include <cstdint>

#include "window/bayer_pattern.h"
#include "app/main_bayer.h"

HWND hShowControls[kPanelControls] = {};
HWND hHideButton = nullptr;
HWND hShowButton = nullptr;
HWND hWithEdit = nullptr;
HWND hHeightEdit = nullptr;
HWND hBayerTypeCombo = nullptr;
HWND hFilePathEdit = nullptr;
HWND hSelectButton = nullptr;
HWND hViewButton = nullptr;
HWND hSaveButton = nullptr;
HWND hExitButton = nullptr;

const char kInformationText[] =
    "This ver. only fit Qualcomm\n10 bit packed data.\n"
    "Authors:Pixmora developers E-mail:team@pixmora.example";

namespace {

constexpr int kNoSlot = -1;
constexpr DWORD kEditStyle = WS_BORDER | WS_GROUP | WS_TABSTOP;

struct PanelControl {
    int slot;           // index in hShowControls, or kNoSlot
    const char* className;
    const char* text;   // nullptr: no text given at all
    DWORD extraStyle;
    int x, y, width, height;
    int commandId;      // 0: none
    HWND* handle;       // the named handle, or nullptr
    bool verified;      // a null handle ends the building of the panel
};

// Creation order matters: later controls lie above earlier ones, so the backdrop
// comes first, and ">" shares the corner that "Width:" covers while unfolded.
// The pattern list's height is that of its opened list.
const PanelControl kControls[] = {
    {0, "Static", "", 0, 5, 5, 480, 155, 0, nullptr, false},
    {1, "button", "<", 0, 455, 10, 25, 25, kCmdHide, &hHideButton, true},
    {kNoSlot, "button", ">", 0, 10, 10, 25, 25, kCmdShow, &hShowButton, true},
    {2, "Static", "Width:", 0, 10, 10, 65, 25, 0, nullptr, false},
    {3, "Edit", nullptr, kEditStyle, 80, 10, 80, 25, kCmdWidthEdit, &hWithEdit, true},
    {4, "Static", "Height:", 0, 10, 40, 65, 25, 0, nullptr, false},
    {5, "Edit", nullptr, kEditStyle, 80, 40, 80, 25, kCmdHeightEdit, &hHeightEdit, true},
    {6, "Static", "Type:", 0, 10, 70, 65, 25, 0, nullptr, false},
    {7, "COMBOBOX", "", CBS_DROPDOWNLIST | CBS_HASSTRINGS, 80, 70, 80, 150, kCmdBayerCombo,
     &hBayerTypeCombo, false},
    {8, "Static", "File:", 0, 10, 100, 65, 25, 0, nullptr, false},
    {9, "Edit", nullptr, kEditStyle | ES_READONLY, 80, 100, 400, 25, kCmdPathEdit, &hFilePathEdit,
     true},
    {10, "button", "Browser", 0, 10, 130, 80, 25, kCmdBrowser, &hSelectButton, true},
    {11, "button", "View", 0, 105, 130, 80, 25, kCmdView, &hViewButton, true},
    {12, "button", "Save", 0, 200, 130, 80, 25, kCmdSave, &hSaveButton, true},
    {13, "button", "Exit", 0, 295, 130, 80, 25, kCmdExit, &hExitButton, true},
    {14, "Static", kInformationText, 0, 170, 10, 280, 85, 0, nullptr, false},
};

void fillPatternList(HWND list)
{
    for (const char* name : bayerItems) {
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    // "Select..." keeps the settings check refusing until a pattern is chosen.
    SendMessageA(list, CB_SETCURSEL, 0, 0);
}

}  // namespace

int CreateControls(HWND hwnd, HINSTANCE hInstance)
{
    for (const PanelControl& entry : kControls) {
        HWND control = CreateWindowExA(
            0, entry.className, entry.text, WS_CHILD | WS_VISIBLE | entry.extraStyle, entry.x, entry.y,
            entry.width, entry.height, hwnd,
            reinterpret_cast<HMENU>(static_cast<intptr_t>(entry.commandId)), hInstance, nullptr);
        if (entry.slot != kNoSlot) {
            hShowControls[entry.slot] = control;
        }
        if (entry.handle != nullptr) {
            *entry.handle = control;
        }
        if (entry.verified && control == nullptr) {
            return 0;
        }
        if (entry.handle == &hShowButton) {
            ShowWindow(control, SW_HIDE);  // the panel starts unfolded
        } else if (entry.handle == &hBayerTypeCombo) {
            fillPatternList(control);
        }
    }
    return 1;
}

void showControls(int show)
{
    for (HWND control : hShowControls) {
        ShowWindow(control, show ? SW_SHOW : SW_HIDE);
    }
    ShowWindow(hShowButton, show ? SW_HIDE : SW_SHOW);
}
