// .reg files: every value type's form in both directions, regedit's hex
// wrapping, the encodings and headers, deletions, and malformed input with
// the line it is reported on.
#include <gtest/gtest.h>

#include "reg_file.h"
#include "utf16_bytes.h"
#include "winreg.h"

namespace quarn::tool {
namespace {

using namespace std::string_literals;
using test::utf16le_with_bom;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// A file of one key, HKEY_CURRENT_USER\T, with `lines` below its section line.
std::string one_key_file(const std::string &lines) { return kHeader + "[HKEY_CURRENT_USER\\T]\r\n" + lines + "\r\n"; }

RegFileValue only_value(const RegFile &file) {
    EXPECT_EQ(file.keys.size(), 1u);
    EXPECT_EQ(file.keys.at(0).values.size(), 1u);
    return file.keys.at(0).values.at(0);
}

std::string written_value_line(const RegFileValue &value) {
    RegFile file{{RegFileKey{RegRoot::current_user, "T", false, {value}}}};
    std::string text = reg_file_text(file);
    std::string start = kHeader + "[HKEY_CURRENT_USER\\T]\r\n";
    EXPECT_TRUE(text.starts_with(start));
    EXPECT_TRUE(text.ends_with("\r\n\r\n"));
    return text.substr(start.size(), text.size() - start.size() - 4);
}

// ---- one value line, read and written ----------------------------------------

struct ValueRow {
    const char *label;
    std::string line;  // as regedit writes it
    RegFileValue value;
};

const ValueRow kValueRows[] = {
    {"string", R"("a"="text")", {"a", false, REG_SZ, "text\0"s}},
    {"escaped string and name", R"("C:\\x \"y\""="C:\\dir \"q\"")", {"C:\\x \"y\"", false, REG_SZ, "C:\\dir \"q\"\0"s}},
    {"empty string", R"("a"="")", {"a", false, REG_SZ, "\0"s}},
    {"non-ASCII string", "\"n\xC3\xA9\"=\"\xE2\x82\xAC\"", {"n\xC3\xA9", false, REG_SZ, "\xE2\x82\xAC\0"s}},
    {"default value", R"(@="d")", {"", false, REG_SZ, "d\0"s}},
    {"dword", R"("a"=dword:0000002a)", {"a", false, REG_DWORD, "\x2a\0\0\0"s}},
    {"dword high bits", R"("a"=dword:ffffffff)", {"a", false, REG_DWORD, "\xff\xff\xff\xff"s}},
    {"binary", R"("a"=hex:01,ff,00)", {"a", false, REG_BINARY, "\x01\xff\0"s}},
    {"empty binary", R"("a"=hex:)", {"a", false, REG_BINARY, ""}},
    {"none", R"("a"=hex(0):00)", {"a", false, REG_NONE, "\0"s}},
    {"expandable string in UTF-16", R"("a"=hex(2):25,00,e9,00,ac,20,00,00)", {"a", false, REG_EXPAND_SZ, "%\xC3\xA9\xE2\x82\xAC\0"s}},
    {"string list in UTF-16", R"("a"=hex(7):61,00,00,00,62,00,00,00,00,00)", {"a", false, REG_MULTI_SZ, "a\0b\0\0"s}},
    {"qword", R"("a"=hex(b):01,02,03,04,05,06,07,08)", {"a", false, REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s}},
    {"big-endian dword", R"("a"=hex(5):00,00,00,01)", {"a", false, REG_DWORD_BIG_ENDIAN, "\0\0\0\x01"s}},
    {"link", R"("a"=hex(6):41,00)", {"a", false, REG_LINK, "A\0"s}},
    {"resource list", R"("a"=hex(8):01)", {"a", false, REG_RESOURCE_LIST, "\x01"s}},
    {"type without a name", R"("a"=hex(20000):ab)", {"a", false, 0x20000, "\xab"s}},
    {"string with a line break as UTF-16", R"("a"=hex(1):61,00,0a,00,62,00,00,00)", {"a", false, REG_SZ, "a\nb\0"s}},
    {"string without its NUL as UTF-16", R"("a"=hex(1):61,00)", {"a", false, REG_SZ, "a"}},
    {"string with an inner NUL as UTF-16", R"("a"=hex(1):61,00,00,00,62,00,00,00)", {"a", false, REG_SZ, "a\0b\0"s}},
    {"empty REG_SZ as UTF-16", R"("a"=hex(1):)", {"a", false, REG_SZ, ""}},
    {"dword of the wrong size", R"("a"=hex(4):01,02)", {"a", false, REG_DWORD, "\x01\x02"s}},
    {"deleted value", R"("a"=-)", {"a", true, 0, ""}},
    {"deleted default value", R"(@=-)", {"", true, 0, ""}},
};

TEST(RegFile, ReadsEveryValueForm) {
    for (const auto &row : kValueRows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(only_value(parse_reg_file(one_key_file(row.line))), row.value);
    }
}

TEST(RegFile, WritesEveryValueForm) {
    for (const auto &row : kValueRows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(written_value_line(row.value), row.line);
    }
}

TEST(RegFile, ReadsLenientSpellings) {
    struct Row {
        const char *label;
        const char *line;
        RegFileValue value;
    };
    const Row rows[] = {
        {"blanks around =", "\"a\" =  \"x\"", {"a", false, REG_SZ, "x\0"s}},
        {"short dword", "\"a\"=dword:2A", {"a", false, REG_DWORD, "\x2a\0\0\0"s}},
        {"upper-case words", "\"a\"=HEX(B):01,00,00,00,00,00,00,00", {"a", false, REG_QWORD, "\x01\0\0\0\0\0\0\0"s}},
        {"one-digit bytes and blanks", "\"a\"=hex: 1 , f,10", {"a", false, REG_BINARY, "\x01\x0f\x10"s}},
        {"empty name is the default", "\"\"=\"x\"", {"", false, REG_SZ, "x\0"s}},
        {"trailing blanks", "\"a\"=\"x\"  \t", {"a", false, REG_SZ, "x\0"s}},
        {"continued hex", "\"a\"=hex:01,\\\r\n   02,\\\r\n03", {"a", false, REG_BINARY, "\x01\x02\x03"s}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(only_value(parse_reg_file(one_key_file(row.line))), row.value);
    }
}

// ---- hex wrapping -------------------------------------------------------------

std::string byte_run(size_t count, size_t first = 0) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) bytes += static_cast<char>(first + i);
    return bytes;
}

std::string hex_list(std::string_view bytes) {
    std::string text;
    for (unsigned char b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x,", b);
        text += digits;
    }
    return text;
}

TEST(RegFile, WrapsHexDataAsRegeditDoes) {
    // regedit's own layout for a 48-byte value named Settings: 21 bytes after
    // the 15 columns of "Settings"=hex:, then 25 a line after two blanks.
    std::string bytes = byte_run(48);
    std::string expected = "\"Settings\"=hex:" + hex_list(bytes.substr(0, 21)) + "\\\r\n  " +
                           hex_list(bytes.substr(21, 25)) + "\\\r\n  " + hex_list(bytes.substr(46, 2));
    expected.pop_back();  // no comma after the last byte
    EXPECT_EQ(written_value_line({"Settings", false, REG_BINARY, bytes}), expected);
}

TEST(RegFile, HexLinesStayWithinEightyColumnsAndReadBack) {
    for (size_t name_length : {0u, 1u, 7u, 40u, 70u, 90u}) {
        for (size_t size : {0u, 1u, 20u, 21u, 22u, 25u, 26u, 100u, 1000u}) {
            SCOPED_TRACE("name " + std::to_string(name_length) + ", " + std::to_string(size) + " bytes");
            RegFileValue value{std::string(name_length, 'n'), false, REG_BINARY, byte_run(size, 7)};
            std::string line = written_value_line(value);
            size_t start = 0, lines = 0;
            while (start < line.size()) {
                size_t end = std::min(line.find("\r\n", start), line.size());
                std::string_view part(line.data() + start, end - start);
                // A name longer than a line cannot be broken; only its data is.
                if (lines > 0 || name_length < 60) {
                    EXPECT_LE(part.size(), 80u) << part;
                }
                if (end < line.size()) {
                    EXPECT_TRUE(part.ends_with(",\\")) << part;
                }
                if (lines > 0) {
                    EXPECT_TRUE(part.starts_with("  ")) << part;
                }
                start = end + 2;
                ++lines;
            }
            EXPECT_EQ(only_value(parse_reg_file(one_key_file(line))), value);
        }
    }
}

TEST(RegFile, WrapColumnsCountCharactersNotBytes) {
    // Nine two-byte characters take nine columns, as in regedit's UTF-16 text.
    std::string name;
    for (int i = 0; i < 9; ++i) name += "\xC3\xA9";
    std::string bytes = byte_run(30);
    size_t prefix = 2 + 9 + 1 + 4;  // quotes, the name, =, hex:
    size_t first_line_bytes = (77 - prefix + 2) / 3;
    std::string expected = "\"" + name + "\"=hex:" + hex_list(bytes.substr(0, first_line_bytes)) + "\\\r\n  " +
                           hex_list(bytes.substr(first_line_bytes));
    expected.pop_back();
    EXPECT_EQ(written_value_line({name, false, REG_BINARY, bytes}), expected);
}

// ---- encodings and headers ------------------------------------------------------

const RegFile kSample{{
    RegFileKey{RegRoot::local_machine, "Software\\Caf\xC3\xA9", false,
               {{"", false, REG_SZ, "d\0"s}, {"n", false, REG_DWORD, "\x01\0\0\0"s},
                {"e", false, REG_EXPAND_SZ, "%x%\0"s}}},
    RegFileKey{RegRoot::current_user, "Gone", true, {}},
}};
const std::string kSampleText = kHeader +
                                "[HKEY_LOCAL_MACHINE\\Software\\Caf\xC3\xA9]\r\n"
                                "@=\"d\"\r\n"
                                "\"n\"=dword:00000001\r\n"
                                "\"e\"=hex(2):25,00,78,00,25,00,00,00\r\n"
                                "\r\n"
                                "[-HKEY_CURRENT_USER\\Gone]\r\n"
                                "\r\n";

TEST(RegFile, WritesUtf16WithByteOrderMark) {
    EXPECT_EQ(reg_file_text(kSample), kSampleText);
    EXPECT_EQ(write_reg_file(kSample), utf16le_with_bom(kSampleText));
}

TEST(RegFile, ReadsEveryEncoding) {
    std::string lf_text = kSampleText;
    for (size_t at; (at = lf_text.find("\r\n")) != std::string::npos;) lf_text.replace(at, 2, "\n");
    struct Row {
        const char *label;
        std::string bytes;
    };
    const Row rows[] = {
        {"UTF-16LE with byte-order mark", utf16le_with_bom(kSampleText)},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + kSampleText},
        {"UTF-8", kSampleText},
        {"UTF-8 with LF line ends", lf_text},
        {"UTF-16LE with LF line ends", utf16le_with_bom(lf_text)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(parse_reg_file(row.bytes), kSample);
    }
}

TEST(RegFile, ReadsRegedit4WithAnsiStrings) {
    std::string text =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n\"s\"=\"x\"\r\n\"e\"=hex(2):25,78,25,00\r\n"
        "\"m\"=hex(7):61,00,62,00,00\r\n\"b\"=hex:01,02\r\n";
    RegFile expected{{RegFileKey{RegRoot::current_user, "T", false,
                                 {{"s", false, REG_SZ, "x\0"s}, {"e", false, REG_EXPAND_SZ, "%x%\0"s},
                                  {"m", false, REG_MULTI_SZ, "a\0b\0\0"s}, {"b", false, REG_BINARY, "\x01\x02"s}}}}};
    EXPECT_EQ(parse_reg_file(text), expected);
}

TEST(RegFile, KeepsSectionsCommentsAsideAndInOrder) {
    std::string text = kHeader +
                       "; a comment\r\n"
                       "[HKLM\\A]\r\n"
                       "  ; indented comment\r\n"
                       "\"x\"=\"1\"\r\n"
                       "[hkey_current_user]\r\n"
                       "@=\"root\"\r\n"
                       "[HKEY_LOCAL_MACHINE\\A]\r\n"
                       "\"x\"=-\r\n"
                       "[HKLM\\a]\r\n";
    RegFile expected{{RegFileKey{RegRoot::local_machine, "A", false, {{"x", false, REG_SZ, "1\0"s}}},
                      RegFileKey{RegRoot::current_user, "", false, {{"", false, REG_SZ, "root\0"s}}},
                      RegFileKey{RegRoot::local_machine, "A", false, {{"x", true, 0, ""}}},
                      RegFileKey{RegRoot::local_machine, "a", false, {}}}};
    EXPECT_EQ(parse_reg_file(text), expected);
}

TEST(RegFile, KeyNamesKeepBracketsAndBlanks) {
    RegFile file{{RegFileKey{RegRoot::current_user, "a]b\\ c ", false, {}}}};
    EXPECT_EQ(parse_reg_file(reg_file_text(file)), file);
}

TEST(RegFile, RichModelReadsBackFromItsFile) {
    RegFile file{{
        RegFileKey{RegRoot::current_user, "R", false,
                   {{"", false, REG_SZ, "\0"s},
                    {"s", false, REG_SZ, "line\r\nbreak\0"s},
                    {"q\"uote\\", false, REG_MULTI_SZ, "\xE6\x97\xA5\0\0"s},
                    {"big", false, REG_BINARY, byte_run(255)},
                    {"odd", false, 0xFFFFFFFFu, "z"},
                    {"gone", true, 0, ""}}},
        RegFileKey{RegRoot::current_user, "R\\Sub", false, {}},
        RegFileKey{RegRoot::local_machine, "X", true, {}},
    }};
    EXPECT_EQ(parse_reg_file(write_reg_file(file)), file);
    EXPECT_EQ(parse_reg_file(reg_file_text(file)), file);
}

TEST(RegFile, AcceptsNamesAtWindowsLimits) {
    // Limits count characters: 255 two-byte characters make a key name of 510 bytes.
    std::string key_name;
    for (int i = 0; i < 255; ++i) key_name += "\xC3\xA9";
    std::string deep;
    for (int i = 0; i < 512; ++i) deep += (i ? "\\k" : "k");
    RegFile file{{RegFileKey{RegRoot::current_user, key_name, false, {{std::string(16383, 'v'), false, REG_SZ, "\0"s}}},
                  RegFileKey{RegRoot::current_user, deep, false, {}}}};
    EXPECT_EQ(parse_reg_file(write_reg_file(file)), file);
}

TEST(RegFile, RefusesToWriteNamesWithLineBreaks) {
    RegFile bad_key{{RegFileKey{RegRoot::current_user, "a\nb", false, {}}}};
    RegFile bad_value{{RegFileKey{RegRoot::current_user, "a", false, {{"x\ry", false, REG_SZ, "\0"s}}}}};
    for (const RegFile *file : {&bad_key, &bad_value}) {
        try {
            write_reg_file(*file);
            ADD_FAILURE() << "written";
        } catch (const RegFileError &error) {
            EXPECT_EQ(error.line(), 0);
            EXPECT_NE(std::string(error.what()).find("line break"), std::string::npos);
        }
    }
}

// ---- malformed input ----------------------------------------------------------------

struct BadRow {
    const char *label;
    std::string bytes;
    int line;
    const char *message;  // a part of the error's text
};

TEST(RegFile, ReportsMalformedInputWithItsLine) {
    const std::string key = "[HKEY_CURRENT_USER\\T]\r\n";
    const BadRow rows[] = {
        {"empty file", "", 1, "first line"},
        {"another header", "REGEDIT5\r\n", 1, "first line"},
        {"header not first", "\r\n" + kHeader, 1, "first line"},
        {"UTF-16 big-endian", "\xFE\xFF\0W"s, 1, "big-endian"},
        {"value before any key", kHeader + "\"a\"=\"b\"\r\n", 3, "before the first"},
        {"unterminated name", kHeader + key + "\"a=\"b\"\r\n", 4, "="},
        {"unterminated string", kHeader + key + "\"a\"=\"b\r\n", 4, "closing quote"},
        {"unknown escape", kHeader + key + "\"a\"=\"C:\\dir\"\r\n", 4, "backslash"},
        {"missing =", kHeader + key + "\"a\" \"b\"\r\n", 4, "expected ="},
        {"unknown data", kHeader + key + "\"a\"=word:1\r\n", 4, "unknown value data"},
        {"dword without digits", kHeader + key + "\"a\"=dword:\r\n", 4, "hex digits"},
        {"dword of nine digits", kHeader + key + "\"a\"=dword:000000001\r\n", 4, "8 hex digits"},
        {"dword not hex", kHeader + key + "\"a\"=dword:12g4\r\n", 4, "after the value data"},
        {"hex without commas", kHeader + key + "\"a\"=hex:01 02\r\n", 4, "comma"},
        {"hex ending in a comma", kHeader + key + "\"a\"=hex:01,02,\r\n", 4, "ends with a comma"},
        {"hex not hex", kHeader + key + "\"a\"=hex:0g\r\n", 4, "comma"},
        {"hex type not hex", kHeader + key + "\"a\"=hex(zz):01\r\n", 4, "hex(N)"},
        {"hex type unclosed", kHeader + key + "\"a\"=hex(2:01\r\n", 4, "hex(N)"},
        {"continuation at the end", kHeader + key + "\"a\"=hex:01,\\\r\n", 4, "ends after a line continuation"},
        {"error on a continued line", kHeader + key + "\"a\"=hex:01,\\\r\n  02,xx\r\n", 5, "hex byte"},
        {"odd UTF-16 string data", kHeader + key + "\"a\"=hex(2):41\r\n", 4, "even number"},
        {"text after the data", kHeader + key + "\"a\"=\"b\" c\r\n", 4, "after the value data"},
        {"unknown root", kHeader + "[HKEY_CLASSES_ROOT\\x]\r\n", 3, "invalid key name"},
        {"empty key name", kHeader + "[HKLM\\a\\\\b]\r\n", 3, "invalid key name"},
        {"another machine", kHeader + "[\\\\M\\HKLM\\a]\r\n", 3, "this machine"},
        {"no closing bracket", kHeader + "[HKLM\\a\r\n", 3, "]"},
        {"root deletion", kHeader + "[-HKEY_LOCAL_MACHINE]\r\n", 3, "root"},
        {"value in a deletion", kHeader + "[-HKLM\\a]\r\n\"x\"=\"y\"\r\n", 4, "deletes its key"},
        {"stray text", kHeader + key + "x=1\r\n", 4, "unexpected text"},
        {"invalid UTF-8", kHeader + key + "\"a\"=\"\xC3\"\r\n", 4, "UTF-8"},
        {"NUL in UTF-8 text", kHeader + key + "\"a\"=\"\0\"\r\n"s, 4, "NUL"},
        {"key name of 256 characters", kHeader + "[HKCU\\a\\" + std::string(256, 'k') + "]\r\n", 3, "longer than 255"},
        {"value name of 16384 characters", kHeader + key + "\"" + std::string(16384, 'v') + "\"=\"\"\r\n", 4,
         "longer than 16383"},
        {"keys 513 deep", kHeader + "[HKCU" + [] {
             std::string path;
             for (int i = 0; i < 513; ++i) path += "\\k";
             return path;
         }() + "]\r\n",
         3, "deeper than 512"},
        {"carriage return inside a line", kHeader + key + "\"a\rb\"=\"c\"\r\n", 4, "carriage return"},
        {"REGEDIT4 string data not UTF-8", "REGEDIT4\r\n[HKCU\\a]\r\n\"e\"=hex(2):c3,00\r\n", 3, "UTF-8"},
        {"lone surrogate in UTF-16", utf16le_with_bom(kHeader + key).append("\x00\xD8\r\0\n\0"s), 4, "UTF-16"},
        {"half a UTF-16 character", utf16le_with_bom(kHeader + key).append("\""), 4, "half"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        try {
            parse_reg_file(row.bytes);
            ADD_FAILURE() << "parsed";
        } catch (const RegFileError &error) {
            EXPECT_EQ(error.line(), row.line) << error.what();
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        }
    }
}

TEST(RegFile, TheStartTellsWhetherAFileCanBeOne) {
    const std::string blanks(5000, ' ');
    struct Row {
        const char *label;
        std::string start;
        bool accepted;
    } rows[] = {
        {"version 5 header", "Windows Registry Editor Version 5.00\r\n[HKEY", true},
        {"REGEDIT4 alone", "REGEDIT4", true},
        {"UTF-16 header", test::utf16le_with_bom("REGEDIT4\r\n[HKEY"), true},
        {"header and blanks past the probe", "REGEDIT4" + blanks, true},
        {"UTF-16 header and blanks past the probe", test::utf16le_with_bom("REGEDIT4" + blanks), true},
        {"zeros", std::string(8192, '\0'), false},
        {"another first line", "REGEDIT5\r\n", false},
        {"text after the header in a long line", "REGEDIT4 x" + blanks, false},
        {"empty", "", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        std::string_view start = std::string_view(row.start).substr(0, kRegFileProbe);
        try {
            check_reg_file_start(start);
            EXPECT_TRUE(row.accepted);
        } catch (const RegFileError &error) {
            EXPECT_FALSE(row.accepted) << error.what();
            EXPECT_EQ(error.line(), 1);
        }
    }
}

}  // namespace
}  // namespace quarn::tool
