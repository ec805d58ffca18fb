// The target charset tables: Japanese text in any Shift_JIS alias goes out as
// ISO-2022-JP in bodies and as UTF-8 in headers. Names are compared normalised.
#include <cstring>
#include <string>
#include <unicode/ucnv.h>

#include "i18n.h"
#include "i18n/catalogue.h"
#include "i18n/processors.h"
#include "ks.h"
#include "messages.h"

namespace i18n_mime {
namespace {

std::string normalised(const char *name) {
    std::string text;
    for (const char *p = name; *p; ++p) {
        if (*p == '-') continue;
        text += *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p - 'A' + 'a') : *p;
    }
    return text;
}

char *copy_of(const char *text) {
    size_t size = std::strlen(text) + 1;
    char *copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}

// Every alias that ICU knows for "shift_jis" maps to `target`.
hash_str_t make_table(const char *target) {
    hash_str_t table = hash_str_create(200, 4, 0);
    UErrorCode code = U_ZERO_ERROR;
    const char *family = "shift_jis";
    uint16_t count = ucnv_countAliases(family, &code);
    if (U_FAILURE(code)) {
        imsg_print(i18n::kMessageKind, i18n::message_table(), i18n::MSG_INVALID_ALIAS, family);
        return table;
    }
    char *value = copy_of(target);  // the table's own, for the life of the process
    for (uint16_t i = 0; i < count; ++i) {
        code = U_ZERO_ERROR;
        const char *alias = ucnv_getAlias(family, i, &code);
        if (U_FAILURE(code) || !alias) continue;
        void **slot = nullptr;
        hash_str_enter(table, normalised(alias).c_str(), nullptr, &slot);
        *slot = value;
    }
    return table;
}

struct TargetTables {
    hash_str_t body = make_table("ISO-2022-JP");
    hash_str_t header = make_table("UTF-8");
};

const TargetTables &target_tables() {
    static const TargetTables tables;
    return tables;
}

}  // namespace

hash_str_t get_body_target_table() { return target_tables().body; }
hash_str_t get_header_target_table() { return target_tables().header; }

const char *find_target_charset(hash_str_t table, const char *name) {
    if (!name) return nullptr;
    void **slot = nullptr;
    if (!hash_str_lookup(table, normalised(name).c_str(), nullptr, &slot)) return nullptr;
    return static_cast<const char *>(*slot);
}

}  // namespace i18n_mime

CharsetFinder::CharsetFinder(const char *from, hash_str_t table)
    : m_from(from ? from : ucnv_getDefaultName()), m_table(table),
      m_to(i18n_mime::find_target_charset(table, m_from.c_str())) {}

CharsetFinder::~CharsetFinder() = default;

BodyCharsetFinder::BodyCharsetFinder(const char *from) : CharsetFinder(from, i18n_mime::get_body_target_table()) {}

HeaderCharsetFinder::HeaderCharsetFinder(const char *from)
    : CharsetFinder(from, i18n_mime::get_header_target_table()) {}

extern "C" const char *i18n_mime_get_body_to_charset_name(const char *name) {
    return i18n_mime::find_target_charset(i18n_mime::get_body_target_table(), name);
}

extern "C" const char *i18n_mime_get_header_to_charset_name(const char *name) {
    return i18n_mime::find_target_charset(i18n_mime::get_header_target_table(), name);
}

extern "C" char *i18n_mime_transform_charset_name(const char *name) {
    if (!name) return nullptr;
    return i18n_mime::copy_of(i18n_mime::normalised(name).c_str());
}
