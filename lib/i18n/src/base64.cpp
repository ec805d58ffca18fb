// Base64 groups over a pair table, so each group costs two look-ups, and two
// groups come from one load.
#include "base64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace i18n_mime::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for each 12-bit value, as they lie in memory.
struct PairTable {
    std::array<uint16_t, 4096> pairs{};
    constexpr PairTable() {
        for (int i = 0; i < 4096; ++i) {
            auto first = static_cast<uint16_t>(static_cast<unsigned char>(kAlphabet[i >> 6]));
            auto second = static_cast<uint16_t>(static_cast<unsigned char>(kAlphabet[i & 63]));
            pairs[i] = std::endian::native == std::endian::little ? static_cast<uint16_t>(first | second << 8)
                                                                  : static_cast<uint16_t>(first << 8 | second);
        }
    }
};
constexpr PairTable kPairs;

constexpr bool kLittle = std::endian::native == std::endian::little;

// The four characters of a 24-bit group, as they lie in memory.
inline uint64_t chars_of(uint32_t bits) {
    uint64_t first = kPairs.pairs[bits >> 12];
    uint64_t second = kPairs.pairs[bits & 0xFFF];
    return kLittle ? first | second << 16 : first << 16 | second;
}

inline uint32_t group_bits(const unsigned char *in) { return uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2]; }

}  // namespace

char *encode_groups(const unsigned char *in, size_t groups, char *out) {
    // Two groups per step from one 8-byte load, while 8 bytes remain readable.
    for (; groups > 2; groups -= 2, in += 6, out += 8) {
        uint64_t word;
        std::memcpy(&word, in, sizeof word);
        if constexpr (kLittle) word = __builtin_bswap64(word);
        uint64_t first = chars_of(static_cast<uint32_t>(word >> 40));
        uint64_t second = chars_of(static_cast<uint32_t>(word >> 16) & 0xFFFFFF);
        uint64_t chars = kLittle ? first | second << 32 : first << 32 | second;
        std::memcpy(out, &chars, sizeof chars);
    }
    for (; groups; --groups, in += 3, out += 4) {
        auto chars = static_cast<uint32_t>(chars_of(group_bits(in)));
        std::memcpy(out, &chars, sizeof chars);
    }
    return out;
}

char *encode_last(const unsigned char *in, size_t count, char *out) {
    uint32_t bits = uint32_t{in[0]} << 16 | (count > 1 ? uint32_t{in[1]} << 8 : 0);
    *out++ = kAlphabet[bits >> 18];
    *out++ = kAlphabet[(bits >> 12) & 63];
    *out++ = count > 1 ? kAlphabet[(bits >> 6) & 63] : '=';
    *out++ = '=';
    return out;
}

}  // namespace i18n_mime::base64
