// .reg files, the text regedit and reg.exe export and import, as a model of
// keys and values: parsing and writing only, no registry calls.  Value data
// is held as the ANSI (UTF-8) registry calls see it; the file's UTF-16 forms
// are converted on the way in and out.  docs/reg-files.md describes the format.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "reg_path.h"

namespace quarn::tool {

struct RegFileValue {
    std::string name;     // "" is the key's default value, written @
    bool remove = false;  // "name"=- : delete the value
    uint32_t type = 0;    // REG_SZ, REG_DWORD, ... or any other number
    std::string data;     // the bytes as RegQueryValueExA returns them

    bool operator==(const RegFileValue &) const = default;
};

struct RegFileKey {
    RegRoot root = RegRoot::local_machine;
    std::string subkey;   // "" for the root itself
    bool remove = false;  // [-KEY]: delete the key and everything below it
    std::vector<RegFileValue> values;

    bool operator==(const RegFileKey &) const = default;
};

struct RegFile {
    std::vector<RegFileKey> keys;  // in file order; later entries win

    bool operator==(const RegFile &) const = default;
};

// What is wrong with a file, and the line it was found on (1-based; 0 when
// a model cannot be written as a file).
class RegFileError : public std::runtime_error {
public:
    RegFileError(int line, const std::string &what) : std::runtime_error(what), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// The whole file, or RegFileError: UTF-16LE with its byte-order mark, or
// UTF-8 with or without one; "Windows Registry Editor Version 5.00" or
// "REGEDIT4" on the first line.
RegFile parse_reg_file(std::string_view bytes);

// The first kRegFileProbe bytes of a file (or all of a shorter one) are
// enough to tell whether it can be a .reg file at all: its first line is
// the header.  Throws RegFileError for line 1 when it cannot.
constexpr size_t kRegFileProbe = 4096;
void check_reg_file_start(std::string_view start);

// The file as regedit writes it: version 5.00 text with CR LF line ends, hex
// data wrapped at 80 columns, made piece by piece.  Each piece goes to the
// sink as soon as some kilobytes are ready, so the memory used does not grow
// with the file or with a value (beyond the value's own bytes).  RegFileError
// for a name that no .reg line can hold (one with a line break).
class RegFileWriter {
public:
    enum class Encoding {
        utf16le,  // with a byte-order mark, as regedit writes
        utf8,     // no byte-order mark
    };
    using Sink = std::function<void(std::string_view bytes)>;
    RegFileWriter(Encoding encoding, Sink sink);

    // [KEY] or [-KEY], then the key's values, then end_key.
    void begin_key(RegRoot root, std::string_view subkey, bool remove = false);
    void value(const RegFileValue &value);
    void end_key();
    // Hands what is still held to the sink; call once at the end.
    void flush();

private:
    void put(std::string_view text);
    void put_escaped(std::string_view text);
    void put_hex(std::string_view bytes, size_t &column, bool last);
    void put_data_hex(const RegFileValue &value, size_t column);

    Encoding encoding_;
    Sink sink_;
    std::string key_name_;  // of the key being written, for messages
    std::string pending_;
};

// The whole file at once: `reg_file_text` in UTF-8, `write_reg_file` in
// UTF-16LE with a byte-order mark.
std::string reg_file_text(const RegFile &file);
std::string write_reg_file(const RegFile &file);

}  // namespace quarn::tool
