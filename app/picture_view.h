// Drawing the picture at the draw offset, and moving it by dragging with the
// left mouse button.
#pragma once

#include <windows.h>

void onPaint(HWND hwnd);

// Cursor positions are the two 16-bit halves of lParam read as unsigned numbers
// (0 to 65535), as the window delivers them. The mouse is not captured, so a
// release outside the window leaves the drag going until one over it.
void onLeftButtonDown(LPARAM lParam);
void onMouseMove(HWND hwnd, LPARAM lParam);
void onLeftButtonUp();
