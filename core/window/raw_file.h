// Loading a raw dump from disk into the image buffer.
#pragma once

#include "window/image_buffer.h"

// Reads the N bytes that the current settings need from the start of `path` in
// one request and decodes them, in the pattern the Bayer tables hold, into a
// new picture. Returns 1 on success; 0 when the settings give no picture or the
// tables hold no pattern yet (the settings check refuses both before any load), the file cannot be
// opened or read in full, the input cannot be allocated, or the picture cannot
// be created. Only the last of these releases the previous picture.
int CDIBBitmap_load(ImageDC dc, const char* path);
