// .reg files, the text regedit and reg.exe export and import, as a model of
// keys and values: parsing and writing only, no registry calls.  Value data
// is held as the ANSI (UTF-8) registry calls see it; the file's UTF-16 forms
// are converted on the way in and out.  docs/reg-files.md describes the format.
#pragma once

#include <cstdint>
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

// The file as regedit writes it: version 5.00 text with CR LF line ends, hex
// data wrapped at 80 columns.  `reg_file_text` gives it in UTF-8,
// `write_reg_file` in UTF-16LE with a byte-order mark.  RegFileError for a
// name that no .reg line can hold (one with a line break).
std::string reg_file_text(const RegFile &file);
std::string write_reg_file(const RegFile &file);

}  // namespace quarn::tool
