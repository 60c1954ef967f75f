// The settings rules of the panel without the panel: how a field's text becomes
// a number, which geometry and pattern a conversion accepts, and the wording of
// the two error texts. Free of the platform so any build can check them.
#pragma once

#include <cstddef>
#include <cstdint>

// Exclusive bounds, as the settings error text quotes them.
constexpr int32_t kWidthAbove = 640;
constexpr int32_t kWidthBelow = 7400;
constexpr int32_t kHeightAbove = 480;
constexpr int32_t kHeightBelow = 5000;

// A width or height field holds at most this many characters when read.
constexpr size_t kSettingFieldChars = 9;

// The number a field text stands for: its first kSettingFieldChars characters
// read by the C rule (leading blanks, optional sign, digits up to the first
// non-digit, 0 without digits). Nine characters cannot overflow 32 bits.
int32_t settingNumber(const char* fieldText);

// Whether a conversion may be attempted: both sizes strictly inside their
// bounds, a pattern index 1..4 and a non-empty path.
bool settingsAcceptable(int32_t width, int32_t height, int32_t bayerType, const char* path);

// The load error text for the given settings. Any pattern index may be passed;
// one outside the list is named as no choice ("Select...").
void formatLoadError(char* out, size_t outChars, int32_t width, int32_t height, int32_t bayerType);

// The settings error text, quoting the bounds above.
void formatSettingsError(char* out, size_t outChars);
