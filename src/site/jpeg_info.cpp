#include "site/jpeg_info.h"

#include "base/os.h"

static u16 jpeg_be16(const u8* at) { return (u16)((at[0] << 8) | at[1]); }

// Start-of-frame markers: 0xC0 to 0xCF except DHT (0xC4), JPG (0xC8) and
// DAC (0xCC). All share one layout: length, precision, height, width.
static bool jpeg_is_frame_marker(u8 marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM, RST0-7, SOI, EOI.
static bool jpeg_is_standalone_marker(u8 marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8); }

JpegScan jpeg_scan(String bytes, JpegInfo* info) {
    JpegScan scan = {};
    const u8* b = bytes.str;
    u64 size = bytes.size;
    if (size < 2) {
        scan.needed = 2;
        return scan;
    }
    if (b[0] != 0xFF || b[1] != 0xD8) {
        scan.done = 1;  // not a JPEG
        return scan;
    }
    // Segment by segment from the start of the file, so that the frame
    // header of an embedded thumbnail (inside APP1) is never taken for the
    // image's own.
    u64 at = 2;
    for (;;) {
        // Bytes before a marker that are not 0xFF are skipped, and 0xFF fill
        // bytes too, as decoders do.
        while (at < size && b[at] != 0xFF) at += 1;
        while (at + 1 < size && b[at + 1] == 0xFF) at += 1;
        if (at + 1 >= size) break;
        u8 marker = b[at + 1];
        if (jpeg_is_standalone_marker(marker) || marker == 0x00) {
            at += 2;
            continue;
        }
        // Entropy-coded data follows the start of scan; the end of image
        // ends everything. No frame header before them: no size.
        if (marker == 0xDA || marker == 0xD9) {
            scan.done = 1;
            return scan;
        }
        if (at + 4 > size) break;
        u64 length = jpeg_be16(b + at + 2);  // counts its own two bytes
        u64 end = at + 2 + length;
        // JFIF densities sit 12 and 14 bytes after the marker's 0xFF; height
        // and width 5 and 7 bytes after a frame marker's. Only those bytes
        // need to be there, not the whole segment.
        if (marker == 0xE0 && length >= 14) {
            if (at + 16 > size) {
                scan.needed = at + 16;
                return scan;
            }
            info->x_density = jpeg_be16(b + at + 12);
            info->y_density = jpeg_be16(b + at + 14);
        }
        if (jpeg_is_frame_marker(marker)) {
            if (length >= 7 && at + 9 > size) {
                scan.needed = at + 9;
                return scan;
            }
            if (length >= 7) {
                info->height = jpeg_be16(b + at + 5);
                info->width = jpeg_be16(b + at + 7);
            }
            scan.done = 1;
            return scan;
        }
        if (length < 2) {
            scan.done = 1;  // a broken segment: nothing further can be trusted
            return scan;
        }
        at = end;
    }
    scan.needed = MAX(at + 4, size + 1);
    return scan;
}

JpegInfo jpeg_info_from_bytes(String bytes) {
    JpegInfo info = {};
    jpeg_scan(bytes, &info);
    return info;
}

JpegInfo read_jpeg_info(Arena* arena, String path) {
    JpegInfo info = {};
    OsFile file = os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, path);
    if (file == OS_FILE_INVALID) return info;
    u64 file_size = os_file_properties(file).size;
    // A growing prefix of the file, until the frame header is in it: the
    // bytes read are bounded by the header's position (and the cap), not by
    // the size of the image.
    u64 want = MIN(file_size, (u64)JPEG_FIRST_READ);
    for (;;) {
        Scratch scratch(arena);
        String prefix = os_read_range(scratch.arena, file, Range64{0, want});
        JpegInfo found = {};
        JpegScan scan = jpeg_scan(prefix, &found);
        if (scan.done || prefix.size < want || want == file_size || want == JPEG_READ_CAP) {
            info = found;
            break;
        }
        want = MIN(MIN(MAX(scan.needed, want * 4), file_size), (u64)JPEG_READ_CAP);
    }
    os_close_file(file);
    return info;
}

bool jpeg_extension(String extension) {
    if (string_equal(extension, S("jpeg"))) return true;
    static const String others[] = {S("jpg"), S("jpe"), S("jfif"), S("jif"), S("jfi")};
    for (const String& e : others) {
        if (string_equal(extension, e)) return true;
    }
    return false;
}
