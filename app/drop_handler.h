// A file dropped on the main window: it becomes the raw file and is converted
// at once when the settings allow.
#pragma once

#include <windows.h>

#include <shellapi.h>

// Takes the name of a single dropped file (cut to the path buffer) into szFile
// and the path field; two or more files keep the previous path. Then, if the
// settings pass, loads szFile, reporting only a failed load. Releases the drop.
void onDropFiles(HWND hwnd, HDROP drop);
