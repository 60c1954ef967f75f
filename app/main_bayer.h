// The main window: its class, creation, message loop and window procedure, and
// the module state that the handlers share.
#pragma once

#include <windows.h>

#include <cstdint>

// Command identifiers of the panel's controls (the low 16 bits of wParam).
enum CommandId : int {
    kCmdBrowser = 1,
    kCmdView = 2,
    kCmdExit = 3,
    kCmdWidthEdit = 4,
    kCmdHeightEdit = 5,
    kCmdPathEdit = 6,
    kCmdBayerCombo = 7,
    kCmdHide = 8,
    kCmdShow = 9,
    kCmdSave = 10,
};

constexpr int kPathChars = MAX_PATH;  // including the terminating zero

// The raw file's path; empty until Browser or a drop sets it.
extern char szFile[kPathChars];

// Where the picture's top-left corner is drawn, in client coordinates.
extern int32_t x_draw;
extern int32_t y_draw;

// Dragging: whether the left button went down over the window and has not come
// up over it since, the cursor where it went down, and the draw offset then.
extern int32_t button_down;
extern int32_t x_offset;
extern int32_t y_offset;
extern int32_t x_curr;
extern int32_t y_curr;

extern const char kWindowClassName[];   // "WindowClass"
extern const char kMainWindowTitle[];   // "Pixmora"

// Registers the main window's class; 0 on failure.
ATOM registerMainWindowClass(HINSTANCE hInstance);

// Creates the visible 640 x 480 main window, which accepts dropped files from
// its creation on; null on failure.
HWND createMainWindow(HINSTANCE hInstance);

// Runs the thread's messages until the quit request and returns its code.
int runMessageLoop();

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
