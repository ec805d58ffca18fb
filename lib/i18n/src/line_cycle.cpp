// Line cycles: the line-length keeping of the encoders, and the header cycle
// that folds a field into encoded words.
#include <string>

#include "i18n/line_cycle.h"
#include "ks.h"

namespace i18n {

LineCycle::LineCycle(int32_t limit, const char *start, const char *end, const char *line_break)
    : m_limit(limit), m_start(start ? start : ""), m_end(end ? end : ""), m_break(line_break ? line_break : "") {
    if (!is_legal()) pfm_assert_fail("is_legal()", __FILE__, __LINE__);
}

LineCycle::LineCycle(const LineCycle &) = default;
LineCycle &LineCycle::operator=(const LineCycle &) = default;
LineCycle::~LineCycle() = default;

bool LineCycle::is_legal() const {
    return static_cast<int64_t>(m_start.size() + m_end.size() + m_break.size()) < m_limit;
}

void LineCycle::start_cycle(StringBuffer<char> &out) {
    if (m_first_line) {
        m_first_line = false;
    } else {
        out.append(m_break.data(), m_break.size());
        m_line_length += static_cast<int32_t>(m_break.size());
    }
    if (!m_start.empty()) {
        out.append(m_start.data(), m_start.size());
        m_line_length += static_cast<int32_t>(m_start.size());
    }
}

void LineCycle::close_cycle(StringBuffer<char> &out) {
    out.append(m_end.data(), m_end.size());
    m_line_length = 0;
}

void LineCycle::report_piece_too_big() const {
    pfm_assert_fail("num_bytes <= get_num_bytes_avail()", __FILE__, __LINE__);
}

}  // namespace i18n

namespace i18n_mime {
namespace {

std::string encoded_word_start(const char *charset, i18n_mime_encoding_t type) {
    if (type == I18N_MIME_NONE) pfm_assert_fail("e_type != I18N_MIME_NONE", __FILE__, __LINE__);
    return std::string("=?") + (charset ? charset : "") + (type == I18N_MIME_B64 ? "?B?" : "?Q?");
}

}  // namespace

HeaderLineCycle::HeaderLineCycle(const char *charset, i18n_mime_encoding_t type)
    : LineCycle(75, encoded_word_start(charset, type).c_str(), "?=", "\r\n\t") {}

HeaderLineCycle::HeaderLineCycle(const HeaderLineCycle &) = default;
HeaderLineCycle &HeaderLineCycle::operator=(const HeaderLineCycle &) = default;
HeaderLineCycle::~HeaderLineCycle() = default;

}  // namespace i18n_mime
