// Base64 groups: eight or four at a time with AVX2 where the processor has it, else
// over a pair table, so each group costs two look-ups, and two groups come
// from one load.
#include "base64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__)
// A full step reads 28 bytes (two 16-byte loads, 12 used of each) for 8
// groups; a half step reads 16 bytes for 4.
constexpr size_t kWideGroups = 8;
constexpr size_t kWideReadGroups = 10;
constexpr size_t kHalfGroups = 4;
constexpr size_t kHalfReadGroups = 6;

const bool kHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// The characters of the group in each 12-byte half of `in`: each 32-bit lane
// gathers the bytes of one group, the multiplies move its four 6-bit fields
// into the lane's bytes, and one shuffle gives the offset that turns each
// field into its character.
__attribute__((target("avx2"))) inline __m256i chars_of_halves(__m256i in) {
    const __m256i gather = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    const __m256i offsets = _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                             '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                                             'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                             '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    __m256i bytes = _mm256_shuffle_epi8(in, gather);
    __m256i fields = _mm256_or_si256(
        _mm256_mulhi_epu16(_mm256_and_si256(bytes, _mm256_set1_epi32(0x0FC0FC00)), _mm256_set1_epi32(0x04000040)),
        _mm256_mullo_epi16(_mm256_and_si256(bytes, _mm256_set1_epi32(0x003F03F0)), _mm256_set1_epi32(0x01000010)));
    // Offset index: 13 for 0-25 (A-Z), 0 for 26-51 (a-z), 1-12 for 52-63.
    __m256i index = _mm256_subs_epu8(fields, _mm256_set1_epi8(51));
    __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), fields);
    index = _mm256_or_si256(index, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
    return _mm256_add_epi8(_mm256_shuffle_epi8(offsets, index), fields);
}

__attribute__((target("avx2"))) void encode_wide(const unsigned char *&in, size_t &groups, char *&out) {
    for (; groups >= kWideReadGroups; groups -= kWideGroups, in += 3 * kWideGroups, out += 4 * kWideGroups) {
        __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
        __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 12));
        __m256i chars = chars_of_halves(_mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), chars);
    }
    if (groups >= kHalfReadGroups) {
        __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
        __m256i chars = chars_of_halves(_mm256_zextsi128_si256(first));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(chars));
        groups -= kHalfGroups;
        in += 3 * kHalfGroups;
        out += 4 * kHalfGroups;
    }
}
#endif

}  // namespace

char *encode_groups(const unsigned char *in, size_t groups, char *out) {
#if defined(__x86_64__)
    if (kHasAvx2 && groups >= kHalfReadGroups) encode_wide(in, groups, out);
#endif
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
