// Private heaps: every block is linked into its heap, so HeapDestroy frees
// everything the heap handed out at once.  A heap made with HEAP_NO_SERIALIZE
// takes no lock (its owner promises to use it from one thread); a maximum size
// other than 0 bounds the bytes it may hold.  The local heap (LocalAlloc,
// LocalFree) is the runtime's allocator: FormatMessageA's texts, string SIDs
// and access lists come from it.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "kernel32/kernel_object.h"

namespace {

struct Block {
    Block *prev;
    Block *next;
    SIZE_T size;
    alignas(std::max_align_t) unsigned char data[];
};

class Heap final : public quarn::win32::KernelObject {
public:
    Heap(bool serialised, SIZE_T maximum) : serialised_(serialised), maximum_(maximum) {}
    ~Heap() override {
        for (Block *b = head_; b;) {
            Block *next = b->next;
            std::free(b);
            b = next;
        }
    }

    void *allocate(SIZE_T bytes, bool zero) {
        auto guard = lock();
        if (bytes > SIZE_MAX - sizeof(Block) || (maximum_ && held_ + bytes > maximum_)) return nullptr;
        auto *b = static_cast<Block *>(std::malloc(sizeof(Block) + bytes));
        if (!b) return nullptr;
        if (zero) std::memset(b->data, 0, bytes);
        b->size = bytes;
        b->prev = nullptr;
        b->next = head_;
        if (head_) head_->prev = b;
        head_ = b;
        held_ += bytes;
        return b->data;
    }

    void release(void *memory) {
        auto guard = lock();
        Block *b = block_of(memory);
        if (b->prev)
            b->prev->next = b->next;
        else
            head_ = b->next;
        if (b->next) b->next->prev = b->prev;
        held_ -= b->size;
        std::free(b);
    }

    static Block *block_of(const void *memory) {
        return reinterpret_cast<Block *>(static_cast<unsigned char *>(const_cast<void *>(memory)) -
                                         offsetof(Block, data));
    }

private:
    std::unique_lock<std::mutex> lock() {
        return serialised_ ? std::unique_lock(mutex_) : std::unique_lock<std::mutex>();
    }

    const bool serialised_;
    const SIZE_T maximum_;
    SIZE_T held_ = 0;
    Block *head_ = nullptr;
    std::mutex mutex_;
};

}  // namespace

using quarn::win32::typed_object;

extern "C" {

HANDLE HeapCreate(DWORD options, SIZE_T, SIZE_T maximum_size) {
    try {
        return quarn::win32::make_handle(
            std::make_shared<Heap>((options & HEAP_NO_SERIALIZE) == 0, maximum_size));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL HeapDestroy(HANDLE heap) {
    if (!typed_object<Heap>(heap)) return FALSE;
    return CloseHandle(heap);
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    auto h = typed_object<Heap>(heap);
    if (!h) return nullptr;
    void *memory = h->allocate(bytes, (flags & HEAP_ZERO_MEMORY) != 0);
    if (!memory) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory) {
    if (!memory) return TRUE;
    auto h = typed_object<Heap>(heap);
    if (!h) return FALSE;
    h->release(memory);
    return TRUE;
}

SIZE_T HeapSize(HANDLE heap, DWORD, LPCVOID memory) {
    if (!typed_object<Heap>(heap) || !memory) return static_cast<SIZE_T>(-1);
    return Heap::block_of(memory)->size;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (flags & ~(LMEM_ZEROINIT)) {  // movable blocks are not kept
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void *block = flags & LMEM_ZEROINIT ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

}  // extern "C"
