// The pass-through iterator: a body whose source and target charsets are the
// same goes out in chunks of its own bytes.
#include <algorithm>

#include "i18n/charset_iter.h"

namespace i18n {

TrivialIter::TrivialIter(int32_t chunk_size) : m_chunk_size(chunk_size > 0 ? chunk_size : 256), m_limit(m_chunk_size) {}

TrivialIter::TrivialIter(const TrivialIter &other)
    : CharsetToCharsetIterPrototype(other), m_copy(other.m_copy), m_size(other.m_size), m_pos(other.m_pos),
      m_chunk_size(other.m_chunk_size), m_limit(other.m_limit) {
    relink(other);
}

TrivialIter &TrivialIter::operator=(const TrivialIter &other) {
    if (this != &other) {
        CharsetToCharsetIterPrototype::operator=(other);
        m_copy = other.m_copy;
        m_size = other.m_size;
        m_pos = other.m_pos;
        m_chunk_size = other.m_chunk_size;
        m_limit = other.m_limit;
        relink(other);
    }
    return *this;
}

TrivialIter::~TrivialIter() = default;

// A copy reads its own copy of the text where `other` read its own, and the
// caller's text where `other` did.
void TrivialIter::relink(const TrivialIter &other) {
    m_text = other.m_text == other.m_copy.data() ? m_copy.data() : other.m_text;
    if (other.m_chunk.text) m_chunk.text = m_text + (other.m_chunk.text - other.m_text);
}

void TrivialIter::set_in_str(const char *text, int32_t length) {
    m_copy = ScratchArray<char>(text, static_cast<size_t>(length));
    set_in_view(m_copy.data(), length);
}

void TrivialIter::set_in_view(const char *text, int32_t length) {
    m_text = text;
    m_size = static_cast<size_t>(length);
    m_pos = 0;
    m_chunk = ChunkRef<char>();
}

void TrivialIter::next() {
    size_t count = std::min(m_size - m_pos, static_cast<size_t>(m_limit));
    m_chunk = ChunkRef<char>{m_text + m_pos, static_cast<int32_t>(count), nullptr};
    m_pos += count;
}

bool TrivialIter::has_more() const { return m_pos < m_size; }

void TrivialIter::set_chunk_limit(int32_t limit) {
    // A chunk must hold at least one byte, or the text would never end.
    if (limit > 0 && limit < m_chunk_size) m_limit = limit;
}

CharIter<char> TrivialIter::char_iter() const { return CharIter<char>(); }

}  // namespace i18n
