// Chunks of converted text with the source position of every unit, the
// interface through which a text is handed to an iterator, and the walk over
// the characters of a chunk.
#pragma once

#include <cstdint>
#include <string_view>

#include "i18n/error.h"
#include "i18n/scratch.h"

namespace i18n {

// A chunk's units, one source offset per unit (-1: the converter gave none), and
// one more entry: the number of source units the conversion call consumed.
template <class T>
struct StrWithOffsets {
    // The arrays are scratch memory: a header converts a few short chunks, and
    // fresh heap arrays for them would cost more than the conversion.
    explicit StrWithOffsets(int32_t capacity)
        : text(static_cast<size_t>(capacity > 0 ? capacity : 1)), offsets(text.size() + 1) {
        offsets[0] = 0;  // an empty chunk that consumed nothing
    }

    int32_t capacity() const { return static_cast<int32_t>(text.size()); }
    int32_t consumed() const { return offsets[static_cast<size_t>(length)]; }

    ScratchArray<T> text;
    ScratchArray<int32_t> offsets;
    int32_t length = 0;
};

// A view of the current chunk; `offsets` is NULL when the chunk carries none.
template <class T>
struct ChunkRef {
    const T *text = nullptr;
    int32_t length = 0;
    const int32_t *offsets = nullptr;

    std::basic_string_view<T> str() const { return {text, static_cast<size_t>(length)}; }
};

// Holds the current chunk of an iterator.
template <class T>
class ChunkIter {
public:
    const ChunkRef<T> &get_chunk() const { return m_chunk; }
    std::basic_string_view<T> get_str() const { return m_chunk.str(); }

protected:
    ChunkRef<T> m_chunk;
};

// Where an iterator or processor is given its input text.
template <class T>
class InStrSetter {
public:
    virtual void set_in_str(const T *text, int32_t length) = 0;
    virtual ~InStrSetter() = default;
    // The same, for a caller that keeps the text alive and unchanged until its
    // last chunk is read: an iterator that would only copy it reads it in place.
    virtual void set_in_view(const T *text, int32_t length) { set_in_str(text, length); }
};

// The characters of a chunk: maximal runs of units that carry the same source
// offset, so that no character produced from one source position is split.
template <class T>
class CharIter {
public:
    CharIter() = default;
    explicit CharIter(const ChunkRef<T> &chunk) : m_chunk(chunk) {
        if (!chunk.offsets) m_chunk.length = 0;
    }

    bool has_more() const { return m_pos < m_chunk.length; }
    // The next character as the range [begin, end) of the chunk.
    BegEnd next() {
        int32_t begin = m_pos;
        int32_t offset = m_chunk.offsets[begin];
        ++m_pos;
        while (m_pos < m_chunk.length && m_chunk.offsets[m_pos] == offset) ++m_pos;
        return BegEnd(begin, m_pos);
    }

private:
    ChunkRef<T> m_chunk;
    int32_t m_pos = 0;
};

// The interface that encoders see: a text handed out in chunks of bytes.
class CharsetToCharsetIterPrototype : public ChunkIter<char>, public InStrSetter<char>, public Error {
public:
    ~CharsetToCharsetIterPrototype() override = default;
    virtual void next() = 0;
    virtual bool has_more() const = 0;
    // From now on no chunk is longer than `limit` bytes (negative: ignored).
    virtual void set_chunk_limit(int32_t limit) = 0;
    virtual CharIter<char> char_iter() const = 0;
};

}  // namespace i18n
