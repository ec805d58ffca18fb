// .reg files: reading (any of the encodings and both headers regedit has
// written) and writing (regedit's version 5.00 form).
//
//   text      encodings and lines
//   reading   the header, [key] sections, value lines, hex data
//   writing   escaping, hex wrapping, the file
#include "reg_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "winnls.h"
#include "winreg.h"

namespace quarn::tool {
namespace {

using win32::utf16_to_utf8;
using win32::utf8_to_utf16;

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr const char *kNotARegFile =
    "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
// regedit breaks a hex line after the comma that takes it to this column.
constexpr size_t kHexWrapColumn = 77;

// ---- text -------------------------------------------------------------------

// A conversion that gives back its input was given well-formed text.
bool valid_utf8(std::string_view text) { return utf16_to_utf8(utf8_to_utf16(text)) == text; }
bool valid_utf16(std::u16string_view text) { return utf8_to_utf16(utf16_to_utf8(text)) == text; }

// Strings that the registry keeps as text, which the ANSI calls convert.
bool is_string_type(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::u16string from_le_bytes(std::string_view bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return units;
}

std::string to_le_bytes(std::u16string_view units) {
    std::string bytes;
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string_view trim_left(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

std::string_view trim_right(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Hands each line of `text`, without its LF, to `take`: a final LF ends the
// last line, and an empty text is one empty line.
template <typename Char, typename Take>
void for_each_line(std::basic_string_view<Char> text, Take take) {
    size_t start = 0;
    do {
        size_t end = std::min(text.find(Char('\n'), start), text.size());
        take(text.substr(start, end - start));
        start = end + 1;
    } while (start < text.size());
}

// The file as lines of UTF-8 without their line ends, its encoding checked
// line by line so that an error can say where.
std::vector<std::string> decode_lines(std::string_view bytes) {
    std::vector<std::string> lines;
    auto fail = [&lines](const char *what) { throw RegFileError(static_cast<int>(lines.size()) + 1, what); };
    auto add = [&](std::string line) {
        std::string_view text = trim_right(line);
        // A name or string with a line break in it could not be written back.
        if (text.find_first_of(std::string_view("\0\r", 2)) != std::string_view::npos)
            fail("a NUL or carriage return inside a line");
        lines.push_back(std::string(text));
    };
    if (bytes.starts_with("\xFE\xFF")) fail("UTF-16 big-endian text is not supported; save the file as UTF-16LE or UTF-8");
    if (bytes.starts_with("\xFF\xFE")) {
        bytes.remove_prefix(2);
        std::u16string units = from_le_bytes(bytes);
        for_each_line<char16_t>(units, [&](std::u16string_view line) {
            if (!valid_utf16(line)) fail("the line is not valid UTF-16");
            add(utf16_to_utf8(line));
        });
        if (bytes.size() % 2)
            throw RegFileError(static_cast<int>(std::count(units.begin(), units.end(), u'\n')) + 1,
                               "the file ends in half a UTF-16 character");
        return lines;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    for_each_line<char>(bytes, [&](std::string_view line) {
        if (!valid_utf8(line)) fail("the line is not valid UTF-8");
        add(std::string(line));
    });
    return lines;
}

// ---- reading ----------------------------------------------------------------

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool starts_with_word(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if ((text[i] | 0x20) != word[i]) return false;
    return true;
}

class Parser {
public:
    explicit Parser(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    RegFile parse() {
        header();
        for (line_ = 1; line_ < lines_.size(); ++line_) {
            std::string_view line = trim_left(lines_[line_]);
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[')
                section(line);
            else if (line.front() == '"' || line.front() == '@')
                value(line);
            else
                fail("unexpected text; expected a [key] line, a value line or a ; comment");
        }
        return std::move(file_);
    }

private:
    [[noreturn]] void fail(const std::string &what) const { throw RegFileError(static_cast<int>(line_) + 1, what); }

    void header() {
        std::string_view first = lines_.front();
        if (first == kHeader5) return;
        if (first == kHeader4) {
            unicode_ = false;
            return;
        }
        fail(kNotARegFile);
    }

    void section(std::string_view line) {
        if (line.back() != ']') fail("the key line does not end with ]");
        std::string_view name = line.substr(1, line.size() - 2);
        bool remove = name.starts_with('-');
        if (remove) name.remove_prefix(1);
        auto path = parse_reg_path(name);
        if (!path) fail("invalid key name \"" + std::string(name) + "\"");
        if (!path->machine.empty()) fail("a .reg file names keys of this machine only: \"" + std::string(name) + "\"");
        if (remove && path->subkey.empty()) fail("a root key cannot be deleted");
        check_limits(path->subkey);
        file_.keys.push_back(RegFileKey{path->root, path->subkey, remove, {}});
    }

    // Windows' limits, checked here so that an import fails before it changes anything.
    void check_limits(std::string_view subkey) {
        size_t depth = 0;
        for (size_t start = 0; start < subkey.size(); ++depth) {
            size_t end = std::min(subkey.find('\\', start), subkey.size());
            if (utf8_to_utf16(subkey.substr(start, end - start)).size() > REG_MAX_KEY_NAME)
                fail("a key name is longer than " + std::to_string(REG_MAX_KEY_NAME) + " characters");
            start = end + 1;
        }
        if (depth > REG_MAX_TREE_DEPTH) fail("keys nest deeper than " + std::to_string(REG_MAX_TREE_DEPTH) + " levels");
    }

    void value(std::string_view rest) {
        if (file_.keys.empty()) fail("a value line before the first [key] line");
        if (file_.keys.back().remove) fail("a value line in a section that deletes its key");
        RegFileValue value;
        if (rest.front() == '@')
            rest.remove_prefix(1);
        else
            value.name = quoted(rest, "the value name");
        if (utf8_to_utf16(value.name).size() > REG_MAX_VALUE_NAME)
            fail("a value name is longer than " + std::to_string(REG_MAX_VALUE_NAME) + " characters");
        rest = trim_left(rest);
        if (!rest.starts_with('=')) fail("expected = after the value name");
        rest = trim_left(rest.substr(1));
        if (rest.starts_with('-')) {
            value.remove = true;
            rest.remove_prefix(1);
        } else if (rest.starts_with('"')) {
            value.type = REG_SZ;
            value.data = quoted(rest, "the string") + '\0';
        } else if (starts_with_word(rest, "dword:")) {
            value.type = REG_DWORD;
            value.data = dword(rest);
        } else if (starts_with_word(rest, "hex")) {
            value.type = hex_type(rest);
            value.data = data_of_type(value.type, hex_bytes(rest));
        } else {
            fail("unknown value data; expected \"text\", dword:, hex:, hex(N): or -");
        }
        if (!trim_left(rest).empty()) fail("unexpected text after the value data");
        file_.keys.back().values.push_back(std::move(value));
    }

    // A "..." text with \\ and \" unescaped; `rest` moves past it.
    std::string quoted(std::string_view &rest, const std::string &what) {
        std::string text;
        size_t i = 1;
        for (; i < rest.size() && rest[i] != '"'; ++i) {
            if (rest[i] == '\\') {
                if (i + 1 == rest.size() || (rest[i + 1] != '\\' && rest[i + 1] != '"'))
                    fail("a backslash in " + what + " must be written \\\\ (or \\\" for a quote)");
                ++i;
            }
            text += rest[i];
        }
        if (i == rest.size()) fail("the closing quote of " + what + " is missing");
        rest.remove_prefix(i + 1);
        return text;
    }

    std::string dword(std::string_view &rest) {
        rest.remove_prefix(6);
        uint32_t number = 0;
        size_t digits = 0;
        for (; digits < rest.size() && hex_digit(rest[digits]) >= 0; ++digits) {
            if (digits == 8) fail("a dword has at most 8 hex digits");
            number = number << 4 | hex_digit(rest[digits]);
        }
        if (digits == 0) fail("expected hex digits after dword:");
        rest.remove_prefix(digits);
        return std::string{static_cast<char>(number), static_cast<char>(number >> 8), static_cast<char>(number >> 16),
                           static_cast<char>(number >> 24)};
    }

    // hex: is REG_BINARY; hex(N): is type N, in hex.
    uint32_t hex_type(std::string_view &rest) {
        rest.remove_prefix(3);
        if (rest.starts_with(':')) {
            rest.remove_prefix(1);
            return REG_BINARY;
        }
        if (!rest.starts_with('(')) fail("expected hex: or hex(N):");
        uint32_t type = 0;
        size_t i = 1;
        for (; i < rest.size() && hex_digit(rest[i]) >= 0; ++i) {
            if (i > 8) fail("a value type has at most 8 hex digits");
            type = type << 4 | hex_digit(rest[i]);
        }
        if (i == 1 || !rest.substr(i).starts_with("):")) fail("expected hex(N): with N the type in hex");
        rest.remove_prefix(i + 2);
        return type;
    }

    // Comma-separated bytes, continued onto the next line after a backslash.
    std::string hex_bytes(std::string_view &rest) {
        std::string bytes;
        bool after_comma = false;
        for (;;) {
            rest = trim_left(rest);
            if (rest == "\\" && (after_comma || bytes.empty())) {
                    if (line_ + 1 == lines_.size()) fail("the file ends after a line continuation");
                rest = lines_[++line_];
                continue;
            }
            if (rest.empty()) {
                if (after_comma) fail("the hex data ends with a comma");
                return bytes;
            }
            if (!bytes.empty() && !after_comma) fail("expected a comma between hex bytes");
            int high = hex_digit(rest[0]);
            if (high < 0) fail("expected a hex byte");
            int low = rest.size() > 1 ? hex_digit(rest[1]) : -1;
            bytes += static_cast<char>(low < 0 ? high : high << 4 | low);
            rest.remove_prefix(low < 0 ? 1 : 2);
            rest = trim_left(rest);
            after_comma = rest.starts_with(',');
            if (after_comma) rest.remove_prefix(1);
        }
    }

    // String types hold UTF-16LE in a version 5.00 file, ANSI text (UTF-8
    // here) in REGEDIT4.
    std::string data_of_type(uint32_t type, std::string bytes) {
        if (!is_string_type(type)) return bytes;
        if (!unicode_) {
            if (!valid_utf8(bytes)) fail("string data is not valid UTF-8, the ANSI code page");
            return bytes;
        }
        if (bytes.size() % 2) fail("UTF-16 string data must have an even number of bytes");
        return utf16_to_utf8(from_le_bytes(bytes));
    }

    std::vector<std::string> lines_;
    size_t line_ = 0;  // index of the line being read
    bool unicode_ = true;
    RegFile file_;
};

// ---- writing ----------------------------------------------------------------

// Pieces of about this many bytes are converted and handed on.
constexpr size_t kPiece = 64 * 1024;

bool has_line_break(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// A REG_SZ that reads back the same from "text": one terminating NUL and
// nothing a quoted line cannot hold.
bool is_plain_string(const RegFileValue &value) {
    const std::string &data = value.data;
    return value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1 && !has_line_break(data) &&
           valid_utf8(data);
}

std::string hex_tag(uint32_t type) {
    if (type == REG_BINARY) return "hex:";
    char tag[24];
    std::snprintf(tag, sizeof tag, "hex(%x):", type);
    return tag;
}

// The first `limit` bytes or fewer of `text`, ending before a UTF-8
// continuation byte, so that each piece converts as the whole would.
size_t piece_end(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text.size();
    size_t end = limit;
    while (end > limit - 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

}  // namespace

RegFileWriter::RegFileWriter(Encoding encoding, Sink sink) : encoding_(encoding), sink_(std::move(sink)) {
    if (encoding_ == Encoding::utf16le) sink_("\xFF\xFE");
    put(kHeader5);
    put("\r\n\r\n");
}

void RegFileWriter::put(std::string_view text) {
    pending_.append(text);
    if (pending_.size() >= kPiece) flush();
}

void RegFileWriter::flush() {
    if (pending_.empty()) return;
    if (encoding_ == Encoding::utf16le)
        sink_(to_le_bytes(utf8_to_utf16(pending_)));
    else
        sink_(pending_);
    pending_.clear();
}

void RegFileWriter::put_escaped(std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' && text[i] != '"') continue;
        put(text.substr(start, i - start));
        put("\\");
        start = i;
    }
    put(text.substr(start));
}

// Comma-separated bytes, broken after the comma that reaches the wrap column
// and continued on a line indented by two spaces, as regedit writes them.
// `last` says whether these bytes end the value (no comma after them).
void RegFileWriter::put_hex(std::string_view bytes, size_t &column, bool last) {
    char text[kPiece / 8 * 3 + 16];
    size_t used = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        static const char digits[] = "0123456789abcdef";
        auto byte = static_cast<unsigned char>(bytes[i]);
        text[used++] = digits[byte >> 4];
        text[used++] = digits[byte & 15];
        if (last && i + 1 == bytes.size()) break;
        text[used++] = ',';
        column += 3;
        if (column >= kHexWrapColumn) {
            std::memcpy(text + used, "\\\r\n  ", 5);
            used += 5;
            column = 2;
        }
        if (used + 8 > sizeof text) {
            put(std::string_view(text, used));
            used = 0;
        }
    }
    put(std::string_view(text, used));
}

// A value's bytes as hex; strings as the UTF-16 regedit keeps, converted a
// piece at a time.
void RegFileWriter::put_data_hex(const RegFileValue &value, size_t column) {
    std::string_view data = value.data;
    if (!is_string_type(value.type)) {
        for (size_t at = 0; at < data.size(); at += kPiece / 8)
            put_hex(data.substr(at, kPiece / 8), column, at + kPiece / 8 >= data.size());
        return;
    }
    while (!data.empty()) {
        size_t end = piece_end(data, kPiece / 16);
        put_hex(to_le_bytes(utf8_to_utf16(data.substr(0, end))), column, end == data.size());
        data.remove_prefix(end);
    }
}

void RegFileWriter::begin_key(RegRoot root, std::string_view subkey, bool remove) {
    key_name_ = reg_key_text(root, std::string(subkey));
    if (has_line_break(key_name_))
        throw RegFileError(0, "the key name \"" + key_name_ + "\" holds a line break, which a .reg file cannot hold");
    put(remove ? "[-" : "[");
    put(key_name_);
    put("]\r\n");
}

void RegFileWriter::value(const RegFileValue &value) {
    if (has_line_break(value.name))
        throw RegFileError(0, "the value name \"" + value.name + "\" of " + key_name_ +
                                  " holds a line break, which a .reg file cannot hold");
    std::string start = value.name.empty() ? "@=" : "\"";
    if (!value.name.empty()) {
        put(start);
        put_escaped(value.name);
        start = "\"=";
    }
    if (value.remove) {
        put(start + "-\r\n");
        return;
    }
    if (is_plain_string(value)) {
        put(start + "\"");
        std::string_view text(value.data.data(), value.data.size() - 1);
        for (size_t end; !text.empty(); text.remove_prefix(end)) put_escaped(text.substr(0, end = piece_end(text, kPiece)));
        put("\"\r\n");
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", number);
        put(start + digits + "\r\n");
        return;
    }
    // Columns count characters, as regedit counts them in its UTF-16 text.
    std::string tag = hex_tag(value.type);
    size_t column = tag.size() + (value.name.empty() ? 2
                                                     : utf8_to_utf16(value.name).size() + 3 +
                                                           std::count_if(value.name.begin(), value.name.end(),
                                                                         [](char c) { return c == '\\' || c == '"'; }));
    put(start + tag);
    put_data_hex(value, column);
    put("\r\n");
}

void RegFileWriter::end_key() { put("\r\n"); }

RegFile parse_reg_file(std::string_view bytes) { return Parser(decode_lines(bytes)).parse(); }

void check_reg_file_start(std::string_view start) {
    bool utf16 = start.starts_with("\xFF\xFE");
    size_t end = start.find('\n');
    while (utf16 && end != std::string_view::npos && end % 2 != 0) end = start.find('\n', end + 1);
    if (end != std::string_view::npos || start.size() < kRegFileProbe) {
        // The first line alone is a whole file that holds only its header.
        Parser(decode_lines(start.substr(0, end))).parse();
        return;
    }
    // A first line longer than the probe is a header only when blanks follow it.
    std::string line;
    if (utf16) {
        for (char16_t unit : from_le_bytes(start.substr(2))) {
            if (unit > 0x7F) throw RegFileError(1, kNotARegFile);
            line += static_cast<char>(unit);
        }
    } else {
        line = start.substr(start.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    }
    std::string_view header = trim_right(line);
    if (header != kHeader5 && header != kHeader4) throw RegFileError(1, kNotARegFile);
}

namespace {

std::string whole_file(const RegFile &file, RegFileWriter::Encoding encoding) {
    std::string bytes;
    RegFileWriter writer(encoding, [&bytes](std::string_view piece) { bytes.append(piece); });
    for (const auto &key : file.keys) {
        writer.begin_key(key.root, key.subkey, key.remove);
        for (const auto &value : key.values) writer.value(value);
        writer.end_key();
    }
    writer.flush();
    return bytes;
}

}  // namespace

std::string reg_file_text(const RegFile &file) { return whole_file(file, RegFileWriter::Encoding::utf8); }

std::string write_reg_file(const RegFile &file) { return whole_file(file, RegFileWriter::Encoding::utf16le); }

}  // namespace quarn::tool
