// The settings check: reads width, height and pattern from the panel into the
// conversion settings, selects the Bayer tables, and words the two error texts
// that the window shows in its "Error Hint" boxes.
#pragma once

#include <cstddef>

constexpr size_t kErrorTextChars = 1024;

// The text of the last error, rewritten by the two update functions.
extern char error_infor[kErrorTextChars];

// Reads the panel into m_nWidth, m_nHeight and m_nBayerType (always, even when
// the check then fails), updates the Bayer tables, and returns 1 when a
// conversion may be attempted with the file in szFile, else 0.
int checkConfig();

// The load error text for the current settings.
void update_error_infor();

// The settings error text.
void update_error_infor2();
