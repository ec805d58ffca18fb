// Plain runs for quoted-printable. The nibble look-up of a table is made once
// per thread and table content, and checked against the table at every chunk,
// since a table may be widened at any time.
#include "qp_plain_runs.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "avx2.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace i18n_mime {
namespace {

constexpr size_t kTableSize = 256;
constexpr size_t kHighHalf = 128;

// rows[low nibble] has bit h set when the byte h·16 + low nibble (below 0x80) is marked.
struct NibbleRows {
    unsigned char seen[kTableSize];
    alignas(16) unsigned char rows[16];
    bool usable;  // every byte from 0x80 on is marked
    bool valid;
};

const NibbleRows &rows_for(const unsigned char *table) {
    thread_local NibbleRows cache{};
    if (cache.valid && std::memcmp(cache.seen, table, kTableSize) == 0) return cache;
    std::memcpy(cache.seen, table, kTableSize);
    std::memset(cache.rows, 0, sizeof cache.rows);
    for (size_t c = 0; c < kHighHalf; ++c)
        if (table[c]) cache.rows[c & 15] = static_cast<unsigned char>(cache.rows[c & 15] | 1u << (c >> 4));
    cache.usable = true;
    for (size_t c = kHighHalf; c < kTableSize; ++c) cache.usable = cache.usable && table[c];
    cache.valid = true;
    return cache;
}

#if defined(__x86_64__)
// The plain run from `in`, 32 bytes at a time while `readable` and `room`
// allow; stops at `most`, or where the blocks end (the caller goes on from there).
__attribute__((target("avx2"))) size_t copy_plain_avx2(const unsigned char *rows, const char *in, size_t most,
                                                       size_t readable, char *out, size_t room) {
    const __m256i row_table = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(rows)));
    const __m256i bit_table = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                               1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    size_t run = 0;
    for (; run < most && readable - run >= 32 && room - run >= 32; run += 32) {
        __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + run));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + run), bytes);
        __m256i row = _mm256_shuffle_epi8(row_table, _mm256_and_si256(bytes, nibble));
        __m256i bit = _mm256_shuffle_epi8(bit_table, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
        __m256i plain = _mm256_cmpeq_epi8(_mm256_and_si256(row, bit), _mm256_setzero_si256());
        // Bytes from 0x80 on find no bit in the look-up; their top bit marks them.
        auto marked = ~static_cast<uint32_t>(_mm256_movemask_epi8(plain)) |
                      static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
        if (marked) return std::min(run + static_cast<size_t>(__builtin_ctz(marked)), most);
    }
    return std::min(run, most);
}
#endif

}  // namespace

PlainRuns::PlainRuns(const unsigned char *table) : m_table(table), m_rows(nullptr) {
#if defined(__x86_64__)
    if (use_avx2) {
        const NibbleRows &rows = rows_for(table);
        if (rows.usable) m_rows = rows.rows;
    }
#endif
}

size_t PlainRuns::copy(const char *in, size_t most, size_t readable, char *out, size_t room) const {
    auto *bytes = reinterpret_cast<const unsigned char *>(in);
    size_t run = 0;
#if defined(__x86_64__)
    if (m_rows) {
        run = copy_plain_avx2(m_rows, in, most, readable, out, room);
        if (run == most || m_table[bytes[run]]) return run;
    }
#else
    (void)readable;
    (void)room;
#endif
    for (; run + 8 <= most; run += 8) {
        const unsigned char *b = bytes + run;
        if (m_table[b[0]] | m_table[b[1]] | m_table[b[2]] | m_table[b[3]] | m_table[b[4]] | m_table[b[5]] |
            m_table[b[6]] | m_table[b[7]])
            break;
        std::memcpy(out + run, b, 8);
    }
    for (; run < most && !m_table[bytes[run]]; ++run) out[run] = in[run];
    return run;
}

}  // namespace i18n_mime
