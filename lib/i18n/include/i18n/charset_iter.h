// The iterators that encoders read: a text converted from one charset to
// another through UTF-16 in bounded chunks, or passed through unchanged.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "i18n/catalogue.h"
#include "i18n/chunk.h"
#include "i18n/scratch.h"
#include "i18n/ucnv_iter.h"

namespace i18n {

// Keeps an iterator's own copy of its input, and finds the input bytes of the
// character behind a UTF-16 unit, so that a failure report can quote them.
template <class T>
class InputMBCharTracer {
public:
    void set_input(const T *text, int32_t length) { m_input = ScratchArray<T>(text, static_cast<size_t>(length)); }
    const T *get_input() const { return m_input.data(); }
    int32_t get_input_length() const { return static_cast<int32_t>(m_input.size()); }

    // The input range of the character that produced unit `unit` of `units`, a
    // UTF-16 chunk converted from the input bytes starting at `chunk_start`.
    BegEnd trace_char(const ChunkRef<UChar> &units, int32_t chunk_start, int32_t unit) const {
        int32_t consumed = units.offsets[units.length];
        int32_t first = units.length ? std::max(units.offsets[unit], 0) : 0;  // -1: began in the chunk before
        int32_t last = consumed;
        for (int32_t i = unit + 1; i < units.length; ++i)
            if (units.offsets[i] != units.offsets[unit] && units.offsets[i] >= 0) {
                last = units.offsets[i];
                break;
            }
        BegEnd range(first, std::max(last, first));
        range.add(chunk_start);
        return range;
    }

protected:
    ScratchArray<T> m_input;
};

// Converts its own copy of the input: bytes to UTF-16 in chunks of `units_chunk`
// units, then each UTF-16 chunk to the target in chunks of `bytes_chunk` bytes.
// It reports failures itself, with the input bytes that caused them.
template <class FromIter>
class CharsetToCharsetChunkIter : public CharsetToCharsetIterPrototype, public InputMBCharTracer<char> {
public:
    CharsetToCharsetChunkIter(const char *from_charset, const char *to_charset, int32_t units_chunk,
                              int32_t bytes_chunk)
        : m_to_unicode(from_charset, units_chunk), m_from_unicode(to_charset, bytes_chunk) {
        if (m_to_unicode.is_error() || m_from_unicode.is_error()) {
            set_error();
            return;
        }
        m_to_unicode.set_report(false);
        m_from_unicode.set_report(false);
    }
    CharsetToCharsetChunkIter(const CharsetToCharsetChunkIter &other)
        : CharsetToCharsetIterPrototype(other), InputMBCharTracer<char>(other), m_to_unicode(other.m_to_unicode),
          m_from_unicode(other.m_from_unicode) {
        relink();
    }
    CharsetToCharsetChunkIter &operator=(const CharsetToCharsetChunkIter &other) {
        if (this != &other) {
            CharsetToCharsetIterPrototype::operator=(other);
            InputMBCharTracer<char>::operator=(other);
            m_to_unicode = other.m_to_unicode;
            m_from_unicode = other.m_from_unicode;
            relink();
        }
        return *this;
    }
    ~CharsetToCharsetChunkIter() override = default;

    void set_in_str(const char *text, int32_t length) override {
        set_input(text, length);
        m_to_unicode.set_input(get_input(), length);
    }

    void next() override {
        if (is_error()) return;
        if (m_from_unicode.get_status().has_next()) {
            m_from_unicode.next();  // more output from the same UTF-16 chunk
        } else {
            note_split_character();
            m_to_unicode.next();
            if (m_to_unicode.is_error()) {
                report_to_unicode_failure(get_input(), get_input_length(), m_to_unicode.get_in_pos());
                set_error();
                m_chunk = ChunkRef<char>();
                return;
            }
            m_from_unicode.set_flush(!m_to_unicode.has_more());
            const StrWithOffsets<UChar> &units = m_to_unicode.get_out();
            m_from_unicode.set_input(units.text.data(), units.length);
            m_from_unicode.next();
        }
        if (m_from_unicode.is_error()) report_from_unicode_failure();
        m_chunk = m_from_unicode.chunk();
    }
    bool has_more() const override {
        return is_ok() && (m_to_unicode.has_more() || m_from_unicode.has_more());
    }
    void set_chunk_limit(int32_t limit) override { m_from_unicode.set_chunk_limit(limit); }
    CharIter<char> char_iter() const override { return CharIter<char>(m_chunk); }

private:
    // Message 3: the input bytes of the character whose unit, the one before
    // where the from-Unicode side stopped, has no mapping.
    void report_from_unicode_failure() {
        ChunkRef<UChar> units = m_to_unicode.chunk();
        int32_t unit = std::clamp(m_from_unicode.get_in_pos() - 1, 0, std::max(units.length - 1, 0));
        if (unit == 0 && units.length && U16_IS_TRAIL(units.text[0]) && m_split_lead) {
            // The character began in the chunk before: its lead unit and bytes were kept.
            const UChar both[2] = {m_split_lead, units.text[0]};
            report_charset_to_charset_failure(get_input(), m_split_bytes, both, 2);
            set_error();
            return;
        }
        BegEnd bytes = trace_char(units, m_to_unicode.get_call_start(), unit);
        // A supplementary character fails as a whole: show both of its units.
        int32_t first_unit =
            unit > 0 && U16_IS_TRAIL(units.text[unit]) && U16_IS_LEAD(units.text[unit - 1]) ? unit - 1 : unit;
        report_charset_to_charset_failure(get_input(), bytes, units.text + first_unit,
                                          units.length ? unit - first_unit + 1 : 0);
        set_error();
    }
    // A UTF-16 chunk that ends in a lead surrogate leaves its trail to the
    // next chunk; before that one replaces it, the character's lead and input
    // bytes are kept for a report.
    void note_split_character() {
        ChunkRef<UChar> units = m_to_unicode.chunk();
        m_split_lead = 0;
        if (!units.length || !U16_IS_LEAD(units.text[units.length - 1]) || !m_to_unicode.has_more()) return;
        m_split_lead = units.text[units.length - 1];
        m_split_bytes = trace_char(units, m_to_unicode.get_call_start(), units.length - 1);
    }
    // Points both sides and the current chunk at this object's own buffers.
    void relink() {
        m_to_unicode.rebase(get_input());
        m_from_unicode.rebase(m_to_unicode.get_out().text.data());
        if (m_chunk.text) m_chunk = m_from_unicode.chunk();
    }

    ToUnicodeIter m_to_unicode;
    FromIter m_from_unicode;
    UChar m_split_lead = 0;
    BegEnd m_split_bytes;
};

// Hands its own copy of the input (or, through set_in_view, the caller's
// text) out unchanged, in chunks of at most `chunk_size` bytes. Its chunks
// carry no offsets, so their character walk is empty.
class I18N_API TrivialIter : public CharsetToCharsetIterPrototype {
public:
    explicit TrivialIter(int32_t chunk_size = 256);
    TrivialIter(const TrivialIter &other);
    TrivialIter &operator=(const TrivialIter &other);
    ~TrivialIter() override;

    void set_in_str(const char *text, int32_t length) override;
    void set_in_view(const char *text, int32_t length) override;
    void next() override;
    bool has_more() const override;
    void set_chunk_limit(int32_t limit) override;
    CharIter<char> char_iter() const override;
    size_t get_input_size() const { return m_size; }

private:
    void relink(const TrivialIter &other);

    ScratchArray<char> m_copy;
    const char *m_text = nullptr;  // m_copy's data, or the caller's text
    size_t m_size = 0;
    size_t m_pos = 0;
    int32_t m_chunk_size;
    int32_t m_limit;
};

// Chunks of a header that goes from UTF-8 to UTF-8, exactly as the converting
// iterator gives them (whole characters; a chunk that fills its limit while
// more follows hands its last character on to the next, those bytes carrying
// no offset), without the two conversions: a well-formed text converts to
// itself. A text that is not well-formed, or longer than one UTF-16 chunk,
// goes through the converting iterator, which reports it as it does.
class I18N_API Utf8HeaderIter : public CharsetToCharsetIterPrototype {
public:
    static constexpr int32_t kMaxChunk = 256;

    // Chunk sizes as for the converting iterator; `bytes_chunk` at most kMaxChunk.
    Utf8HeaderIter(int32_t units_chunk, int32_t bytes_chunk);
    Utf8HeaderIter(const Utf8HeaderIter &other);
    Utf8HeaderIter &operator=(const Utf8HeaderIter &other);
    ~Utf8HeaderIter() override;

    void set_in_str(const char *text, int32_t length) override;
    void set_in_view(const char *text, int32_t length) override;
    void next() override;
    bool has_more() const override;
    void set_chunk_limit(int32_t limit) override;
    CharIter<char> char_iter() const override;
    // Whether the current text goes through the converting iterator.
    bool is_converting() const { return m_converting != nullptr; }

private:
    void start(const char *text, int32_t length, bool copy);
    void relink(const Utf8HeaderIter &other);

    int32_t m_units_chunk;
    int32_t m_bytes_chunk;
    int32_t m_limit;
    std::unique_ptr<CharsetToCharsetChunkIter<FromUnicodeFullCharIter>> m_converting;
    ScratchArray<char> m_copy;
    const char *m_text = nullptr;  // m_copy's data, or the caller's text
    int32_t m_size = 0;
    int32_t m_pos = 0;
    int32_t m_unit = 0;     // the UTF-16 position of m_pos
    bool m_carried = false;  // the character at m_pos was handed on from the chunk before
    int32_t m_offsets[kMaxChunk + 1];
};

}  // namespace i18n
