// The two process-wide quoted-printable tables, built on first use: which bytes
// a body, and which a header encoded word, must write as =XX.
#include <cstring>
#include <mutex>

#include "i18n/encoders.h"

namespace i18n_mime {
namespace {

// Each table is built exactly once, also when several threads meet its first
// use; after that std::call_once costs one load.
unsigned char body_table[256];
std::once_flag body_once;
unsigned char header_table[256];
std::once_flag header_once;

unsigned char *built_body_table() {
    std::call_once(body_once, [] { QPEncodingTable(body_table, false); });
    return body_table;
}

unsigned char *built_header_table() {
    std::call_once(header_once, [] { QPEncodingTable(header_table, false).set_encode_chars(" \t_?"); });
    return header_table;
}

}  // namespace

QPEncodingTable::QPEncodingTable(unsigned char *table, bool built) : m_table(table) {
    if (built) return;
    std::memset(m_table, 0, 0x7F);
    std::memset(m_table, 1, 0x20);
    std::memset(m_table + 0x7F, 1, 0x100 - 0x7F);
    set_encode_chars("=\r\n#$@[\\]^`{|}~");
}

QPEncodingTable::~QPEncodingTable() = default;
QPEncodingTable::QPEncodingTable(const QPEncodingTable &) = default;
QPEncodingTable &QPEncodingTable::operator=(const QPEncodingTable &) = default;

void QPEncodingTable::set_encode_chars(const char *chars) {
    for (; *chars; ++chars) set_encode_char(static_cast<unsigned char>(*chars));
}

size_t QPEncodingTable::get_number_qp_encoded_bytes(std::string_view text) const {
    size_t count = 0;
    for (unsigned char c : text) count += m_table[c];
    return count;
}

size_t QPEncodingTable::get_byte_size_qp_encoded_str(std::string_view text) const {
    return text.size() + 2 * get_number_qp_encoded_bytes(text);
}

QPBodyEncodingTable::QPBodyEncodingTable() : QPEncodingTable(built_body_table(), true) {}
QPHeaderEncodingTable::QPHeaderEncodingTable() : QPEncodingTable(built_header_table(), true) {}

QPBodyEncodingTable::QPBodyEncodingTable(const QPBodyEncodingTable &) = default;
QPBodyEncodingTable &QPBodyEncodingTable::operator=(const QPBodyEncodingTable &) = default;
QPBodyEncodingTable::~QPBodyEncodingTable() = default;
QPHeaderEncodingTable::QPHeaderEncodingTable(const QPHeaderEncodingTable &) = default;
QPHeaderEncodingTable &QPHeaderEncodingTable::operator=(const QPHeaderEncodingTable &) = default;
QPHeaderEncodingTable::~QPHeaderEncodingTable() = default;

}  // namespace i18n_mime
