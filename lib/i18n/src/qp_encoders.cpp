// Quoted-printable encoders: bodies with soft line breaks, and header fields as
// "=?charset?Q?...?=" words that never split a character.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <climits>
#include <cstring>
#include <iterator>

#include "i18n/encoders.h"
#include "i18n/ucnv_iter.h"
#include "qp_plain_runs.h"

namespace i18n_mime {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Each byte's "=XX" as a word that lies in memory as those three bytes.
struct EscapeWords {
    uint32_t words[256]{};
    constexpr EscapeWords() {
        for (unsigned c = 0; c < 256; ++c) {
            uint32_t bytes[3] = {'=', static_cast<unsigned char>(kHex[c >> 4]), static_cast<unsigned char>(kHex[c & 15])};
            for (int k = 0; k < 3; ++k)
                words[c] |= bytes[k] << (std::endian::native == std::endian::little ? 8 * k : 24 - 8 * k);
        }
    }
};
constexpr EscapeWords kEscapes;

// A byte as a word whose first byte in memory it is.
constexpr uint32_t plain_word(unsigned char c) {
    return std::endian::native == std::endian::little ? c : uint32_t{c} << 24;
}

inline char *put_escaped(char *out, unsigned char c) {
    out[0] = '=';
    out[1] = kHex[c >> 4];
    out[2] = kHex[c & 15];
    return out + 3;
}

// Writes the bytes [begin, end), those the table marks as =XX.
void write_quoted(i18n::StringBuffer<char> &out, const QPEncodingTable &table, const char *begin, const char *end) {
    char bytes[3 * 16];
    while (begin != end) {
        char *at = bytes;
        for (; begin != end && at <= std::end(bytes) - 3; ++begin) {
            auto c = static_cast<unsigned char>(*begin);
            if (table.should_encode(c)) at = put_escaped(at, c);
            else *at++ = static_cast<char>(c);
        }
        out.append(bytes, static_cast<size_t>(at - bytes));
    }
}

// Whether words in `charset` start from a shift state, remembered per thread
// for the last name asked: opening a converter only to ask costs more than
// encoding a short header, and a program encodes its headers in one charset.
bool is_stateful_target(const char *charset) {
    struct Answer {
        char name[64];
        bool stateful;
    };
    thread_local Answer last{};
    if (!charset || std::strlen(charset) >= sizeof last.name) return i18n::is_stateful_charset(charset);
    if (last.name[0] && std::strcmp(last.name, charset) == 0) return last.stateful;
    last.stateful = i18n::is_stateful_charset(charset);
    std::strcpy(last.name, charset);
    return last.stateful;
}

}  // namespace

QPBodyEncoder::QPBodyEncoder(const char *charset) : GenericEncoder(charset), m_cycle(76, nullptr, "=", "\r\n") {}
QPBodyEncoder::QPBodyEncoder(const QPBodyEncoder &) = default;
QPBodyEncoder &QPBodyEncoder::operator=(const QPBodyEncoder &) = default;
QPBodyEncoder::~QPBodyEncoder() = default;

void QPBodyEncoder::encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) {
    set_ptrs(iter.get_str());
    const unsigned char *table = m_table.data();
    const PlainRuns plain(table);
    // A piece of n bytes fits on the current line while line + n <= line_max.
    // The line length lives in a local while pieces only add to it; the cycle
    // itself decides whenever a piece ends or begins a line.
    const int32_t line_max = m_cycle.get_limit() - m_cycle.get_end_length();
    int32_t line = m_cycle.get_line_length();
    const char *p = m_cur;
    while (p != m_end) {
        auto c = static_cast<unsigned char>(*p);
        int32_t n = table[c] ? 3 : 1;
        size_t room = 0;
        char *at = line == 0 || line + n > line_max ? nullptr : out.write_cursor(&room);
        if (room < 3) {
            if (!at) {
                m_cycle.set_line_length(line);
                m_cycle.move_line(out, n);
                line = m_cycle.get_line_length();
            } else {
                line += n;
            }
            char piece[3];
            out.append(piece, static_cast<size_t>(n == 3 ? put_escaped(piece, c) - piece : (piece[0] = *p, 1)));
            ++p;
            continue;
        }
        // The pieces that fit on this line and in this block, written in place.
        char *const start = at;
        char *const stop = at + room - 2;
        while (p != m_end && at < stop) {
            // A run of bytes written as they are, then one escape.
            size_t most = std::min({static_cast<size_t>(m_end - p), static_cast<size_t>(stop - at),
                                    static_cast<size_t>(line_max - line)});
            size_t run = plain.copy(p, most, static_cast<size_t>(m_end - p), at, static_cast<size_t>(stop - at));
            at += run;
            p += run;
            line += static_cast<int32_t>(run);
            if (run == most || line + 3 > line_max) break;
            at = put_escaped(at, static_cast<unsigned char>(*p++));
            line += 3;
        }
        out.commit(static_cast<size_t>(at - start));
    }
    m_cycle.set_line_length(line);
}

void QPBodyEncoder::complete(i18n::StringBuffer<char> &out) {
    if (out.empty()) return;
    char last = out.last();
    if (last != ' ' && last != '\t') return;
    // The blank stays counted on its line; its escape is counted in addition.
    out.step_back();
    m_cycle.move_line(out, 3);
    char escaped[3];
    put_escaped(escaped, static_cast<unsigned char>(last));
    out.append(escaped, 3);
}

QPHeaderEncoder::QPHeaderEncoder(const char *charset)
    : GenericEncoder(charset), m_cycle(charset, I18N_MIME_QP), m_word_per_chunk(is_stateful_target(charset)) {}
QPHeaderEncoder::QPHeaderEncoder(const QPHeaderEncoder &) = default;
QPHeaderEncoder &QPHeaderEncoder::operator=(const QPHeaderEncoder &) = default;
QPHeaderEncoder::~QPHeaderEncoder() = default;

int32_t QPHeaderEncoder::get_limit_byte_size() const {
    return m_word_per_chunk ? m_cycle.get_num_bytes_avail() / 3 : -1;
}

void QPHeaderEncoder::encode_word(i18n::StringBuffer<char> &out) {
    if (m_cur == m_end) return;  // an encoded word holds at least one character
    m_cycle.start_cycle(out);
    write_quoted(out, m_table, m_cur, m_end);
    m_cycle.close_cycle(out);
}

void QPHeaderEncoder::encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) {
    set_ptrs(iter.get_str());
    if (m_word_per_chunk) return encode_word(out);
    // The character walk of the chunk: runs of bytes with one source offset.
    const i18n::ChunkRef<char> &chunk = iter.get_chunk();
    if (!chunk.offsets) return;
    const unsigned char *table = m_table.data();
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_cur);
    const int32_t *offsets = chunk.offsets;
    // As in the body encoder, the line length lives in a local while characters
    // only add to it. The bytes are written in place as long as they fit on
    // the line and in the block; what was written past the last whole
    // character is left uncommitted. The cycle itself moves to the next line,
    // one character at a time.
    const int32_t line_max = m_cycle.get_limit() - m_cycle.get_end_length();
    const int32_t length = chunk.length;  // in a local: the byte stores below may alias anything
    int32_t line = m_cycle.get_line_length();
    for (int32_t begin = 0; begin < length;) {
        if (line > 0) {
            size_t room = 0;
            char *at = out.write_cursor(&room);
            // Three bytes of the room stay spare: each byte is stored as a
            // four-byte word, of which one or three bytes are kept, so that no
            // branch guesses at escapes.
            char *const start = at;
            char *const stop = at + std::min<size_t>(static_cast<size_t>(line_max - line), room < 3 ? 0 : room - 3);
            char *fit_at = at;
            int32_t fit_end = begin;
            for (int32_t i = begin; i < length;) {
                const unsigned char c = bytes[i];
                const bool marked = table[c] != 0;
                char *const next = at + (marked ? 3 : 1);
                if (next > stop) break;
                const uint32_t word = marked ? kEscapes.words[c] : plain_word(c);
                std::memcpy(at, &word, sizeof word);
                at = next;
                ++i;
                if (i == length || offsets[i] != offsets[i - 1]) {
                    fit_end = i;
                    fit_at = at;
                }
            }
            if (fit_end > begin) {
                out.commit(static_cast<size_t>(fit_at - start));
                line += static_cast<int32_t>(fit_at - start);
                begin = fit_end;
                continue;
            }
        }
        // The next character begins a line (or meets the end of a slab).
        int32_t end = begin + 1;
        while (end < length && offsets[end] == offsets[begin]) ++end;
        int32_t piece = end - begin;
        for (int32_t i = begin; i < end; ++i) piece += 2 * table[bytes[i]];
        m_cycle.set_line_length(line);
        m_cycle.move_line(out, piece);
        line = m_cycle.get_line_length();
        write_quoted(out, m_table, m_cur + begin, m_cur + end);
        begin = end;
    }
    m_cycle.set_line_length(line);
}

void QPHeaderEncoder::complete(i18n::StringBuffer<char> &out) {
    // An empty text opened no word, and so has none to close.
    if (m_cycle.get_line_length() > 0) m_cycle.close_cycle(out);
}

}  // namespace i18n_mime
