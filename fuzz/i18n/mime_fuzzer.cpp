// MIME encoding and one-shot conversion of any text between any two charsets:
// every i18n_mime_ export, and i18n_iconv_easy_ex, either gives the text back
// unchanged or gives text that decodes back to it, in lines of the right
// length, with every header word decoding on its own.
//
// UTF-8 headers, which skip the converters, must equal their conversion.
//
// Input: one byte of choices, then (when its top bit is set) two charset names
// each ended by a newline, then the text (up to its first NUL).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <vector>

#include "i18n.h"

namespace {

const char *const kNames[] = {"UTF-8",       "ISO-8859-1", "ISO-8859-15", "windows-1252", "Shift_JIS",
                              "EUC-JP",      "ISO-2022-JP", "GB18030",    "Big5",         "KOI8-R",
                              "UTF-16LE",    "UTF-7",       "utf8",       "no-such-cs",   "",
                              nullptr};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

[[noreturn]] void fault(const char *what) {
    std::fprintf(stderr, "mime_fuzzer: %s\n", what);
    std::abort();
}

// The text of `bytes` in `charset` as UTF-16, or false when it does not decode.
bool to_unicode(std::string_view bytes, const char *charset, std::u16string &units) {
    UErrorCode code = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(charset, &code);
    if (U_FAILURE(code)) return false;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &code);
    units.assign(bytes.size() * 2 + 2, u'\0');
    int32_t count = ucnv_toUChars(converter, units.data(), static_cast<int32_t>(units.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &code);
    ucnv_close(converter);
    if (U_FAILURE(code)) return false;
    units.resize(static_cast<size_t>(count));
    return true;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Quoted-printable without soft line breaks: =XX in upper case, else as is.
std::string unquote(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size()) fault("truncated =XX");
        int high = hex_value(text[i + 1]), low = hex_value(text[i + 2]);
        if (high < 0 || low < 0) fault("bad =XX");
        bytes += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return bytes;
}

std::string unbase64(std::string_view text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4) fault("Base64 length not a multiple of 4");
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t bits = 0;
        int pad = 0;
        for (size_t j = 0; j < 4; ++j) {
            char c = text[i + j];
            size_t value = alphabet.find(c);
            if (c == '=' && i + 4 == text.size() && j >= 2) {
                ++pad;
                value = 0;
            } else if (value == std::string::npos || pad) {
                fault("bad Base64 character");
            }
            bits = bits << 6 | static_cast<uint32_t>(value);
        }
        bytes += static_cast<char>(bits >> 16);
        if (pad < 2) bytes += static_cast<char>(bits >> 8 & 0xFF);
        if (pad < 1) bytes += static_cast<char>(bits & 0xFF);
    }
    return bytes;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    for (size_t at = 0;;) {
        size_t next = text.find(separator, at);
        parts.push_back(text.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
        if (next == std::string_view::npos) return parts;
        at = next + separator.size();
    }
}

// ICU writes SO, SI and ESC unchanged into the ISO-2022 charsets, where its
// own decoder then takes them for shifts: such a text cannot come back from
// them, whatever the library did, so its output there is not checked.
bool comes_back(const std::u16string &units, const char *to) {
    if (units.find_first_of(u"\x0e\x0f\x1b") == std::u16string::npos) return true;
    UErrorCode code = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(to, &code);
    bool iso2022 = U_SUCCESS(code) && ucnv_getType(converter) == UCNV_ISO_2022;
    ucnv_close(converter);
    return !iso2022;
}

// ICU's stop callback drops default-ignorable code points (U+200B and the
// like) that a target cannot hold, instead of failing; a text may come back
// without them.
bool same_text(const std::u16string &decoded, const std::u16string &expected) {
    if (decoded == expected) return true;
    std::u16string visible;
    for (size_t i = 0; i < expected.size();) {
        UChar32 c;
        U16_NEXT(expected.data(), i, expected.size(), c);
        if (u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) continue;
        if (U_IS_BMP(c)) {
            visible += static_cast<char16_t>(c);
        } else {
            visible += U16_LEAD(c);
            visible += U16_TRAIL(c);
        }
    }
    return decoded == visible;
}

struct Case {
    std::string text;
    const char *from;
    const char *to;
    const char *source;       // `from`, or the host's default charset that a missing name stands for
    std::u16string expected;  // the text as UTF-16, when it decodes in `from`
    bool decodes;
};

// A header: encoded words "=?to?L?...?=" separated by CR LF TAB, each
// decoding on its own, whose texts join to the original.
void check_header(const Case &c, std::string_view encoded, char letter, const char *to) {
    if (encoded == c.text || !comes_back(c.expected, to)) return;
    if (!c.decodes) fault("a header came out of text that does not decode");
    std::u16string joined;
    const std::string open = std::string("=?") + to + "?";
    bool first = true;
    for (std::string_view word : encoded.empty() ? std::vector<std::string_view>() : split(encoded, "\r\n\t")) {
        // 75 bytes a line, the break's three counted on the line it begins. A
        // charset name of more than 50 bytes leaves no room for a character:
        // the library reports that (pfm_assert_fail) and writes long words.
        if (word.size() > (first ? 75u : 72u) && std::strlen(to) <= 50) fault("header line too long");
        first = false;
        if (word.substr(0, open.size()) != open || word.size() < open.size() + 4) fault("word does not open right");
        char kind = word[open.size()];
        if ((letter && kind != letter) || (kind != 'Q' && kind != 'B') || word[open.size() + 1] != '?')
            fault("wrong encoding letter");
        if (word.substr(word.size() - 2) != "?=") fault("word does not close");
        std::string_view body = word.substr(open.size() + 2, word.size() - open.size() - 4);
        if (body.find_first_of(" \t\r\n?") != std::string_view::npos) fault("unencoded blank or ? in a word");
        std::u16string units;
        if (!to_unicode(kind == 'Q' ? unquote(body) : unbase64(body), to, units))
            fault("a word does not decode on its own");
        joined += units;
    }
    if (!same_text(joined, c.expected)) fault("header does not decode to the text");
}

void check_body(const Case &c, std::string_view encoded, i18n_mime_encoding_t kind, const char *to) {
    if (encoded == c.text || !comes_back(c.expected, to)) return;
    // A body whose two names are the same passes through unconverted, even
    // when it is not valid in its charset: it must come back byte for byte.
    bool passed_through = std::strcmp(c.source, to) == 0;
    if (!c.decodes && !passed_through) fault("a body came out of text that does not decode");
    std::string joined;
    std::vector<std::string_view> lines = split(encoded, "\r\n");
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.size() > 76) fault("body line too long");
        if (kind == I18N_MIME_QP) {
            if (i + 1 < lines.size()) {
                if (line.empty() || line.back() != '=') fault("QP line without a soft break");
                line.remove_suffix(1);
            }
            joined += unquote(line);
        } else {
            joined += line;
        }
    }
    std::string bytes = kind == I18N_MIME_QP ? joined : unbase64(joined);
    if (passed_through) {
        if (bytes != c.text) fault("a body passed through does not decode to its bytes");
        return;
    }
    std::u16string units;
    if (!to_unicode(bytes, to, units) || !same_text(units, c.expected)) fault("body does not decode to the text");
}

// A chosen body: unchanged when no encoder was chosen.
void check_chosen_body(const Case &c, std::string_view encoded, i18n_mime_encoding_t kind, const std::string &to) {
    if (kind != I18N_MIME_NONE) return check_body(c, encoded, kind, to.c_str());
    if (encoded != c.text) fault("a body without an encoder changed");
}

std::string take(char *result) {
    if (!result) fault("NULL result");
    std::string text = result;
    i18n_mime_free(result);
    return text;
}

void check_iconv(const Case &c) {
    i18n_charset_t from = c.from ? i18n_charset_open(c.from) : nullptr;
    i18n_charset_t to = c.to ? i18n_charset_open(c.to) : nullptr;
    char *out = nullptr;
    size_t length = 0;
    size_t position = SIZE_MAX;
    int code = i18n_iconv_easy_ex(from, c.text.data(), c.text.size(), &position, to, &out, &length);
    if (code == 0) {
        std::u16string units;
        if (comes_back(c.expected, c.to) &&
            (!c.decodes || !to_unicode({out, length}, c.to, units) || !same_text(units, c.expected)))
            fault("i18n_iconv_easy_ex output does not decode to the input");
    } else if (code < -4 || (from && to && position > c.text.size())) {
        fault("i18n_iconv_easy_ex code or position out of range");
    }
    i18n_iconv_free(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
    uint8_t choice = data[0];
    std::string names[2];
    Case c;
    c.from = kNames[(choice & 0x0F) % kNameCount];
    c.to = kNames[(choice >> 4 & 0x07) * 2 % kNameCount];
    if (choice & 0x80) {
        for (std::string &name : names) {
            size_t end = input.find('\n');
            if (end == std::string_view::npos) return 0;
            name = input.substr(0, end);
            input.remove_prefix(end + 1);
        }
        c.from = names[0].c_str();
        c.to = names[1].c_str();
    }
    c.text = std::string(input.substr(0, input.find('\0')));
    // A missing source name stands for the host's default charset.
    c.source = c.from ? c.from : ucnv_getDefaultName();
    c.decodes = to_unicode(c.text, c.source, c.expected);
    double ratio = (choice & 0x07) / 5.0;

    const char *text = c.text.c_str();
    std::string header_qp = take(i18n_mime_encode_header_qp(text, c.from, c.to));
    std::string header_b64 = take(i18n_mime_encode_header_b64(text, c.from, c.to));
    check_header(c, header_qp, 'Q', c.to);
    check_header(c, header_b64, 'B', c.to);
    // A UTF-8 header skips the converters; through them (ICU's other name for
    // UTF-8 takes that path) it must come out the same.
    if (c.from && c.to && std::strcmp(c.from, "UTF-8") == 0 && std::strcmp(c.to, "UTF-8") == 0 &&
        (take(i18n_mime_encode_header_qp(text, "ibm-1208", c.to)) != header_qp ||
         take(i18n_mime_encode_header_b64(text, "ibm-1208", c.to)) != header_b64))
        fault("a UTF-8 header differs from its conversion");
    check_body(c, take(i18n_mime_encode_qp(text, c.from, c.to)), I18N_MIME_QP, c.to);
    check_body(c, take(i18n_mime_encode_b64(text, c.from, c.to)), I18N_MIME_B64, c.to);

    const char *header_to = c.to ? c.to : i18n_mime_get_header_to_charset_name(c.from ? c.from : ucnv_getDefaultName());
    std::string header = take(i18n_mime_encode_header(text, c.from, c.to, ratio));
    if (header_to) check_header(c, header, 0, header_to);
    else if (header != c.text) fault("a header without a target changed");

    i18n_mime_encoding_t kind = static_cast<i18n_mime_encoding_t>(99);
    char *used = nullptr;
    std::string body = take(i18n_mime_encode(text, c.from, c.to, ratio, &kind, &used));
    std::string target = take(used);
    if (kind != I18N_MIME_NONE && kind != I18N_MIME_QP && kind != I18N_MIME_B64) fault("kind not reported");
    check_chosen_body(c, body, kind, target);

    // The host's default charset: the text is taken to be in it.
    Case easy = c;
    easy.from = easy.source = ucnv_getDefaultName();
    easy.decodes = to_unicode(easy.text, easy.from, easy.expected);
    const char *easy_header = i18n_mime_get_header_to_charset_name(easy.from);
    std::string easy_qp = take(i18n_mime_easy_encode_header_qp(text));
    std::string easy_b64 = take(i18n_mime_easy_encode_header_b64(text));
    std::string easy_chosen = take(i18n_mime_easy_encode_header(text, ratio));
    if (easy_header) {
        check_header(easy, easy_qp, 'Q', easy_header);
        check_header(easy, easy_b64, 'B', easy_header);
        check_header(easy, easy_chosen, 0, easy_header);
    } else if (easy_qp != c.text || easy_b64 != c.text || easy_chosen != c.text) {
        fault("an easy header without a target changed");
    }
    used = nullptr;
    std::string easy_body = take(i18n_mime_easy_encode(text, ratio, &kind, &used));
    target = take(used);
    check_chosen_body(easy, easy_body, kind, target);

    if (c.from) {
        char *normal = i18n_mime_transform_charset_name(c.from);
        for (const char *p = normal; *p; ++p)
            if (*p == '-' || (*p >= 'A' && *p <= 'Z')) fault("name not normalised");
        i18n_mime_free(normal);
        const char *body_to = i18n_mime_get_body_to_charset_name(c.from);
        if (body_to && std::strcmp(body_to, "ISO-2022-JP") != 0) fault("body table value");
    }
    check_iconv(c);
    return 0;
}
