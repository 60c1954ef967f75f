// The window's conversion settings: the raw geometry and Bayer pattern that the
// panel hands to the loader, written by the settings check.
#pragma once

#include <cstdint>

#include "raw/raw_geometry.h"

// Written by the settings check on every View and drop; read by the loader.
// Zero until the first check.
extern int32_t m_nWidth;      // raw width in samples, as typed
extern int32_t m_nHeight;     // raw height in rows, as typed
extern int32_t m_nBayerType;  // index into bayerItems

// Geometry of the current settings.
RawGeometry currentGeometry();
