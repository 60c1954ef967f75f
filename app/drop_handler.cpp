#include "app/drop_handler.h"

#include "app/commands.h"
#include "app/control_panel.h"
#include "app/main_bayer.h"
#include "app/settings_check.h"

void onDropFiles(HWND hwnd, HDROP drop)
{
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 1) {
        // A longer name arrives cut to kPathChars - 1 characters and its zero.
        DragQueryFileA(drop, 0, szFile, kPathChars);
        SendMessageA(hFilePathEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szFile));
    }
    // Unlike View, refused settings are not reported: a drop with "Select..."
    // still chosen only fills the path field.
    if (checkConfig()) {
        loadIntoWindow(hwnd);
    }
    DragFinish(drop);
}
