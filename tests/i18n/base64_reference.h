// Base64 worked out one bit field at a time, the reference the encoders'
// fast paths are held to.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace i18n_test {

// The Base64 of `bytes` in a body's lines: 76 characters on the first, 72 on
// each continuation line, separated by CR LF.
inline std::string reference_b64_body(const std::string &bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t bits = 0;
        size_t have = std::min<size_t>(3, bytes.size() - i);
        for (size_t k = 0; k < 3; ++k) bits = bits << 8 | (k < have ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) flat += k <= have ? alphabet[(bits >> (18 - 6 * k)) & 63] : '=';
    }
    std::string lines = flat.substr(0, 76);
    for (size_t at = 76; at < flat.size(); at += 72) lines += "\r\n" + flat.substr(at, 72);
    return lines;
}

// Bytes of every value, then pseudo-random ones.
inline std::string mixed_bytes(size_t count) {
    std::string bytes;
    uint32_t state = 12345;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>(i < 256 ? i : state >> 24);
    }
    return bytes;
}

}  // namespace i18n_test
