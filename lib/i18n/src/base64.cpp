// Base64 groups, unrolled over a pair table so each group costs two look-ups.
#include "base64.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace i18n_mime::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for each 12-bit value.
struct PairTable {
    std::array<char, 2 * 4096> pairs{};
    constexpr PairTable() {
        for (int i = 0; i < 4096; ++i) {
            pairs[2 * i] = kAlphabet[i >> 6];
            pairs[2 * i + 1] = kAlphabet[i & 63];
        }
    }
};
constexpr PairTable kPairs;

}  // namespace

char *encode_groups(const unsigned char *in, size_t groups, char *out) {
    for (size_t i = 0; i < groups; ++i, in += 3, out += 4) {
        uint32_t bits = uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
        std::memcpy(out, &kPairs.pairs[2 * (bits >> 12)], 2);
        std::memcpy(out + 2, &kPairs.pairs[2 * (bits & 0xFFF)], 2);
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
