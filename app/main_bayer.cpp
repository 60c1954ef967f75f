#include "app/main_bayer.h"

#include <shellapi.h>

#include "app/commands.h"
#include "app/control_panel.h"
#include "app/drop_handler.h"
#include "app/picture_view.h"

char szFile[kPathChars] = {};
int32_t x_draw = 0;
int32_t y_draw = 0;
int32_t button_down = 0;
int32_t x_offset = 0;
int32_t y_offset = 0;
int32_t x_curr = 0;
int32_t y_curr = 0;

const char kWindowClassName[] = "WindowClass";
const char kMainWindowTitle[] = "Pixmora";

ATOM registerMainWindowClass(HINSTANCE hInstance)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = kWindowClassName;
    wc.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    return RegisterClassExA(&wc);
}

HWND createMainWindow(HINSTANCE hInstance)
{
    return CreateWindowExA(WS_EX_CLIENTEDGE, kWindowClassName, kMainWindowTitle,
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                           nullptr, nullptr, hInstance, nullptr);
}

int runMessageLoop()
{
    // No accelerators and no IsDialogMessage: Tab does not move between controls.
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

namespace {

// Returns false for identifiers that go to default handling.
bool onCommand(HWND hwnd, int id)
{
    switch (id) {
    case kCmdBrowser: onBrowser(hwnd); return true;
    case kCmdView: onView(hwnd); return true;
    case kCmdExit: onExit(hwnd); return true;
    case kCmdHide: showControls(0); return true;
    case kCmdShow: showControls(1); return true;
    case kCmdSave: onSave(); return true;
    default: return false;
    }
}

}  // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        DragAcceptFiles(hwnd, TRUE);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        DragAcceptFiles(hwnd, FALSE);
        return 0;
    case WM_PAINT:
        onPaint(hwnd);
        return 0;
    case WM_COMMAND:
        if (onCommand(hwnd, LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        onMouseMove(hwnd, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        onLeftButtonDown(lParam);
        return 0;
    case WM_LBUTTONUP:
        onLeftButtonUp();
        return 0;
    case WM_DROPFILES:
        onDropFiles(hwnd, reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
