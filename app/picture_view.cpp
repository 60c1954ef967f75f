#include "app/picture_view.h"

#include <cstdint>

#include "window/image_buffer.h"
#include "app/main_bayer.h"

namespace {

int32_t cursorX(LPARAM lParam)
{
    return static_cast<int32_t>(LOWORD(lParam));
}

int32_t cursorY(LPARAM lParam)
{
    return static_cast<int32_t>(HIWORD(lParam));
}

}  // namespace

void onPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    // The core draws the picture at its own size, whatever the settings say now.
    CDIBBitmap_sampleRender(dc, x_draw, y_draw);
    EndPaint(hwnd, &ps);
}

void onLeftButtonDown(LPARAM lParam)
{
    x_offset = cursorX(lParam);
    y_offset = cursorY(lParam);
    x_curr = x_draw;
    y_curr = y_draw;
    button_down = 1;
}

void onMouseMove(HWND hwnd, LPARAM lParam)
{
    if (button_down != 1) {
        return;
    }
    x_draw = cursorX(lParam) + x_curr - x_offset;
    y_draw = cursorY(lParam) + y_curr - y_offset;
    InvalidateRect(hwnd, nullptr, TRUE);
}

void onLeftButtonUp()
{
    button_down = 0;
}
