// Image files for tests.
#pragma once

#include <string>

namespace kavsite_test {

// A minimal JFIF file (start of image, APP0, baseline frame header, end of
// image) of `width` x `height` pixels.
inline std::string tiny_jpeg(unsigned width, unsigned height) {
    const unsigned char b[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x01, 0x00, 0x48,
                               0x00, 0x48, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x11, 0x08, (unsigned char)(height >> 8),
                               (unsigned char)height, (unsigned char)(width >> 8), (unsigned char)width, 0x03, 0xFF, 0xD9};
    return std::string((const char*)b, sizeof(b));
}

}  // namespace kavsite_test
