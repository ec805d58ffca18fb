// Scratch memory that the calls of one thread reuse: the output blocks and the
// input copies of a long text would otherwise be fresh pages every call, and
// faulting them in costs more than the encoding itself.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

#include "i18n.h"

namespace i18n {

// At least `bytes` bytes, from this thread's pool when it has such a block.
I18N_API void *scratch_take(size_t bytes);
// Hands a block of scratch_take back to this thread's pool (or frees it).
I18N_API void scratch_give(void *block, size_t bytes);

// Asks the kernel to back the whole 2 MiB pages of a large fresh array with
// huge pages: faulting in a long result 4 KiB at a time costs more than
// writing it.
I18N_API void prefer_huge_pages(void *data, size_t bytes);

// Copies `bytes` into a new result array. A long copy bypasses the cache: the
// result is not read again here, and reading its lines in before writing
// them would only double the traffic.
I18N_API void copy_to_result(void *to, const void *from, size_t bytes);

// An owned array of `count` elements of scratch memory.
template <class T>
class ScratchArray {
public:
    ScratchArray() = default;
    explicit ScratchArray(size_t count)
        : m_data(count ? static_cast<T *>(scratch_take(count * sizeof(T))) : nullptr), m_count(count) {}
    ScratchArray(const T *data, size_t count) : ScratchArray(count) {
        if (count) std::memcpy(m_data, data, count * sizeof(T));
    }
    ScratchArray(const ScratchArray &other) : ScratchArray(other.m_data, other.m_count) {}
    ScratchArray &operator=(const ScratchArray &other) {
        if (this != &other) ScratchArray(other).swap(*this);
        return *this;
    }
    ScratchArray(ScratchArray &&other) noexcept : m_data(other.m_data), m_count(other.m_count) {
        other.m_data = nullptr;
        other.m_count = 0;
    }
    ScratchArray &operator=(ScratchArray &&other) noexcept {
        ScratchArray(std::move(other)).swap(*this);
        return *this;
    }
    ~ScratchArray() {
        if (m_data) scratch_give(m_data, m_count * sizeof(T));
    }

    void swap(ScratchArray &other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_count, other.m_count);
    }
    T *data() { return m_data; }
    const T *data() const { return m_data; }
    size_t size() const { return m_count; }
    T *begin() { return m_data; }
    T *end() { return m_data + m_count; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_count; }
    T &operator[](size_t i) { return m_data[i]; }
    const T &operator[](size_t i) const { return m_data[i]; }

private:
    T *m_data = nullptr;
    size_t m_count = 0;
};

}  // namespace i18n
