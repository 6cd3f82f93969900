#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "site/dates.h"
#include "site/jpeg_info.h"
#include "support/files.h"
#include "support/strings.h"

namespace {

using kavsite_test::bytes_read_by_process;
using kavsite_test::from;
using kavsite_test::str;
using kavsite_test::TempDir;
using kavsite_test::write_file;

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
    TempDir dir;
    std::string path = (dir.path / "a.jpg").string();
    write_file(path, std::string(b.begin(), b.end()));
    info = read_jpeg_info(arena, from(path));
    EXPECT_EQ(info.width, 640);
    unlink(path.c_str());
    info = read_jpeg_info(arena, from(path));
    EXPECT_EQ(info.width + info.height + info.x_density + info.y_density, 0);
    arena_release(arena);
}

// A segment: marker, big-endian length (counting itself) and payload.
std::vector<u8> segment(u8 marker, const std::vector<u8>& payload) {
    size_t length = payload.size() + 2;
    std::vector<u8> b = {0xFF, marker, (u8)(length >> 8), (u8)length};
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

std::vector<u8> frame(u8 marker, u16 width, u16 height) {
    return segment(marker, {0x08, (u8)(height >> 8), (u8)height, (u8)(width >> 8), (u8)width, 0x03});
}

std::vector<u8> join(const std::vector<std::vector<u8>>& parts) {
    std::vector<u8> b;
    for (const std::vector<u8>& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// The size comes from the image's own frame header, found by walking the
// segments: not from a thumbnail inside the Exif segment, not from bytes
// that merely look like a marker.
TEST(Jpeg, FrameHeaderFoundByWalkingSegments) {
    const std::vector<u8> soi = {0xFF, 0xD8};
    const std::vector<u8> jfif = segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 0x48, 0, 0x48, 0, 0});
    // An Exif segment holding a whole thumbnail JPEG with its own frame.
    std::vector<u8> thumb = join({soi, frame(0xC0, 160, 120), {0xFF, 0xD9}});
    std::vector<u8> exif_payload = {'E', 'x', 'i', 'f', 0, 0};
    exif_payload.insert(exif_payload.end(), thumb.begin(), thumb.end());
    const std::vector<u8> exif = segment(0xE1, exif_payload);
    const std::vector<u8> scan_then_end = join({segment(0xDA, {1, 2, 3}), {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9}});
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        u16 width, height, density;
    };
    const Case cases[] = {
        {"thumbnail in Exif first", join({soi, exif, jfif, frame(0xC0, 4000, 3000), scan_then_end}), 4000, 3000, 0x48},
        {"extended sequential frame", join({soi, frame(0xC1, 800, 600), scan_then_end}), 800, 600, 0},
        {"fill bytes before a marker", join({soi, {0xFF, 0xFF, 0xFF}, frame(0xC2, 9, 7)}), 9, 7, 0},
        {"no frame before the scan", join({soi, jfif, scan_then_end, frame(0xC0, 1, 1)}), 0, 0, 0x48},
        {"no start of image", join({{0x89, 'P', 'N', 'G'}, frame(0xC0, 10, 10)}), 0, 0, 0},
        {"segment length below two", join({soi, {0xFF, 0xE1, 0x00, 0x01}, frame(0xC0, 5, 5)}), 0, 0, 0},
        {"empty", {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        JpegInfo info = jpeg_info_from_bytes(String{(u8*)c.bytes.data(), c.bytes.size()});
        EXPECT_EQ(info.width, c.width) << c.name;
        EXPECT_EQ(info.height, c.height) << c.name;
        EXPECT_EQ(info.x_density, c.density) << c.name;
    }
}

// A 3 GB image (sparse: it costs nothing on disk) is read only up to its
// frame header; a header behind large segments is still reached by reading
// further, and the read stops at the cap.
TEST(Jpeg, ReadsOnlyUpToTheFrameHeader) {
    TempDir temp;
    std::string dir = temp.path.string();
    std::vector<u8> icc(60000, 0x11);  // three large APP2 segments: the frame lies past 64 KiB
    std::vector<u8> far_header = join({{0xFF, 0xD8}, segment(0xE2, icc), segment(0xE2, icc), segment(0xE2, icc),
                                       frame(0xC0, 1234, 567)});
    std::vector<u8> near_header = join({{0xFF, 0xD8}, frame(0xC2, 3000, 2000)});
    std::vector<u8> headerless = {0xFF, 0xD8};
    struct Case {
        const char* name;
        std::vector<u8> start;
        long long size;
        u16 width;
        long long most_read;  // bytes read at most (besides a page for reading /proc/self/io)
    };
    const Case cases[] = {
        {"3 GB, header at the start", near_header, 3LL << 30, 3000, KB(64)},
        {"header behind 180 KB of segments", far_header, 3LL << 30, 1234, MB(1)},
        {"3 GB of nothing after the start of image", headerless, 3LL << 30, 0, 3 * (long long)JPEG_READ_CAP},
    };
    Arena* arena = arena_create(MB(64), KB(64));
    for (const Case& c : cases) {
        std::string path = dir + "/image.jpg";
        int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, c.start.data(), c.start.size()), (ssize_t)c.start.size());
        ASSERT_EQ(ftruncate(fd, c.size), 0);
        close(fd);
        u64 arena_before = arena_pos(arena);
        long long before = bytes_read_by_process();
        JpegInfo info = read_jpeg_info(arena, string_from_cstr(path.c_str()));
        long long read = bytes_read_by_process() - before;
        EXPECT_EQ(info.width, c.width) << c.name;
        EXPECT_LE(read, c.most_read + 4096) << c.name;
        EXPECT_EQ(arena_pos(arena), arena_before) << c.name << ": the reads stay in scratch memory";
        unlink(path.c_str());
    }
    arena_release(arena);
}

TEST(Jpeg, Extensions) {
    for (const char* e : {"jpeg", "jpg", "jpe", "jfif", "jif", "jfi"}) EXPECT_TRUE(jpeg_extension(string_from_cstr(e))) << e;
    for (const char* e : {"JPG", "png", "jpegx", ""}) EXPECT_FALSE(jpeg_extension(string_from_cstr(e))) << e;
}

}  // namespace
