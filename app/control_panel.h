// The control panel in the top-left corner of the main window: fields for
// width, height and pattern, the path, the four command buttons and an
// information label, over a backdrop. "<" folds it away; ">" brings it back.
#pragma once

#include <windows.h>

constexpr int kPanelControls = 15;

// The panel proper in creation order; ">" is not among them.
extern HWND hShowControls[kPanelControls];

extern HWND hHideButton;      // "<"
extern HWND hShowButton;      // ">", shown only while the panel is folded
extern HWND hWithEdit;
extern HWND hHeightEdit;
extern HWND hBayerTypeCombo;
extern HWND hFilePathEdit;    // read-only: set by Browser and by dropping a file
extern HWND hSelectButton;    // "Browser"
extern HWND hViewButton;
extern HWND hSaveButton;
extern HWND hExitButton;

// The information label's text.
extern const char kInformationText[];

// Creates the panel on the main window. Returns 0 when a button or an edit field
// could not be created (the controls after it are then missing), else 1; a
// missing label, backdrop or pattern list is tolerated.
int CreateControls(HWND hwnd, HINSTANCE hInstance);

// Non-zero unfolds the panel, zero folds it.
void showControls(int show);
