// UTF-16LE file bytes with a byte-order mark, as Windows writes .reg files,
// to and from UTF-8 text for the tool's tests.
#pragma once

#include <string>
#include <string_view>

#include "winnls.h"

namespace quarn::test {

inline std::string utf16le_with_bom(std::string_view utf8) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : win32::utf8_to_utf16(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// "" for bytes without the byte-order mark.
inline std::string utf16_file_text(std::string_view bytes) {
    if (!bytes.starts_with("\xFF\xFE")) return "";
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return win32::utf16_to_utf8(units);
}

}  // namespace quarn::test
