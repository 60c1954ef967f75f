#include "app/settings_rules.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "window/bayer_pattern.h"

int32_t settingNumber(const char* fieldText)
{
    char cut[kSettingFieldChars + 1] = {};
    std::strncpy(cut, fieldText, kSettingFieldChars);
    return static_cast<int32_t>(std::atoi(cut));
}

bool settingsAcceptable(int32_t width, int32_t height, int32_t bayerType, const char* path)
{
    return width > kWidthAbove && width < kWidthBelow && height > kHeightAbove &&
           height < kHeightBelow && bayerType >= 1 && bayerType < kBayerItemCount &&
           path[0] != '\0';
}

void formatLoadError(char* out, size_t outChars, int32_t width, int32_t height, int32_t bayerType)
{
    std::snprintf(out, outChars, "Load Error!Please check [width %d] [height %d]\n[Type %s] is correct.",
                  static_cast<int>(width), static_cast<int>(height), bayerTypeName(bayerType));
}

void formatSettingsError(char* out, size_t outChars)
{
    std::snprintf(out, outChars,
                  "View Error!Please check [%d < width < %d] [%d < height < %d]\n"
                  "[Type in [RGGB, GRBG, BGGR, GBRG]] and correct select raw file.",
                  static_cast<int>(kWidthAbove), static_cast<int>(kWidthBelow),
                  static_cast<int>(kHeightAbove), static_cast<int>(kHeightBelow));
}
