// Base64 encoders: a body as one stream in lines of 76 characters, written
// with its line breaks in one pass, and a header field as one
// "=?charset?B?...?=" word per chunk.
#include <algorithm>

#include "base64.h"
#include "i18n/encoders.h"

namespace i18n_mime {
namespace {

constexpr int32_t kGroupChars = 4;

// One whole group through the line cycle.
void write_group(i18n::LineCycle &cycle, i18n::StringBuffer<char> &out, const unsigned char *group) {
    cycle.move_line(out, kGroupChars);
    char chars[kGroupChars];
    base64::encode_groups(group, 1, chars);
    out.append(chars, kGroupChars);
}

}  // namespace

B64BodyEncoder::B64BodyEncoder(const char *charset)
    : GenericEncoder(charset), m_cycle(base64::kBodyLineLimit, nullptr, nullptr, base64::kBodyLineBreak) {}
B64BodyEncoder::B64BodyEncoder(const B64BodyEncoder &) = default;
B64BodyEncoder &B64BodyEncoder::operator=(const B64BodyEncoder &) = default;
B64BodyEncoder::~B64BodyEncoder() = default;

void B64BodyEncoder::encode(i18n::CharsetToCharsetIterPrototype &iter, i18n::StringBuffer<char> &out) {
    set_ptrs(iter.get_str());
    auto *const begin = reinterpret_cast<const unsigned char *>(m_cur);
    auto *const end = reinterpret_cast<const unsigned char *>(m_end);
    const unsigned char *p = begin;
    if (m_carry_count) {
        unsigned char group[3] = {m_carry[0], m_carry[1], 0};
        int32_t have = m_carry_count;
        while (have < 3 && p != end) group[have++] = *p++;
        if (have < 3) {
            std::copy(group, group + have, m_carry);
            m_carry_count = have;
            return;
        }
        write_group(m_cycle, out, group);
        m_carry_count = 0;
    }
    // The text's first group opens the first line through the cycle; after
    // that the groups go straight into the buffer's blocks with their breaks,
    // and only a piece that meets the end of a slab goes through the cycle.
    if (m_cycle.get_line_length() == 0 && end - p >= 3) {
        write_group(m_cycle, out, p);
        p += 3;
    }
    size_t groups = static_cast<size_t>(end - p) / 3;
    int32_t line = m_cycle.get_line_length();
    while (groups) {
        size_t room = 0, written = 0;
        char *at = out.write_cursor(&room);
        size_t done = base64::encode_body_lines(p, groups, static_cast<size_t>(p - begin), at, room, line, &written);
        out.commit(written);
        if (done == 0) {
            m_cycle.set_line_length(line);
            write_group(m_cycle, out, p);
            line = m_cycle.get_line_length();
            done = 1;
        }
        p += 3 * done;
        groups -= done;
    }
    m_cycle.set_line_length(line);
    m_carry_count = static_cast<int32_t>(end - p);
    std::copy(p, end, m_carry);
}

void B64BodyEncoder::complete(i18n::StringBuffer<char> &out) {
    if (!m_carry_count) return;
    m_cycle.move_line(out, kGroupChars);
    char chars[kGroupChars];
    base64::encode_last(m_carry, static_cast<size_t>(m_carry_count), chars);
    out.append(chars, kGroupChars);
    m_carry_count = 0;
}

size_t B64BodyEncoder::get_output_bound(size_t input_bytes) const {
    // Four characters a group; a line break ahead of every line but the first,
    // and no line holds fewer groups than a continuation line.
    constexpr size_t kBreakSize = sizeof base64::kBodyLineBreak - 1;
    constexpr size_t kLineGroups = (base64::kBodyLineLimit - kBreakSize) / kGroupChars;
    size_t groups = (input_bytes + 2) / 3 + static_cast<size_t>(m_carry_count > 0);
    return kGroupChars * groups + kBreakSize * (groups / kLineGroups + 1);
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
    // The groups go straight into the buffer's blocks; one that meets the end
    // of a slab goes through a small copy.
    for (size_t groups = count / 3; groups;) {
        size_t room = 0;
        char *at = out.write_cursor(&room);
        size_t n = std::min(groups, room / kGroupChars);
        if (n == 0) {
            char chars[kGroupChars];
            base64::encode_groups(bytes, 1, chars);
            out.append(chars, kGroupChars);
            n = 1;
        } else {
            out.commit(static_cast<size_t>(base64::encode_groups(bytes, n, at) - at));
        }
        bytes += 3 * n;
        groups -= n;
    }
    if (count % 3) {
        char chars[kGroupChars];
        base64::encode_last(bytes, count % 3, chars);
        out.append(chars, kGroupChars);
    }
    m_cycle.close_cycle(out);
}

int32_t B64HeaderEncoder::get_limit_byte_size() const { return m_cycle.get_num_bytes_avail() / 4 * 3; }

}  // namespace i18n_mime
