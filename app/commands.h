// The panel's commands: Browser, View, Save and Exit, and the loading and error
// reporting that View shares with a dropped file.
#pragma once

#include <windows.h>

// Runs the open-file dialog for one existing "*.raw" file. szFile is emptied
// first; non-zero when a file was chosen (its full path then in szFile).
int OnSelectButtonClick(HWND owner);

// Browser: choose a file; the path field follows only when one was chosen.
// Nothing is converted until View.
void onBrowser(HWND hwnd);

// View: check the settings (a refusal shows the settings error text), then load
// szFile into the image buffer and redraw, or show the load error text.
void onView(HWND hwnd);

// Save: writes the picture as a BMP next to the raw file, the path's last three
// characters replaced by "bmp". Silent; writes nothing without a path of three
// characters or more, nor when the raw file's own name already ends in "bmp".
void onSave();

// Exit: ends the message loop with code 0 without destroying the window first.
void onExit(HWND hwnd);

// Loads szFile with the current settings and redraws; on failure shows the load
// error text. Returns the load's result.
int loadIntoWindow(HWND hwnd);

// The "Error Hint" box with the text of error_infor, owned by the main window.
void showErrorHint(HWND hwnd);
