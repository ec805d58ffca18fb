// Charset handles: one configured ICU converter per charset, cached by every
// name it was opened under, with the name under which the charset is published.
#include <cstring>
#include <unicode/ucnv.h>

#include "charset_handle.h"
#include "i18n.h"
#include "ks.h"

namespace {

hash_str_t charset_cache() {
    static hash_str_t cache = hash_str_create(200, 4, 0);
    return cache;
}

i18n_charset_t cached(const char *name) {
    void **slot = nullptr;
    if (!hash_str_lookup(charset_cache(), name, nullptr, &slot)) return nullptr;
    return static_cast<i18n_charset_t>(*slot);
}

void remember(const char *name, i18n_charset_t charset) {
    void **slot = nullptr;
    hash_str_enter(charset_cache(), name, nullptr, &slot);
    *slot = charset;
}

// MIME name, else IANA name, else ICU's converter name, else the name given.
void publish_name(i18n_charset &charset, const char *given) {
    UErrorCode code = U_ZERO_ERROR;
    const char *name = ucnv_getStandardName(given, "MIME", &code);
    if (!name || U_FAILURE(code)) {
        code = U_ZERO_ERROR;
        name = ucnv_getStandardName(given, "IANA", &code);
    }
    if (!name || U_FAILURE(code)) {
        code = U_ZERO_ERROR;
        name = ucnv_getName(charset.converter.get(), &code);
        if (U_FAILURE(code)) name = nullptr;
    }
    if (!name) {
        charset.own_name = given;
        name = charset.own_name.c_str();
    }
    charset.name = name;
}

}  // namespace

extern "C" i18n_charset_t i18n_charset_open(const char *name) {
    if (!name || !*name) return nullptr;  // ICU would open its default charset
    if (i18n_charset_t known = cached(name)) return known;
    UErrorCode code = U_ZERO_ERROR;
    i18n::UConverterPtr converter(ucnv_open(name, &code));
    if (!converter || U_FAILURE(code)) return nullptr;
    code = U_ZERO_ERROR;
    const char *canonical = ucnv_getName(converter.get(), &code);
    bool other_canonical = canonical && U_SUCCESS(code) && std::strcmp(canonical, name) != 0;
    if (other_canonical) {
        if (i18n_charset_t known = cached(canonical)) {
            remember(name, known);
            return known;
        }
    }
    i18n::configure_converter(converter.get());
    auto *charset = new i18n_charset{std::move(converter), nullptr, {}};
    publish_name(*charset, name);
    if (other_canonical) remember(canonical, charset);
    remember(name, charset);
    return charset;
}

extern "C" i18n_charset_t *i18n_charset_open_all(void) {
    static i18n_charset_t *all = nullptr;
    if (all) return all;
    int32_t count = ucnv_countAvailable();
    auto *charsets = new i18n_charset_t[static_cast<size_t>(count) + 1];
    for (int32_t i = 0; i < count; ++i) charsets[i] = i18n_charset_open(ucnv_getAvailableName(i));
    charsets[count] = nullptr;
    all = charsets;
    return all;
}

extern "C" i18n_charset_t i18n_charset_open_special(int kind) {
    static i18n_charset_t specials[4];
    if (kind < I18N_CHARSET_DEFAULT || kind > I18N_CHARSET_UTF32) return nullptr;
    if (specials[kind]) return specials[kind];
    const char *names[] = {ucnv_getDefaultName(), "UTF-8", "UTF16_PlatformEndian", "UTF32_PlatformEndian"};
    specials[kind] = i18n_charset_open(names[kind]);
    return specials[kind];
}

extern "C" const char *i18n_charset_get_name(i18n_charset_t charset) { return charset ? charset->name : nullptr; }
