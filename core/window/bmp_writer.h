// Writing the window's held picture as an uncompressed 24-bit BMP file, in the
// layout bmp_format.h tells.
#pragma once

// Writes the image buffer's picture, at its own size, to `path`, replacing any
// file there only once the whole file has been written. Returns 1 when written;
// 0 when the buffer is empty (the file system is not touched) or any open, write
// or replace failed (an older file at `path` is then intact).
int CDIBBitmap_save(const char* path);

// CDIBBitmap_save's work with the reason: 0, or an errno value (EINVAL for an
// empty buffer or a picture too large for the format).
int CDIBBitmap_saveWithReason(const char* path);
