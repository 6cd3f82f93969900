// Image sizes read from JPEG files: densities from the JFIF header, width and
// height from the start-of-frame segment.
#pragma once

#include "base/arena.h"
#include "base/string.h"

struct JpegInfo {
    u16 x_density;
    u16 y_density;
    u16 width;
    u16 height;
};

// All fields zero when the file is missing or holds no such segments.
JpegInfo read_jpeg_info(Arena* arena, String path);
JpegInfo jpeg_info_from_bytes(String bytes);
// True for the extensions read for their JPEG size: "jpeg" exactly, or
// "jpg", "jpe", "jfif", "jif", "jfi".
bool jpeg_extension(String extension);
