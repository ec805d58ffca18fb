// The per-thread pool of scratch blocks. Blocks are kept by size, up to a
// bound per thread, and freed with the thread.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "i18n/scratch.h"

#include "avx2.h"
#include "per_thread.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace i18n {
namespace {

constexpr size_t kKeptBytes = 96u << 20;
constexpr uintptr_t kHugePage = 2u << 20;
// Below this the few page faults do not pay for the call.
constexpr size_t kHugeWorthBytes = 4 * kHugePage;

struct Pool {
    struct Block {
        void *data;
        size_t bytes;
    };
    std::vector<Block> blocks;
    size_t kept = 0;

    ~Pool() {
        for (const Block &block : blocks) std::free(block.data);
    }
};


// Below this a copy stays in the cache, where the caller may well want it.
constexpr size_t kStreamWorthBytes = 256u << 10;

#if defined(__x86_64__)
__attribute__((target("avx2"))) void stream_copy(char *to, const char *from, size_t bytes) {
    size_t head = (32 - reinterpret_cast<uintptr_t>(to) % 32) % 32;
    std::memcpy(to, from, head);
    size_t at = head;
    for (; at + 32 <= bytes; at += 32)
        _mm256_stream_si256(reinterpret_cast<__m256i *>(to + at),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + at)));
    _mm_sfence();
    std::memcpy(to + at, from + at, bytes - at);
}
#endif

void *take_fresh(size_t bytes) {
    void *data = std::malloc(bytes);
    if (!data) throw std::bad_alloc();
    return data;
}

}  // namespace

void copy_to_result(void *to, const void *from, size_t bytes) {
#if defined(__x86_64__)
    if (i18n_mime::use_avx2 && bytes >= kStreamWorthBytes)
        return stream_copy(static_cast<char *>(to), static_cast<const char *>(from), bytes);
#endif
    std::memcpy(to, from, bytes);
}

void *scratch_take(size_t bytes) {
    // The blocks of one call come back in the reverse order of their taking,
    // so the next call's first block is usually the last one given back: an
    // exact fit from the back ends the search. Otherwise the smallest kept
    // block that is large enough, but not wastefully so.
    Pool *kept = PerThread<Pool>::get();
    if (!kept) return take_fresh(bytes);
    Pool &pool = *kept;
    size_t best = pool.blocks.size();
    for (size_t i = pool.blocks.size(); i-- > 0;) {
        size_t size = pool.blocks[i].bytes;
        if (size == bytes) {
            best = i;
            break;
        }
        if (size >= bytes && size <= 2 * bytes && (best == pool.blocks.size() || size < pool.blocks[best].bytes))
            best = i;
    }
    if (best != pool.blocks.size()) {
        Pool::Block block = pool.blocks[best];
        pool.blocks.erase(pool.blocks.begin() + static_cast<std::ptrdiff_t>(best));
        pool.kept -= block.bytes;
        return block.data;
    }
    return take_fresh(bytes);
}

void scratch_give(void *block, size_t bytes) {
    Pool *kept = PerThread<Pool>::get();
    if (!kept || kept->kept + bytes > kKeptBytes) {
        std::free(block);
        return;
    }
    kept->blocks.push_back({block, bytes});
    kept->kept += bytes;
}

void prefer_huge_pages(void *data, size_t bytes) {
    if (bytes < kHugeWorthBytes) return;
    auto begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    // Advice only: where the kernel declines, the array stays as it is.
    if (end > begin) madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace i18n
