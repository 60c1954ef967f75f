// Entry of Pixmora.exe. Kept apart from the window so the tests can link all
// the rest and build the window the same way.
#include <windows.h>

#include "app/control_panel.h"
#include "app/main_bayer.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    // The show state is ignored: the window is visible from its creation.
    if (registerMainWindowClass(hInstance) == 0) {
        MessageBoxA(nullptr, "Window Registration Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }
    HWND hwnd = createMainWindow(hInstance);
    if (hwnd == nullptr) {
        MessageBoxA(nullptr, "Window Creation Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }
    CreateControls(hwnd, hInstance);
    return runMessageLoop();
}
