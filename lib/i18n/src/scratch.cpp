// The per-thread pool of scratch blocks. Blocks are kept by size, up to a
// bound per thread, and freed with the thread.
#include <cstdlib>
#include <new>
#include <vector>

#include "i18n/scratch.h"

namespace i18n {
namespace {

constexpr size_t kKeptBytes = 96u << 20;

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

thread_local Pool pool;

}  // namespace

void *scratch_take(size_t bytes) {
    // The smallest kept block that is large enough, but not wastefully so.
    size_t best = pool.blocks.size();
    for (size_t i = 0; i < pool.blocks.size(); ++i) {
        size_t size = pool.blocks[i].bytes;
        if (size >= bytes && size <= 2 * bytes && (best == pool.blocks.size() || size < pool.blocks[best].bytes))
            best = i;
    }
    if (best != pool.blocks.size()) {
        Pool::Block block = pool.blocks[best];
        pool.blocks[best] = pool.blocks.back();
        pool.blocks.pop_back();
        pool.kept -= block.bytes;
        return block.data;
    }
    void *data = std::malloc(bytes);
    if (!data) throw std::bad_alloc();
    return data;
}

void scratch_give(void *block, size_t bytes) {
    if (pool.kept + bytes > kKeptBytes) {
        std::free(block);
        return;
    }
    pool.blocks.push_back({block, bytes});
    pool.kept += bytes;
}

}  // namespace i18n
