// The chunked output buffer of the encoders: a chain of equal-size blocks that
// grows without moving what is written, and hands its content out in one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "i18n.h"
#include "i18n/scratch.h"

namespace i18n {

template <class T>
struct StrLink {
    T *data = nullptr;
    StrLink *next = nullptr;
    StrLink *previous = nullptr;
    int32_t size = 0;
};

// The block chain. Blocks come from slabs that double in size, so a long text
// costs a few allocations rather than one per block, and the blocks of one
// slab lie end to end: encoders write across them in one go.
template <class T>
class BufferImpl {
public:
    explicit BufferImpl(int32_t block_size) : m_block_size(block_size > 0 ? block_size : 1) {}
    BufferImpl(const BufferImpl &other) : BufferImpl(other.m_block_size) { append_all(other); }
    BufferImpl &operator=(const BufferImpl &other) {
        if (this != &other) {
            clear();
            append_all(other);
        }
        return *this;
    }
    ~BufferImpl() = default;

    void append(T c) {
        if (m_cursor == m_block_end) next_block();
        *m_cursor++ = c;
    }
    void append(const T *data, size_t count) {
        // The line breaks and escapes are a few bytes: no call for those.
        if (count * sizeof(T) <= kShortBytes && static_cast<size_t>(m_block_end - m_cursor) >= count) {
            copy_short(m_cursor, data, count * sizeof(T));
            m_cursor += count;
            return;
        }
        while (count) {
            if (m_cursor == m_block_end) next_block();
            size_t room = static_cast<size_t>(m_block_end - m_cursor);
            size_t n = count < room ? count : room;
            std::memcpy(m_cursor, data, n * sizeof(T));
            m_cursor += n;
            data += n;
            count -= n;
        }
    }
    // Direct writing for encoders: the cursor, with at least one element of room
    // behind it (*room says how many, up to the end of the blocks that follow
    // the current one in memory); commit() then counts what was written there.
    T *write_cursor(size_t *room) {
        if (m_cursor == m_block_end) next_block();
        *room = static_cast<size_t>(m_span_end - m_cursor);
        return m_cursor;
    }
    void commit(size_t count) {
        m_cursor += count;
        while (m_cursor > m_block_end) {
            m_current = m_current->next;
            ++m_blocks_in_use;
            m_block_end = m_current->data + m_current->size;
        }
    }
    // Moves the cursor back over the last element; nothing happens when empty.
    void step_back() {
        if (!m_current) return;
        if (m_cursor == m_current->data) {
            if (!m_current->previous) return;
            m_current = m_current->previous;
            --m_blocks_in_use;
            m_block_end = m_current->data + m_current->size;
            m_span_end = span_end_of(m_current);
            m_cursor = m_block_end;
        }
        --m_cursor;
    }
    // The last element written; only when size() > 0.
    T last() const {
        if (m_cursor != m_current->data) return m_cursor[-1];
        return m_current->previous->data[m_current->previous->size - 1];
    }
    size_t size() const {
        if (!m_current) return 0;
        return static_cast<size_t>(m_blocks_in_use - 1) * m_block_size +
               static_cast<size_t>(m_cursor - m_current->data);
    }
    bool empty() const { return size() == 0; }
    // Forgets the content and keeps the blocks for reuse.
    void clear() {
        m_current = m_first;
        m_blocks_in_use = m_first ? 1 : 0;
        m_cursor = m_first ? m_first->data : nullptr;
        m_block_end = m_first ? m_first->data + m_first->size : nullptr;
        m_span_end = m_first ? span_end_of(m_first) : nullptr;
    }
    int32_t get_block_size() const { return m_block_size; }
    int32_t get_blocks_in_use() const { return m_blocks_in_use; }

    // Lays out room for `count` elements and a terminator as one array before
    // anything is written, for a writer that knows how much it will write:
    // while the content stays within it, take_str hands it over as it is.
    void reserve(size_t count) {
        if (m_first || count == 0) return;
        auto block = static_cast<size_t>(m_block_size);
        size_t blocks = (count + block) / block;
        Slab slab;
        slab.result.reset(new T[blocks * block]);
        prefer_huge_pages(slab.result.get(), blocks * block * sizeof(T));
        add_slab(std::move(slab), slab.result.get(), blocks);
    }

    // Calls sink(data, count) for each written run, in order; blocks that lie
    // end to end make one run.
    template <class Sink>
    void for_each_run(Sink &&sink) const {
        const T *run = nullptr;
        size_t count = 0;
        for (const StrLink<T> *link = m_first; link && m_blocks_in_use; link = link->next) {
            bool last_block = link == m_current;
            size_t n = last_block ? static_cast<size_t>(m_cursor - link->data) : static_cast<size_t>(link->size);
            if (run + count != link->data) {
                if (count) sink(run, count);
                run = link->data;
                count = 0;
            }
            count += n;
            if (last_block) break;
        }
        if (count) sink(run, count);
    }

protected:
    // The reserved array with the content and a terminator, the buffer then
    // holding nothing; NULL when the content is not all within it.
    T *release_reserved(size_t *count) {
        if (m_slabs.size() != 1 || !m_slabs[0].result || m_first != &m_slabs[0].links[0]) return nullptr;
        size_t n = size();
        if (n >= m_slabs[0].size) return nullptr;
        T *result = m_slabs[0].result.release();
        result[n] = T();
        if (count) *count = n;
        m_slabs.clear();
        m_first = m_current = nullptr;
        m_cursor = m_block_end = m_span_end = nullptr;
        m_blocks_in_use = 0;
        return result;
    }

private:
    static constexpr size_t kShortBytes = 16;

    // Up to 16 bytes with fixed-size moves, which need no library call.
    static void copy_short(void *to, const void *from, size_t n) {
        auto *d = static_cast<unsigned char *>(to);
        const auto *s = static_cast<const unsigned char *>(from);
        if (n >= 8) {
            uint64_t head, tail;
            std::memcpy(&head, s, 8);
            std::memcpy(&tail, s + n - 8, 8);
            std::memcpy(d, &head, 8);
            std::memcpy(d + n - 8, &tail, 8);
        } else if (n >= 4) {
            uint32_t head, tail;
            std::memcpy(&head, s, 4);
            std::memcpy(&tail, s + n - 4, 4);
            std::memcpy(d, &head, 4);
            std::memcpy(d + n - 4, &tail, 4);
        } else if (n) {
            d[0] = s[0];
            d[n / 2] = s[n / 2];
            d[n - 1] = s[n - 1];
        }
    }

    struct Slab {
        std::unique_ptr<StrLink<T>[]> links;
        ScratchArray<T> scratch;
        std::unique_ptr<T[]> result;  // a reserved slab's array, which can become the result
        T *data = nullptr;            // the blocks, in scratch or result
        size_t size = 0;              // elements
    };

    void append_all(const BufferImpl &other) {
        other.for_each_run([this](const T *data, size_t count) { append(data, count); });
    }
    void next_block() {
        if (m_current ? !m_current->next : !m_first) add_slab();
        m_current = m_current ? m_current->next : m_first;
        ++m_blocks_in_use;
        if (m_current->data != m_block_end || m_block_end == m_span_end) m_span_end = span_end_of(m_current);
        m_cursor = m_current->data;
        m_block_end = m_cursor + m_current->size;
    }
    // The end of the slab that holds `link`'s block.
    T *span_end_of(const StrLink<T> *link) const {
        if (link == &m_first_link) return link->data + link->size;
        for (const Slab &slab : m_slabs)
            if (link->data >= slab.data && link->data < slab.data + slab.size) return slab.data + slab.size;
        return link->data + link->size;
    }
    // The first block is the buffer's own, so a short text costs no
    // allocation for its links; the slabs after it double up to 4096 blocks.
    void add_slab() {
        if (!m_first) {
            m_first_data = ScratchArray<T>(static_cast<size_t>(m_block_size));
            m_first_link = StrLink<T>{m_first_data.data(), nullptr, nullptr, m_block_size};
            m_first = &m_first_link;
            return;
        }
        size_t count = m_slabs.size() < 11 ? size_t{2} << m_slabs.size() : 4096;
        Slab slab;
        slab.scratch = ScratchArray<T>(count * static_cast<size_t>(m_block_size));
        add_slab(std::move(slab), slab.scratch.data(), count);
    }
    // Links `count` blocks of `data` behind the last block.
    void add_slab(Slab &&slab, T *data, size_t count) {
        slab.links = std::make_unique<StrLink<T>[]>(count);
        slab.data = data;
        slab.size = count * static_cast<size_t>(m_block_size);
        StrLink<T> *tail = m_current;
        while (tail && tail->next) tail = tail->next;
        for (size_t i = 0; i < count; ++i) {
            StrLink<T> &link = slab.links[i];
            link.data = data + i * static_cast<size_t>(m_block_size);
            link.size = m_block_size;
            link.previous = i ? &slab.links[i - 1] : tail;
            link.next = i + 1 < count ? &slab.links[i + 1] : nullptr;
        }
        if (tail) tail->next = &slab.links[0];
        else m_first = &slab.links[0];
        m_slabs.push_back(std::move(slab));
    }

    ScratchArray<T> m_first_data;
    StrLink<T> m_first_link;
    std::vector<Slab> m_slabs;  // the blocks after the first
    StrLink<T> *m_first = nullptr;
    StrLink<T> *m_current = nullptr;
    T *m_cursor = nullptr;
    T *m_block_end = nullptr;
    T *m_span_end = nullptr;  // end of the current slab: where direct writing must stop
    int32_t m_blocks_in_use = 0;
    int32_t m_block_size;
};

// What a buffer of strings gives out: its content as one new array.
template <class T>
class Buffer {
public:
    virtual ~Buffer() = default;
    // A new NUL-terminated array (release with delete[]); *count receives the length.
    virtual T *get_str(size_t *count) const = 0;
};

template <class T>
class StringBuffer : public BufferImpl<T>, public Buffer<T> {
public:
    explicit StringBuffer(int32_t block_size = 256) : BufferImpl<T>(block_size) {}
    StringBuffer(const StringBuffer &) = default;
    StringBuffer &operator=(const StringBuffer &) = default;

    T *get_str(size_t *count) const override {
        size_t capacity = static_cast<size_t>(this->get_blocks_in_use()) * this->get_block_size() + 1;
        T *result = new T[capacity];
        prefer_huge_pages(result, capacity * sizeof(T));
        size_t at = 0;
        this->for_each_run([&](const T *data, size_t n) {
            copy_to_result(result + at, data, n * sizeof(T));
            at += n;
        });
        result[at] = T();
        if (count) *count = at;
        return result;
    }
    // The content as get_str gives it, after which the buffer is empty. When
    // it lies within the array laid out by reserve, that array is the result.
    T *take_str(size_t *count) {
        T *result = this->release_reserved(count);
        if (!result) {
            result = get_str(count);
            this->clear();
        }
        return result;
    }
};

}  // namespace i18n
