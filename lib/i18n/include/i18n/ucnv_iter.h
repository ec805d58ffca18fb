// Chunked conversion through one ICU converter: bytes to UTF-16 (ToUnicodeIter)
// or UTF-16 to bytes (FromUnicodeIter), each chunk with the source offset of
// every unit; FromUnicodeFullCharIter also ends every chunk on a character.
#pragma once

#include <algorithm>
#include <string>
#include <cstdint>
#include <type_traits>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <utility>

#include "i18n/catalogue.h"
#include "i18n/chunk.h"
#include "i18n/converter.h"
#include "i18n/converter_pool.h"
#include "i18n/error.h"

namespace i18n {

template <class In, class Out>
class UcnvChunkIter : public Error {
    static_assert((std::is_same_v<In, char> && std::is_same_v<Out, UChar>) ||
                  (std::is_same_v<In, UChar> && std::is_same_v<Out, char>));

public:
    UcnvChunkIter(const char *charset, int32_t chunk_size)
        : m_converter(charset), m_out(chunk_size), m_out_end(m_out.capacity()) {
        if (!m_converter) set_error();
    }
    UcnvChunkIter(const UcnvChunkIter &other)
        : Error(other), m_converter(other.m_converter.clone()), m_status(other.m_status), m_out(other.m_out),
          m_out_end(other.m_out_end), m_in(other.m_in), m_in_length(other.m_in_length), m_in_pos(other.m_in_pos),
          m_call_start(other.m_call_start), m_flush(other.m_flush), m_report(other.m_report) {
        if (other.m_converter && !m_converter) set_error();
    }
    UcnvChunkIter &operator=(const UcnvChunkIter &other) {
        if (this != &other) *this = UcnvChunkIter(other);
        return *this;
    }
    UcnvChunkIter(UcnvChunkIter &&) = default;
    UcnvChunkIter &operator=(UcnvChunkIter &&) = default;
    ~UcnvChunkIter() = default;

    // The text to convert; the caller keeps it alive while the iterator runs.
    void set_input(const In *text, int32_t length) {
        m_in = text;
        m_in_length = length;
        m_in_pos = 0;
    }
    // Points the iterator at a copy of its input, at the same position.
    void rebase(const In *text) { m_in = text; }
    void set_flush(bool flush) { m_flush = flush; }
    void set_report(bool report) { m_report = report; }
    void set_chunk_limit(int32_t limit) {
        if (limit > 0 && limit < m_out.capacity()) m_out_end = limit;
    }

    void next() { convert_into(0); }
    bool has_more() const { return m_status.has_next() || !m_flush; }

    const StrWithOffsets<Out> &get_out() const { return m_out; }
    ChunkRef<Out> chunk() const { return {m_out.text.data(), m_out.length, m_out.offsets.data()}; }
    const UcnvErrorHandler &get_status() const { return m_status; }
    const In *get_input() const { return m_in; }
    int32_t get_in_pos() const { return m_in_pos; }
    // Where the last conversion call began in the input.
    int32_t get_call_start() const { return m_call_start; }
    UConverter *get_converter() const { return m_converter.get(); }

protected:
    // One ICU call from the input position into the chunk, from unit `first` on.
    void convert_into(int32_t first) {
        static const In empty[1] = {};
        m_call_start = m_in_pos;
        if (!m_converter) {
            set_error();
            finish_chunk(first);
            return;
        }
        Out *text = m_out.text.data();
        Out *target = text + first;
        Out *target_end = text + std::max(m_out_end, first);
        const In *base = m_in ? m_in : empty;
        const In *source = base + m_in_pos;
        int32_t *offsets = m_out.offsets.data() + first;
        m_status.ucnv_set_ok();
        if constexpr (std::is_same_v<In, char>)
            ucnv_toUnicode(m_converter.get(), &target, target_end, &source, base + m_in_length, offsets, m_flush,
                           m_status.ucnv_code());
        else
            ucnv_fromUnicode(m_converter.get(), &target, target_end, &source, base + m_in_length, offsets, m_flush,
                             m_status.ucnv_code());
        m_in_pos = static_cast<int32_t>(source - base);
        int32_t length = static_cast<int32_t>(target - text);
        // UTF-16 input arrives as one chunk; keep offsets relative to its start also
        // when a call resumes in the middle of it.
        if constexpr (std::is_same_v<In, UChar>) {
            if (m_call_start)
                for (int32_t i = first; i < length; ++i)
                    if (m_out.offsets[i] >= 0) m_out.offsets[i] += m_call_start;
        }
        finish_chunk(length);
        if (!m_status.ucnv_is_ok()) {
            set_error();
            if (m_report) report();
        }
    }
    void finish_chunk(int32_t length) {
        m_out.length = length;
        m_out.offsets[length] = m_in_pos - m_call_start;
    }
    void report() const {
        if constexpr (std::is_same_v<In, char>)
            report_to_unicode_failure(m_in, m_in_length, m_in_pos);
        else
            report_from_unicode_failure(m_in, m_in_pos);
    }

    PooledConverter m_converter;
    UcnvErrorHandler m_status;
    StrWithOffsets<Out> m_out;
    int32_t m_out_end;
    const In *m_in = nullptr;
    int32_t m_in_length = 0;
    int32_t m_in_pos = 0;
    int32_t m_call_start = 0;
    bool m_flush = true;
    bool m_report = true;
};

using ToUnicodeIter = UcnvChunkIter<char, UChar>;
using FromUnicodeIter = UcnvChunkIter<UChar, char>;

// True for converters whose output depends on a shift state (ISO-2022, HZ, UTF-7...).
I18N_API bool is_stateful_converter(UConverter *converter);
// The same for a charset name; false for a name ICU does not know.
I18N_API bool is_stateful_charset(const char *name);

// A from-Unicode iterator whose chunks end on character boundaries: the bytes of
// the last character of a chunk are carried to the start of the next one. For a
// stateful target (ISO-2022-JP and the like) every chunk starts in the initial
// shift state and is flushed back to it, so that it also decodes on its own.
class FromUnicodeFullCharIter : public FromUnicodeIter {
public:
    FromUnicodeFullCharIter(const char *charset, int32_t chunk_size)
        : FromUnicodeIter(charset, chunk_size), m_stateful(m_converter && is_stateful_converter(m_converter.get())) {}

    // A stateful target keeps its own copy of the units, behind a lead surrogate
    // that the previous input ended with.
    void set_input(const UChar *text, int32_t length) {
        if (!m_stateful) return FromUnicodeIter::set_input(text, length);
        m_units.swap(m_held);
        m_units.append(text, static_cast<size_t>(length));
        m_held.clear();
        FromUnicodeIter::set_input(m_units.data(), static_cast<int32_t>(m_units.size()));
    }
    void rebase(const UChar *text) { FromUnicodeIter::rebase(m_stateful ? m_units.data() : text); }

    void next() {
        if (m_stateful) return next_stateful();
        int32_t carried = take_carry();
        convert_into(carried);
        if (!is_ok() || !has_more() || m_out.length == 0) return;
        int32_t end = m_out.length;
        int32_t begin = end - 1;
        int32_t offset = m_out.offsets[begin];
        while (begin > 0 && m_out.offsets[begin - 1] == offset) --begin;
        if (begin == 0) return;  // one character fills the chunk: keep it whole
        m_carry.assign(m_out.text.begin() + begin, m_out.text.begin() + end);
        int32_t consumed = m_out.offsets[end];
        m_out.length = begin;
        m_out.offsets[begin] = consumed;
    }

private:
    // Room kept for the sequence that returns a stateful target to its initial
    // state: "ESC ( B" for ISO-2022-JP, less for the others.
    static constexpr int32_t kShiftBackReserve = 4;
    static constexpr int32_t kMaxCharBytes = 64;

    int32_t take_carry() {
        int32_t carried = static_cast<int32_t>(m_carry.size());
        std::copy(m_carry.begin(), m_carry.end(), m_out.text.begin());
        std::fill(m_out.offsets.begin(), m_out.offsets.begin() + carried, -1);
        m_carry.clear();
        return carried;
    }

    int32_t char_end(int32_t pos) const {
        bool pair = U16_IS_LEAD(m_in[pos]) && pos + 1 < m_in_length && U16_IS_TRAIL(m_in[pos + 1]);
        return pos + (pair ? 2 : 1);
    }
    // A lead surrogate that ends this input, whose trail comes with the next one.
    bool waits_for_trail(int32_t pos) const {
        return !m_flush && pos == m_in_length - 1 && U16_IS_LEAD(m_in[pos]);
    }

    void next_stateful() {
        m_call_start = m_in_pos;
        m_status.ucnv_set_ok();
        int32_t end = fitting_end();
        int32_t length = convert_run(end);
        // The reserve was short: give the last character to the next chunk.
        while (is_ok() && length > m_out_end && end - m_call_start > 1) {
            end -= end - 2 >= m_call_start && U16_IS_TRAIL(m_in[end - 1]) && U16_IS_LEAD(m_in[end - 2]) ? 2 : 1;
            m_in_pos = m_call_start;
            length = convert_run(end);
        }
        if (is_error()) return;
        if (m_in_pos < m_in_length) {
            if (waits_for_trail(m_in_pos)) {
                m_held.assign(1, m_in[m_in_pos]);
                m_in_pos = m_in_length;
            } else {
                *m_status.ucnv_code() = U_BUFFER_OVERFLOW_ERROR;  // more characters follow
            }
        }
        finish_chunk(length);
    }

    // The end of the characters, from the input position on, that fit one chunk
    // together with the closing shift sequence; the first one always counts.
    int32_t fitting_end() {
        ucnv_resetFromUnicode(m_converter.get());
        int32_t room = m_out_end - kShiftBackReserve;
        int32_t length = 0;
        int32_t pos = m_in_pos;
        while (pos < m_in_length && !waits_for_trail(pos)) {
            int32_t end = char_end(pos);
            char bytes[kMaxCharBytes];
            char *target = bytes;
            const UChar *source = m_in + pos;
            UErrorCode code = U_ZERO_ERROR;
            ucnv_fromUnicode(m_converter.get(), &target, bytes + kMaxCharBytes, &source, m_in + end, nullptr, false,
                             &code);
            if (U_FAILURE(code)) return end;  // the second pass meets and reports it
            length += static_cast<int32_t>(target - bytes);
            if (length > room && pos > m_in_pos) break;
            pos = end;
        }
        return pos;
    }

    // Converts the characters up to `end` from the initial state, each byte
    // carrying the offset of its character, and flushes after the last one.
    int32_t convert_run(int32_t end) {
        ucnv_resetFromUnicode(m_converter.get());
        char *text = m_out.text.data();
        int32_t length = 0;
        while (m_in_pos < end) {
            int32_t begin = m_in_pos;
            int32_t stop = std::min(char_end(begin), end);
            char *target = text + length;
            const UChar *source = m_in + begin;
            ucnv_fromUnicode(m_converter.get(), &target, text + m_out.capacity(), &source, m_in + stop, nullptr,
                             stop == end, m_status.ucnv_code());
            m_in_pos = static_cast<int32_t>(source - m_in);
            int32_t written = static_cast<int32_t>(target - text) - length;
            std::fill_n(m_out.offsets.begin() + length, written, begin);
            length += written;
            if (!m_status.ucnv_is_total_ok()) {
                finish_chunk(length);
                set_error();
                if (m_report) report();
                return length;
            }
        }
        return length;
    }

    std::string m_carry;  // a character's few bytes stay within the string itself
    std::u16string m_units;
    std::u16string m_held;
    bool m_stateful;
};

}  // namespace i18n
