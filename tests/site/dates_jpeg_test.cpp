#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "site/dates.h"
#include "site/jpeg_info.h"

namespace {

std::string str(String s) { return std::string((const char*)s.str, s.size); }

TEST(Dates, ParseAndFormat) {
    Arena* arena = arena_create(MB(1), KB(4));
    // The datetime attribute is a valid HTML date, with the time when one
    // is written; a date that is not a day of the calendar has none.
    struct Case {
        const char* text;
        const char* readable;
        const char* datetime;
    } cases[] = {
        {"2024/03/15", "15 Mar 2024, 12:00:00 am", "2024-03-15"},
        {"2023-12-01", "1 Dec 2023, 12:00:00 am", "2023-12-01"},
        {"2023.13.02", "2 Err 2023, 12:00:00 am", ""},
        {"2022:1:9:extra:pieces", "9 Jan 2022, 12:00:00 am", "2022-01-09"},
        {" 2024 / 03 / 15\t", "15 Mar 2024, 12:00:00 am", "2024-03-15"},
        {"2024", "0 Err 2024, 12:00:00 am", ""},
        {"2024//7", "7 Err 2024, 12:00:00 am", ""},
        {"", "0 Err 0, 12:00:00 am", ""},
        {"24-2-29", "29 Feb 24, 12:00:00 am", "0024-02-29"},
        {"2023-02-29", "29 Feb 2023, 12:00:00 am", ""},
        {"1900-02-29", "29 Feb 1900, 12:00:00 am", ""},
        {"2000-02-29", "29 Feb 2000, 12:00:00 am", "2000-02-29"},
        {"2024-04-31", "31 Apr 2024, 12:00:00 am", ""},
        {"2024-03-15 14:30", "15 Mar 2024, 02:30:00 pm", "2024-03-15T14:30:00"},
        {"2024-03-15T09:05:07", "15 Mar 2024, 09:05:07 am", "2024-03-15T09:05:07"},
        {"2024 / 03 / 15  0:00", "15 Mar 2024, 12:00:00 am", "2024-03-15T00:00:00"},
        {"2024-03-15 25:00", "15 Mar 2024, 01:00:00 pm", ""},
        {"2024-03-15 later", "15 Mar 2024, 12:00:00 am", "2024-03-15"},
    };
    for (const Case& c : cases) {
        DateRecord d = parse_date(arena, string_from_cstr(c.text), 0);
        EXPECT_EQ(str(format_date(arena, d)), c.readable) << c.text;
        EXPECT_EQ(str(format_datetime_attribute(arena, d)), c.datetime) << c.text;
        EXPECT_EQ(date_is_valid(d), *c.datetime != 0) << c.text;
    }
    DateRecord none = parse_date(arena, S("2024/03/15"), 1);
    EXPECT_EQ(none.year, 0);
    DateRecord afternoon = {2024, 3, 15, 13, 5, 9, 1};
    EXPECT_EQ(str(format_date(arena, afternoon)), "15 Mar 2024, 01:05:09 pm");
    DateRecord noon = {2024, 3, 15, 12, 0, 0, 1};
    EXPECT_EQ(str(format_date(arena, noon)), "15 Mar 2024, 12:00:00 pm");
    arena_release(arena);
}

// A minimal JFIF file: SOI, APP0 with densities, SOF0 with the size, EOI.
std::vector<u8> tiny_jpeg(u16 width, u16 height, u8 sof = 0xC0) {
    std::vector<u8> b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x01,
                         0x00, 0x48, 0x00, 0x60, 0x00, 0x00};
    std::vector<u8> frame = {0xFF, sof, 0x00, 0x11, 0x08, (u8)(height >> 8), (u8)height, (u8)(width >> 8),
                             (u8)width, 0x03};
    b.insert(b.end(), frame.begin(), frame.end());
    b.push_back(0xFF);
    b.push_back(0xD9);
    return b;
}

TEST(Jpeg, ReadsSizeAndDensity) {
    std::vector<u8> b = tiny_jpeg(640, 480);
    JpegInfo info = jpeg_info_from_bytes(String{b.data(), b.size()});
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.x_density, 0x48);
    EXPECT_EQ(info.y_density, 0x60);
    std::vector<u8> progressive = tiny_jpeg(3000, 2000, 0xC2);
    info = jpeg_info_from_bytes(String{progressive.data(), progressive.size()});
    EXPECT_EQ(info.width, 3000);
    EXPECT_EQ(info.height, 2000);

    // Cut anywhere, a file never reads past its end.
    for (size_t cut = 0; cut < b.size(); cut += 1) {
        std::vector<u8> part(b.begin(), b.begin() + (long)cut);
        jpeg_info_from_bytes(String{part.data(), part.size()});
    }
    std::vector<u8> truncated(b.begin(), b.begin() + 26);  // frame cut before the width
    info = jpeg_info_from_bytes(String{truncated.data(), truncated.size()});
    EXPECT_EQ(info.width, 0);

    Arena* arena = arena_create(MB(1), KB(4));
    char path[] = "/tmp/kavsite_jpeg_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path, std::ios::binary).write((const char*)b.data(), (long)b.size());
    info = read_jpeg_info(arena, string_from_cstr(path));
    EXPECT_EQ(info.width, 640);
    unlink(path);
    info = read_jpeg_info(arena, string_from_cstr(path));
    EXPECT_EQ(info.width + info.height + info.x_density + info.y_density, 0);
    arena_release(arena);
}

TEST(Jpeg, Extensions) {
    for (const char* e : {"jpeg", "jpg", "jpe", "jfif", "jif", "jfi"}) EXPECT_TRUE(jpeg_extension(string_from_cstr(e))) << e;
    for (const char* e : {"JPG", "png", "jpegx", ""}) EXPECT_FALSE(jpeg_extension(string_from_cstr(e))) << e;
}

}  // namespace
