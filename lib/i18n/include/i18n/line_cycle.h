// Line cycles keep an encoder's output lines within a limit: before each piece
// the encoder says how many bytes it will write, and the cycle ends the line
// first when the piece would not fit.
#pragma once

#include <cstdint>
#include <string>

#include "i18n.h"
#include "i18n/error.h"
#include "i18n/string_buffer.h"

namespace i18n {

class I18N_API LineCycle : public Error {
public:
    // `start` opens every line, `end` closes every line that is ended, `line_break`
    // separates lines; NULL strings are empty.
    LineCycle(int32_t limit, const char *start, const char *end, const char *line_break);
    LineCycle(const LineCycle &);
    LineCycle &operator=(const LineCycle &);
    virtual ~LineCycle();

    bool is_legal() const;
    // The largest piece that fits on a continuation line.
    int32_t get_num_bytes_avail() const { return m_limit - static_cast<int32_t>(m_break.size() + m_end.size() + m_start.size()); }

    void start_cycle(StringBuffer<char> &out);
    void close_cycle(StringBuffer<char> &out);
    // Makes room for a piece of `num_bytes` bytes, which the caller writes next.
    void move_line(StringBuffer<char> &out, int32_t num_bytes) {
        if (num_bytes > get_num_bytes_avail()) report_piece_too_big();
        if (m_limit - static_cast<int32_t>(m_end.size()) - num_bytes < m_line_length) close_cycle(out);
        if (m_line_length == 0) start_cycle(out);
        m_line_length += num_bytes;
    }
    // How many pieces of `num_bytes` bytes fit on the current, already started
    // line, so that the same number of move_line calls would only count them.
    int32_t count_fitting(int32_t num_bytes) const {
        if (m_line_length == 0 || num_bytes <= 0) return 0;
        int32_t room = m_limit - static_cast<int32_t>(m_end.size()) - m_line_length;
        return room >= num_bytes ? room / num_bytes : 0;
    }

    int32_t get_line_length() const { return m_line_length; }
    void set_line_length(int32_t length) { m_line_length = length; }
    int32_t get_limit() const { return m_limit; }
    int32_t get_end_length() const { return static_cast<int32_t>(m_end.size()); }
    bool is_first_line() const { return m_first_line; }

private:
    void report_piece_too_big() const;

    int32_t m_line_length = 0;
    int32_t m_limit;
    bool m_first_line = true;
    std::string m_start;
    std::string m_end;
    std::string m_break;
};

}  // namespace i18n

namespace i18n_mime {

// Folds a header field into RFC 2047 encoded words "=?charset?Q?...?=" (or ?B?)
// of at most 75 bytes, separated by CR LF TAB.
class I18N_API HeaderLineCycle : public i18n::LineCycle {
public:
    HeaderLineCycle(const char *charset, i18n_mime_encoding_t type);
    HeaderLineCycle(const HeaderLineCycle &);
    HeaderLineCycle &operator=(const HeaderLineCycle &);
    ~HeaderLineCycle() override;
};

}  // namespace i18n_mime
