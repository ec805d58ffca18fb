// Base64 encoders: a body as one stream in lines of 76 characters, and a header
// field as one "=?charset?B?...?=" word per chunk.
#include <algorithm>

#include "base64.h"
#include "i18n/encoders.h"

namespace i18n_mime {
namespace {

constexpr int32_t kGroupChars = 4;

// Writes `groups` groups of `in` straight into the buffer's blocks; a group
// that would cross into the next block goes through a small copy.
const unsigned char *write_groups(i18n::StringBuffer<char> &out, const unsigned char *in, size_t groups) {
    while (groups) {
        size_t room = 0;
        char *at = out.write_cursor(&room);
        size_t fit = std::min(groups, room / kGroupChars);
        if (fit == 0) {
            char chars[kGroupChars];
            base64::encode_groups(in, 1, chars);
            out.append(chars, kGroupChars);
            fit = 1;
        } else {
            base64::encode_groups(in, fit, at);
            out.commit(fit * kGroupChars);
        }
        in += 3 * fit;
        groups -= fit;
    }
    return in;
}

}  // namespace

B64BodyEncoder::B64BodyEncoder(const char *charset) : GenericEncoder(charset), m_cycle(76, nullptr, nullptr, "\r\n") {}
B64BodyEncoder::B64BodyEncoder(const B64BodyEncoder &) = default;
B64BodyEncoder &B64BodyEncoder::operator=(const B64BodyEncoder &) = default;
B64BodyEncoder::~B64BodyEncoder() = default;

void B64BodyEncoder::encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) {
    set_ptrs(iter.get_str());
    auto *p = reinterpret_cast<const unsigned char *>(m_cur);
    auto *end = reinterpret_cast<const unsigned char *>(m_end);
    if (m_carry_count) {
        unsigned char group[3] = {m_carry[0], m_carry[1], 0};
        int32_t have = m_carry_count;
        while (have < 3 && p != end) group[have++] = *p++;
        if (have < 3) {
            std::copy(group, group + have, m_carry);
            m_carry_count = have;
            return;
        }
        m_cycle.move_line(out, kGroupChars);
        char chars[4];
        base64::encode_groups(group, 1, chars);
        out.append(chars, 4);
        m_carry_count = 0;
    }
    // A line at a time: the group that begins a line goes through the cycle,
    // which writes the break; the groups that fit behind it are only counted.
    while (end - p >= 3) {
        size_t groups = static_cast<size_t>(end - p) / 3;
        size_t n = 0;
        if (m_cycle.count_fitting(kGroupChars) == 0) {
            m_cycle.move_line(out, kGroupChars);
            n = 1;
        }
        size_t more = std::min(groups - n, static_cast<size_t>(m_cycle.count_fitting(kGroupChars)));
        m_cycle.set_line_length(m_cycle.get_line_length() + kGroupChars * static_cast<int32_t>(more));
        p = write_groups(out, p, n + more);
    }
    m_carry_count = static_cast<int32_t>(end - p);
    std::copy(p, end, m_carry);
}

void B64BodyEncoder::complete(i18n::StringBuffer<char> &out) {
    if (!m_carry_count) return;
    m_cycle.move_line(out, kGroupChars);
    char chars[4];
    base64::encode_last(m_carry, static_cast<size_t>(m_carry_count), chars);
    out.append(chars, 4);
    m_carry_count = 0;
}

B64HeaderEncoder::B64HeaderEncoder(const char *charset) : GenericEncoder(charset), m_cycle(charset, I18N_MIME_B64) {}
B64HeaderEncoder::B64HeaderEncoder(const B64HeaderEncoder &) = default;
B64HeaderEncoder &B64HeaderEncoder::operator=(const B64HeaderEncoder &) = default;
B64HeaderEncoder::~B64HeaderEncoder() = default;

void B64HeaderEncoder::encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) {
    set_ptrs(iter.get_str());
    size_t count = static_cast<size_t>(m_end - m_cur);
    if (count == 0) return;  // an encoded word must hold at least one character
    auto *bytes = reinterpret_cast<const unsigned char *>(m_cur);
    m_cycle.start_cycle(out);
    char word[256];
    constexpr size_t kGroupsPerRun = sizeof word / kGroupChars;
    size_t groups = count / 3;
    for (size_t done = 0; done < groups;) {
        size_t n = std::min(groups - done, kGroupsPerRun);
        char *at = base64::encode_groups(bytes + 3 * done, n, word);
        out.append(word, static_cast<size_t>(at - word));
        done += n;
    }
    if (count % 3) out.append(word, static_cast<size_t>(base64::encode_last(bytes + 3 * groups, count % 3, word) - word));
    m_cycle.close_cycle(out);
}

int32_t B64HeaderEncoder::get_limit_byte_size() const { return m_cycle.get_num_bytes_avail() / 4 * 3; }

}  // namespace i18n_mime
