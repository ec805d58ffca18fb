// The UTF-8 to UTF-8 header iterator. Converting a well-formed UTF-8 text to
// UTF-16 and back gives the same bytes, so what remains of the conversion is
// where its chunks end; those ends follow the converting iterator's rule, so
// that every encoded word comes out as it would through ICU.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "i18n/charset_iter.h"

namespace i18n {
namespace {

// The length of the well-formed UTF-8 character at `p` (of `left` bytes), or 0.
int32_t well_formed_length(const unsigned char *p, int32_t left) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    auto trail = [&](int32_t i, unsigned char low, unsigned char high) {
        return i < left && p[i] >= low && p[i] <= high;
    };
    if (c >= 0xC2 && c <= 0xDF) return trail(1, 0x80, 0xBF) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        // No overlong forms (E0 below A0) and no surrogates (ED from A0 on).
        unsigned char low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        return trail(1, low, high) && trail(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        // Nothing overlong (F0 below 90) and nothing past U+10FFFF (F4 from 90 on).
        unsigned char low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        return trail(1, low, high) && trail(2, 0x80, 0xBF) && trail(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// Whether the text is well-formed and holds at most `units` UTF-16 units.
bool fits_one_unit_chunk(const char *text, int32_t length, int32_t units) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    for (int32_t at = 0; at < length;) {
        // Eight ASCII bytes at a time: one unit each.
        uint64_t word;
        if (length - at >= 8 && (std::memcpy(&word, bytes + at, 8), (word & 0x8080808080808080u) == 0)) {
            units -= 8;
            if (units < 0) return false;
            at += 8;
            continue;
        }
        int32_t n = well_formed_length(bytes + at, length - at);
        if (n == 0) return false;
        units -= n == 4 ? 2 : 1;
        if (units < 0) return false;
        at += n;
    }
    return true;
}

int32_t char_length(unsigned char lead) { return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

}  // namespace

Utf8HeaderIter::Utf8HeaderIter(int32_t units_chunk, int32_t bytes_chunk)
    : m_units_chunk(units_chunk), m_bytes_chunk(std::clamp(bytes_chunk, 1, int32_t{kMaxChunk})), m_limit(m_bytes_chunk) {}

Utf8HeaderIter::Utf8HeaderIter(const Utf8HeaderIter &other)
    : CharsetToCharsetIterPrototype(other), m_units_chunk(other.m_units_chunk), m_bytes_chunk(other.m_bytes_chunk),
      m_limit(other.m_limit),
      m_converting(other.m_converting ? std::make_unique<CharsetToCharsetChunkIter<FromUnicodeFullCharIter>>(
                                            *other.m_converting)
                                      : nullptr),
      m_copy(other.m_copy), m_size(other.m_size), m_pos(other.m_pos), m_unit(other.m_unit),
      m_carried(other.m_carried) {
    std::copy(std::begin(other.m_offsets), std::end(other.m_offsets), m_offsets);
    relink(other);
}

Utf8HeaderIter &Utf8HeaderIter::operator=(const Utf8HeaderIter &other) {
    if (this != &other) {
        Utf8HeaderIter copy(other);
        CharsetToCharsetIterPrototype::operator=(copy);
        m_units_chunk = copy.m_units_chunk;
        m_bytes_chunk = copy.m_bytes_chunk;
        m_limit = copy.m_limit;
        m_converting = std::move(copy.m_converting);
        m_copy = std::move(copy.m_copy);
        m_size = copy.m_size;
        m_pos = copy.m_pos;
        m_unit = copy.m_unit;
        m_carried = copy.m_carried;
        std::copy(std::begin(copy.m_offsets), std::end(copy.m_offsets), m_offsets);
        relink(other);
    }
    return *this;
}

Utf8HeaderIter::~Utf8HeaderIter() = default;

// Points the text and the current chunk at this object's own copies where
// `other`'s pointed at its own.
void Utf8HeaderIter::relink(const Utf8HeaderIter &other) {
    m_text = other.m_text == other.m_copy.data() ? m_copy.data() : other.m_text;
    if (m_converting) {
        m_chunk = m_converting->get_chunk();
    } else if (other.m_chunk.text) {
        m_chunk.text = m_text + (other.m_chunk.text - other.m_text);
        m_chunk.offsets = m_offsets;
    }
}

void Utf8HeaderIter::set_in_str(const char *text, int32_t length) { start(text, length, true); }
void Utf8HeaderIter::set_in_view(const char *text, int32_t length) { start(text, length, false); }

void Utf8HeaderIter::start(const char *text, int32_t length, bool copy) {
    m_chunk = ChunkRef<char>();
    m_pos = m_unit = 0;
    m_carried = false;
    m_converting.reset();
    if (!fits_one_unit_chunk(text, length, m_units_chunk)) {
        m_converting =
            std::make_unique<CharsetToCharsetChunkIter<FromUnicodeFullCharIter>>("UTF-8", "UTF-8", m_units_chunk,
                                                                                  m_bytes_chunk);
        if (m_converting->is_error()) set_error();
        if (m_limit != m_bytes_chunk) m_converting->set_chunk_limit(m_limit);
        if (copy) m_converting->set_in_str(text, length);
        else m_converting->set_in_view(text, length);
        m_size = 0;
        return;
    }
    if (copy) {
        m_copy = ScratchArray<char>(text, static_cast<size_t>(length));
        text = m_copy.data();
    }
    m_text = text;
    m_size = length;
}

void Utf8HeaderIter::next() {
    if (is_error()) return;
    if (m_converting) {
        m_converting->next();
        m_chunk = m_converting->get_chunk();
        if (m_converting->is_error()) set_error();
        return;
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_text);
    const int32_t begin = m_pos;
    const int32_t stop = std::min(m_size, begin + m_limit);
    // Each character that fits, its bytes marked with its UTF-16 position.
    int32_t end = begin, last = begin;
    int32_t unit = m_unit, last_unit = m_unit;
    while (end < stop) {
        const unsigned char lead = bytes[end];
        if (lead < 0x80) {
            last = end;
            last_unit = unit;
            m_offsets[end++ - begin] = unit++;
            continue;
        }
        const int32_t n = char_length(lead);
        if (end + n > stop) break;
        last = end;
        last_unit = unit;
        std::fill_n(m_offsets + (end - begin), n, unit);
        end += n;
        unit += n == 4 ? 2 : 1;
    }
    // A character handed on from the chunk before carries no offset.
    if (m_carried && end > begin) std::fill_n(m_offsets, char_length(bytes[begin]), -1);
    // A converter that filled the chunk while more follows (with the first
    // bytes of a character that did not fit, or exactly) has its last
    // character handed on, unless it is the only one.
    const bool hand_on = end < m_size && (end - begin < m_limit || last > begin);
    if (hand_on && end - begin == m_limit) {
        end = last;
        unit = last_unit;
    }
    m_offsets[end - begin] = unit - m_unit;
    m_chunk = ChunkRef<char>{m_text + begin, end - begin, m_offsets};
    m_carried = hand_on;
    m_pos = end;
    m_unit = unit;
}

bool Utf8HeaderIter::has_more() const {
    if (m_converting) return m_converting->has_more();
    return is_ok() && m_pos < m_size;
}

void Utf8HeaderIter::set_chunk_limit(int32_t limit) {
    if (limit < 0 || limit >= m_bytes_chunk) return;
    m_limit = limit;
    if (m_converting) m_converting->set_chunk_limit(limit);
}

CharIter<char> Utf8HeaderIter::char_iter() const { return CharIter<char>(m_chunk); }

}  // namespace i18n
