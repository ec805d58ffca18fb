// Quoted-printable encoders: bodies with soft line breaks, and header fields as
// "=?charset?Q?...?=" words that never split a character.
#include "i18n/encoders.h"
#include "i18n/ucnv_iter.h"

namespace i18n_mime {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

inline char *put_escaped(char *out, unsigned char c) {
    out[0] = '=';
    out[1] = kHex[c >> 4];
    out[2] = kHex[c & 15];
    return out + 3;
}

// Collects output in a small array so that the buffer is written in runs.
class OutStage {
public:
    explicit OutStage(i18n::StringBuffer<char> &out) : m_out(out) {}
    ~OutStage() { flush(); }
    void put(char c) { *m_at++ = c; }
    void put_escaped(unsigned char c) { m_at = i18n_mime::put_escaped(m_at, c); }
    // Makes sure `n` more bytes fit.
    void reserve(int n) {
        if (m_at + n > m_bytes + sizeof m_bytes) flush();
    }
    void flush() {
        m_out.append(m_bytes, static_cast<size_t>(m_at - m_bytes));
        m_at = m_bytes;
    }

private:
    i18n::StringBuffer<char> &m_out;
    char m_bytes[1024];
    char *m_at = m_bytes;
};

// Writes the bytes [begin, end), those the table marks as =XX.
void write_quoted(i18n::StringBuffer<char> &out, const QPEncodingTable &table, const char *begin, const char *end) {
    char bytes[3];
    for (const char *p = begin; p != end; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (table.should_encode(c)) out.append(bytes, static_cast<size_t>(put_escaped(bytes, c) - bytes));
        else out.append(static_cast<char>(c));
    }
}

}  // namespace

QPBodyEncoder::QPBodyEncoder(const char *charset) : GenericEncoder(charset), m_cycle(76, nullptr, "=", "\r\n") {}
QPBodyEncoder::QPBodyEncoder(const QPBodyEncoder &) = default;
QPBodyEncoder &QPBodyEncoder::operator=(const QPBodyEncoder &) = default;
QPBodyEncoder::~QPBodyEncoder() = default;

void QPBodyEncoder::encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) {
    set_ptrs(iter.get_str());
    const unsigned char *table = m_table.data();
    // The line length lives in a local while pieces only add to it; the cycle
    // itself decides whenever a piece would end or begin a line.
    const int32_t line_max = m_cycle.get_limit() - m_cycle.get_end_length();
    int32_t line = m_cycle.get_line_length();
    OutStage stage(out);
    for (const char *p = m_cur; p != m_end; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool escape = table[c] != 0;
        int32_t n = escape ? 3 : 1;
        if (line == 0 || line_max - n < line) {
            stage.flush();
            m_cycle.set_line_length(line);
            m_cycle.move_line(out, n);
            line = m_cycle.get_line_length();
        } else {
            line += n;
        }
        stage.reserve(3);
        if (escape) stage.put_escaped(c);
        else stage.put(static_cast<char>(c));
    }
    stage.flush();
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
    : GenericEncoder(charset), m_cycle(charset, I18N_MIME_QP), m_word_per_chunk(i18n::is_stateful_charset(charset)) {}
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
    i18n::CharIter<char> chars = iter.char_iter();
    while (chars.has_more()) {
        i18n::BegEnd range = chars.next();
        const char *begin = m_cur + range.begin();
        const char *end = m_cur + range.end();
        int32_t escaped = 0;
        for (const char *p = begin; p != end; ++p) escaped += m_table.should_encode(static_cast<unsigned char>(*p));
        m_cycle.move_line(out, range.size() + 2 * escaped);
        write_quoted(out, m_table, begin, end);
    }
}

void QPHeaderEncoder::complete(i18n::StringBuffer<char> &out) {
    // An empty text opened no word, and so has none to close.
    if (m_cycle.get_line_length() > 0) m_cycle.close_cycle(out);
}

}  // namespace i18n_mime
