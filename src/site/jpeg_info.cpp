#include "site/jpeg_info.h"

#include "base/os.h"

static u16 jpeg_be16(const u8* at) { return (u16)((at[0] << 8) | at[1]); }

JpegInfo jpeg_info_from_bytes(String bytes) {
    JpegInfo info = {};
    const u8* b = bytes.str;
    u64 size = bytes.size;
    // Markers are found by scanning every byte; later ones overwrite earlier
    // ones. A segment cut short by the end of the file is ignored.
    for (u64 i = 0; i + 1 < size;) {
        if (b[i] == 0xFF && b[i + 1] == 0xE0 && i + 15 < size) {
            info.x_density = jpeg_be16(b + i + 12);
            info.y_density = jpeg_be16(b + i + 14);
            i += 16;
        } else if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2) && i + 8 < size) {
            info.height = jpeg_be16(b + i + 5);
            info.width = jpeg_be16(b + i + 7);
            i += 9;
        } else {
            i += 1;
        }
    }
    return info;
}

JpegInfo read_jpeg_info(Arena* arena, String path) {
    Scratch scratch(arena);
    return jpeg_info_from_bytes(os_read_whole_file(scratch.arena, path));
}

bool jpeg_extension(String extension) {
    if (string_equal(extension, S("jpeg"))) return true;
    static const String others[] = {S("jpg"), S("jpe"), S("jfif"), S("jif"), S("jfi")};
    for (const String& e : others) {
        if (string_equal(extension, e)) return true;
    }
    return false;
}
