// Image sizes read from JPEG files: densities from the JFIF header, width and
// height from the start-of-frame segment. Only the bytes up to the frame
// header are read.
#pragma once

#include "base/arena.h"
#include "base/string.h"

struct JpegInfo {
    u16 x_density;
    u16 y_density;
    u16 width;
    u16 height;
};

// How far a scan of the first bytes of a file got.
struct JpegScan {
    u32 done;    // the frame header was read, or the file cannot hold one
    u64 needed;  // otherwise: bytes from the start the scan needs to go on
};

// The file is read in growing prefixes (JPEG_FIRST_READ bytes, then at least
// four times more) until the frame header is in one, never beyond the cap.
#define JPEG_FIRST_READ KB(64)
#define JPEG_READ_CAP MB(16)

// Walks the segments from the start of image: densities from the JFIF
// header (APP0), width and height from the start of frame (SOFn), where the
// walk stops. A file that does not begin with a start of image is no JPEG.
JpegScan jpeg_scan(String bytes, JpegInfo* info);
// All fields zero when the file is missing or holds no such segments.
JpegInfo read_jpeg_info(Arena* arena, String path);
JpegInfo jpeg_info_from_bytes(String bytes);
// True for the extensions read for their JPEG size: "jpeg" exactly, or
// "jpg", "jpe", "jfif", "jif", "jfi".
bool jpeg_extension(String extension);
