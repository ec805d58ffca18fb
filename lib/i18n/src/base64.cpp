// Base64 groups. With AVX2 (checked when the library loads) eight groups are
// encoded at a time by Muła and Lemire's method: gather each group's bytes
// into a 32-bit lane, move its four 6-bit fields into the lane's bytes with
// two multiplies, and turn each field into its character with one shuffle of
// offsets. A run of eight or more groups ends with a step that overlaps the
// one before, so no group is left to the scalar path. Without AVX2, and for
// shorter runs, a pair table gives each group in two look-ups.
#include "base64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace i18n_mime::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr bool kLittle = std::endian::native == std::endian::little;

// Two characters for each 12-bit value, as they lie in memory.
struct PairTable {
    std::array<uint16_t, 4096> pairs{};
    constexpr PairTable() {
        for (int i = 0; i < 4096; ++i) {
            auto first = static_cast<uint16_t>(static_cast<unsigned char>(kAlphabet[i >> 6]));
            auto second = static_cast<uint16_t>(static_cast<unsigned char>(kAlphabet[i & 63]));
            pairs[i] = kLittle ? static_cast<uint16_t>(first | second << 8) : static_cast<uint16_t>(first << 8 | second);
        }
    }
};
constexpr PairTable kPairs;

// The four characters of a 24-bit group, as they lie in memory.
inline uint64_t chars_of(uint32_t bits) {
    uint64_t first = kPairs.pairs[bits >> 12];
    uint64_t second = kPairs.pairs[bits & 0xFFF];
    return kLittle ? first | second << 16 : first << 16 | second;
}

inline uint32_t group_bits(const unsigned char *in) { return uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2]; }

char *encode_groups_scalar(const unsigned char *in, size_t groups, char *out) {
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

#if defined(__x86_64__)
constexpr size_t kStepGroups = 8;


// The 32 characters of the group in bytes 0-11 of each 128-bit half of `in`.
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

// Eight groups: 24 bytes in, 32 characters out. The 32-byte load ends with
// the groups when 8 bytes ahead of them may be read, and otherwise begins
// with them (reading 4 bytes past, which the caller allows).
__attribute__((target("avx2"))) inline void encode_step(const unsigned char *in, bool read_ahead, char *out) {
    __m256i halves;
    if (read_ahead) {
        __m256i loaded = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in - 8));
        halves = _mm256_permutevar8x32_epi32(loaded, _mm256_setr_epi32(2, 3, 4, 0, 5, 6, 7, 0));
    } else {
        __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
        __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 12));
        halves = _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), chars_of_halves(halves));
}

// A run of at least eight groups; `before` bytes are readable ahead of `in`,
// `after` from `in` on.
__attribute__((target("avx2"))) char *encode_run_avx2(const unsigned char *in, size_t groups, size_t before,
                                                      size_t after, char *out) {
    for (size_t k = 0;; k += kStepGroups) {
        k = std::min(k, groups - kStepGroups);  // the last step overlaps the one before
        size_t at = 3 * k;
        if (before + at >= 8) {
            encode_step(in + at, true, out + 4 * k);
        } else if (after >= at + 28) {
            encode_step(in + at, false, out + 4 * k);
        } else {
            encode_groups_scalar(in + at, kStepGroups, out + 4 * k);
        }
        if (k + kStepGroups == groups) return out + 4 * groups;
    }
}
#endif

// A run of groups on each path, with `before` bytes readable ahead of it and none past it.
struct ScalarRun {
    char *operator()(const unsigned char *in, size_t groups, size_t, char *out) const {
        return encode_groups_scalar(in, groups, out);
    }
};
#if defined(__x86_64__)
struct Avx2Run {
    __attribute__((target("avx2"))) char *operator()(const unsigned char *in, size_t groups, size_t before,
                                                     char *out) const {
        if (groups < kStepGroups) return encode_groups_scalar(in, groups, out);
        return encode_run_avx2(in, groups, before, 3 * groups, out);
    }
};
#endif

template <class Run>
inline size_t body_lines(const unsigned char *in, size_t groups, size_t before, char *out, size_t room,
                         int32_t &line, size_t *written, Run run) {
    constexpr int32_t kGroupChars = 4;
    constexpr auto kBreakSize = static_cast<int32_t>(sizeof kBodyLineBreak - 1);
    char *at = out;
    char *const end = out + room;
    size_t done = 0;
    while (done < groups) {
        if (line + kGroupChars > kBodyLineLimit) {
            if (end - at < kBreakSize + kGroupChars) break;
            std::memcpy(at, kBodyLineBreak, kBreakSize);
            at += kBreakSize;
            line = kBreakSize;
        }
        size_t n = std::min({groups - done, static_cast<size_t>((kBodyLineLimit - line) / kGroupChars),
                             static_cast<size_t>(end - at) / kGroupChars});
        if (n == 0) break;
        at = run(in + 3 * done, n, before + 3 * done, at);
        done += n;
        line += kGroupChars * static_cast<int32_t>(n);
    }
    *written = static_cast<size_t>(at - out);
    return done;
}

#if defined(__x86_64__)
// One function for all the lines of a span, so that the vector constants are
// set up once per span rather than once per line.
__attribute__((target("avx2"), flatten)) size_t body_lines_avx2(const unsigned char *in, size_t groups,
                                                                size_t before, char *out, size_t room,
                                                                int32_t &line, size_t *written) {
    return body_lines(in, groups, before, out, room, line, written, Avx2Run{});
}
#endif

}  // namespace

char *encode_groups(const unsigned char *in, size_t groups, char *out) {
#if defined(__x86_64__)
    if (use_avx2) return Avx2Run{}(in, groups, 0, out);
#endif
    return encode_groups_scalar(in, groups, out);
}

char *encode_last(const unsigned char *in, size_t count, char *out) {
    uint32_t bits = uint32_t{in[0]} << 16 | (count > 1 ? uint32_t{in[1]} << 8 : 0);
    *out++ = kAlphabet[bits >> 18];
    *out++ = kAlphabet[(bits >> 12) & 63];
    *out++ = count > 1 ? kAlphabet[(bits >> 6) & 63] : '=';
    *out++ = '=';
    return out;
}

size_t encode_body_lines(const unsigned char *in, size_t groups, size_t before, char *out, size_t room,
                         int32_t &line, size_t *written) {
#if defined(__x86_64__)
    if (use_avx2) return body_lines_avx2(in, groups, before, out, room, line, written);
#endif
    return body_lines(in, groups, before, out, room, line, written, ScalarRun{});
}

}  // namespace i18n_mime::base64
