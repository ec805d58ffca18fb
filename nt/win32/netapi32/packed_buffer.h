// One allocation that holds a result structure together with the strings and
// SIDs it points to, so that the caller frees it with a single LsaFreeMemory
// or NetApiBufferFree (both free()).  The same fill function runs twice: once
// to measure (writing into scratch space) and once into the real block.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "advapi32/sid_value.h"

namespace quarn::win32 {

class Packer {
public:
    // `head` bytes at the start hold the structures; `block` null measures.
    Packer(size_t head, BYTE *block);

    template <typename T>
    T *head() {
        return reinterpret_cast<T *>(block_ ? block_ : scratch_.data());
    }
    // A copy of `utf8` as a terminated UTF-16 text in the block.
    LPWSTR text(std::string_view utf8);
    // A copy of `sid`, or null when it is empty.
    PSID sid(const SidValue &sid);
    // `bytes` bytes of `value`.
    LPBYTE filled(size_t bytes, BYTE value);
    size_t size() const { return used_; }

private:
    BYTE *place(size_t bytes, size_t alignment);

    BYTE *block_;
    std::vector<BYTE> scratch_;
    size_t used_;
};

// Runs `fill(Packer &)` to measure, allocates the block with malloc (zeroed),
// runs it again into the block and returns it; null when memory runs out.
template <typename Fill>
void *pack(size_t head, Fill fill) {
    Packer measure(head, nullptr);
    fill(measure);
    auto *block = static_cast<BYTE *>(std::calloc(1, std::max<size_t>(measure.size(), 1)));
    if (!block) return nullptr;
    Packer write(head, block);
    fill(write);
    return block;
}

}  // namespace quarn::win32
