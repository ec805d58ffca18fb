// nt_is_gui_app on executable headers: PE images of both subsystems and both
// widths, NE and LE images, and files that are short, truncated or point
// outside themselves.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "nt.h"
#include "temp_prefix.h"

namespace {

namespace fs = std::filesystem;

void put16(std::string &image, size_t at, unsigned v) {
    if (image.size() < at + 2) image.resize(at + 2);
    image[at] = static_cast<char>(v & 0xFF), image[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string &image, size_t at, uint32_t v) {
    put16(image, at, v & 0xFFFF);
    put16(image, at + 2, v >> 16);
}

// An MS-DOS header whose new-header offset is `offset`, padded to 64 bytes.
std::string dos_header(uint32_t offset) {
    std::string image(64, '\0');
    image[0] = 'M', image[1] = 'Z';
    put32(image, 60, offset);
    return image;
}

// A PE image: signature at 0x80, a file header, an optional header of
// `optional_size` bytes with `subsystem` at offset 68, cut to `length` bytes
// (0: whole).
std::string pe_image(unsigned subsystem, unsigned magic = 0x10B, size_t optional_size = 224, size_t length = 0) {
    std::string image = dos_header(0x80);
    image.resize(0x80);
    image += std::string("PE\0\0", 4);
    std::string file_header(20, '\0');
    put16(file_header, 0, 0x14C);
    put16(file_header, 16, static_cast<unsigned>(optional_size));
    image += file_header;
    std::string optional(optional_size, '\0');
    put16(optional, 0, magic);
    put16(optional, 68, subsystem);
    image += optional;
    if (length) image.resize(length);
    return image;
}

std::string with_signature(const char *two) {
    std::string image = dos_header(0x40);
    image += two;
    image += std::string(200, '\0');
    return image;
}

TEST(GuiApp, HeadersGiveTheSubsystemAndBadOffsetsGiveNoAnswer) {
    struct Case {
        const char *name;
        std::string contents;
        int result;
        int flag;
    } cases[] = {
        {"a text file", "just some text, long enough to fill a header of sixty-four bytes..\n", 0, 0},
        {"30 bytes", std::string("MZ") + std::string(28, '\x01'), 0, 0},
        {"empty", "", 0, 0},
        {"PE console", pe_image(3), 0, 0},
        {"PE windowed", pe_image(2), 0, 1},
        {"PE32+ windowed", pe_image(2, 0x20B, 240), 0, 1},
        {"PE32+ console", pe_image(3, 0x20B, 240), 0, 0},
        {"NE", with_signature("NE"), 0, 1},
        {"LE", with_signature("LE"), 0, 1},
        {"LX is neither", with_signature("LX"), 0, 0},
        {"MZ alone", dos_header(0x40) + std::string(16, '\0'), 0, 0},
        {"offset at the very end", dos_header(64), 0, 0},
        {"offset just past the end", dos_header(100) + std::string(10, '\0'), 0, 0},
        {"offset far beyond", dos_header(0x7FFFFFF0), 0, 0},
        {"negative offset", dos_header(0x80000000u), 0, 0},
        {"signature cut short", pe_image(2, 0x10B, 224, 0x82), 0, 0},
        {"file header cut short", pe_image(2, 0x10B, 224, 0x80 + 4 + 10), EINVAL, 0},
        {"optional header cut short", pe_image(2, 0x10B, 224, 0x80 + 4 + 20 + 100), EINVAL, 0},
        {"subsystem just inside the read", pe_image(2, 0x10B, 224, 0x80 + 4 + 20 + 224), 0, 1},
    };
    quarn::test::TempPrefix dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::path file = dir.path() / "image.exe";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.contents;
        int flag = static_cast<int>(0xdeadbeef);
        EXPECT_EQ(nt_is_gui_app(file.c_str(), &flag), c.result);
        EXPECT_EQ(flag, c.flag);
        EXPECT_EQ(nt_is_gui_app(file.c_str(), nullptr), c.result);  // no flag wanted
    }
}

TEST(GuiApp, FilesThatCannotBeOpenedGiveTheirErrno) {
    quarn::test::TempPrefix dir;
    struct Case {
        const char *name;
        std::string path;
        int result;
    } cases[] = {
        {"missing", (dir.path() / "missing.exe").string(), ENOENT},
        {"a directory", dir.path().string(), EACCES},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int flag = static_cast<int>(0xdeadbeef);
        EXPECT_EQ(nt_is_gui_app(c.path.c_str(), &flag), c.result);
        EXPECT_EQ(flag, 0);
    }
}

}  // namespace
