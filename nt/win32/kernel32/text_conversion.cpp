// UTF-8 <-> UTF-16 for MultiByteToWideChar and WideCharToMultiByte, and for
// the wide (W) entry points of the layer, which work in UTF-8 inside.
#include <cstring>

#include "winnls.h"

namespace quarn::win32 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The next code point of `text` at `i`, advancing `i`; ok false for an
// ill-formed sequence (which is consumed one byte at a time).
char32_t next_utf8(std::string_view text, size_t &i, bool &ok) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    ok = true;
    if (lead < 0x80) return text[i++];
    int length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (lead >= 0xF5) length = 0;
    char32_t cp = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    if (length == 0 || i + length > text.size()) {
        ++i;
        ok = false;
        return kReplacement;
    }
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            ok = false;
            return kReplacement;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        ok = false;
        return kReplacement;
    }
    i += length;
    return cp;
}

char32_t next_utf16(std::u16string_view text, size_t &i, bool &ok) {
    char16_t unit = text[i++];
    ok = true;
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i++] - 0xDC00);
    ok = false;
    return kReplacement;
}

void put_utf16(std::u16string &out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
        return;
    }
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
}

void put_utf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Converts all of `text`; false at the first ill-formed sequence when `strict`.
bool to_utf16(std::string_view text, bool strict, std::u16string &out) {
    for (size_t i = 0; i < text.size();) {
        bool ok;
        char32_t cp = next_utf8(text, i, ok);
        if (!ok && strict) return false;
        put_utf16(out, cp);
    }
    return true;
}

bool to_utf8(std::u16string_view text, bool strict, std::string &out) {
    for (size_t i = 0; i < text.size();) {
        bool ok;
        char32_t cp = next_utf16(text, i, ok);
        if (!ok && strict) return false;
        put_utf8(out, cp);
    }
    return true;
}

bool known_code_page(UINT code_page) {
    return code_page == CP_ACP || code_page == CP_OEMCP || code_page == CP_THREAD_ACP || code_page == CP_UTF8;
}

// Copies a converted text out under the size rules the two calls share.
template <typename Char>
int deliver(const std::basic_string<Char> &converted, Char *out, int out_size) {
    int needed = static_cast<int>(converted.size());
    if (out_size == 0) return needed;
    if (needed > out_size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, converted.data(), converted.size() * sizeof(Char));
    return needed;
}

}  // namespace

char16_t upper_case(char16_t c) {
    auto pair_upper = [c](bool upper_is_even) { return static_cast<char16_t>((c % 2 == 0) == upper_is_even ? c : c - 1); };
    if (c >= u'a' && c <= u'z') return c - 0x20;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F) ||
        (c >= 0xFF41 && c <= 0xFF5A))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    switch (c) {
    case 0xB5: return 0x39C;
    case 0xFF: return 0x178;
    case 0x131: return u'I';
    case 0x3C2: return 0x3A3;
    case 0x3AC: return 0x386;
    case 0x3CC: return 0x38C;
    default: break;
    }
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c >= 0x3CD && c <= 0x3CE) return c - 0x3F;
    if ((c >= 0x100 && c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177) || (c >= 0x460 && c <= 0x481) ||
        (c >= 0x48A && c <= 0x4BF))
        return pair_upper(true);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return pair_upper(false);
    return c;
}

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    to_utf16(text, false, out);
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    to_utf8(text, false, out);
    return out;
}

}  // namespace quarn::win32

extern "C" {

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int size, LPWSTR out, int out_size) {
    if (!quarn::win32::known_code_page(code_page) || !text || size == 0 || size < -1 || out_size < 0 || (out_size && !out) ||
        (flags & ~MB_ERR_INVALID_CHARS)) {
        SetLastError(flags & ~MB_ERR_INVALID_CHARS ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string_view input(text, size == -1 ? std::strlen(text) + 1 : static_cast<size_t>(size));
    std::u16string converted;
    if (!quarn::win32::to_utf16(input, flags & MB_ERR_INVALID_CHARS, converted)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return quarn::win32::deliver(converted, out, out_size);
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR text, int size, LPSTR out, int out_size,
                        LPCSTR default_char, LPBOOL used_default_char) {
    // Every code page here is UTF-8, which has no default character.
    if (!quarn::win32::known_code_page(code_page) || !text || size == 0 || size < -1 || out_size < 0 || (out_size && !out) ||
        default_char || used_default_char) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (flags & ~WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = size == -1 ? std::char_traits<char16_t>::length(text) + 1 : static_cast<size_t>(size);
    std::string converted;
    if (!quarn::win32::to_utf8(std::u16string_view(text, length), flags & WC_ERR_INVALID_CHARS, converted)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return quarn::win32::deliver(converted, out, out_size);
}

}  // extern "C"
