#include "app/settings_check.h"

#include <windows.h>

#include "window/bayer_pattern.h"
#include "app/control_panel.h"
#include "window/conversion_settings.h"
#include "app/main_bayer.h"
#include "app/settings_rules.h"

char error_infor[kErrorTextChars] = {};

namespace {

int32_t readSettingField(HWND field)
{
    char text[kSettingFieldChars + 1] = {};
    SendMessageA(field, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return settingNumber(text);
}

}  // namespace

int checkConfig()
{
    m_nWidth = readSettingField(hWithEdit);
    m_nHeight = readSettingField(hHeightEdit);
    // CB_ERR (-1) when nothing is selected; refused below like "Select...".
    m_nBayerType = static_cast<int32_t>(SendMessageA(hBayerTypeCombo, CB_GETCURSEL, 0, 0));
    updateBayerType();
    return settingsAcceptable(m_nWidth, m_nHeight, m_nBayerType, szFile) ? 1 : 0;
}

void update_error_infor()
{
    formatLoadError(error_infor, sizeof error_infor, m_nWidth, m_nHeight, m_nBayerType);
}

void update_error_infor2()
{
    formatSettingsError(error_infor, sizeof error_infor);
}
