// Writes what the library encodes, for decode_mime.py to decode with Python's
// email package: one line per case, "MODE CHARSET ORIGINAL ENCODED", the texts
// in hexadecimal (ORIGINAL in UTF-8). Texts are generated from a fixed seed.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "i18n.h"

namespace {

struct Charset {
    const char *name;
    std::vector<std::string> letters;  // non-ASCII characters it can represent, in UTF-8
};

const std::vector<Charset> kCharsets = {
    {"UTF-8", {"\xc3\xa9", "\xe6\x97\xa5", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xc3\x9f", "\xce\xa9", "\xe3\x81\x82"}},
    {"ISO-8859-1", {"\xc3\xa9", "\xc3\x9f", "\xc3\xbc", "\xc3\xb1", "\xc3\x98", "\xc2\xbf", "\xc2\xa9"}},
    {"ISO-8859-15", {"\xe2\x82\xac", "\xc3\xa9", "\xc5\xa0", "\xc5\x93", "\xc5\xb8", "\xc3\xbc"}},
    {"windows-1252", {"\xe2\x82\xac", "\xc3\xa9", "\xe2\x80\x94", "\xe2\x80\x9c", "\xe2\x80\x9d", "\xc5\xa1"}},
    {"Shift_JIS", {"\xe3\x81\x82", "\xe6\x97\xa5", "\xe6\x9c\xac", "\xe8\xaa\x9e", "\xe3\x82\xab", "\xe6\xbc\xa2"}},
    {"EUC-JP", {"\xe3\x81\x82", "\xe6\x97\xa5", "\xe6\x9c\xac", "\xe8\xaa\x9e", "\xe3\x82\xab", "\xe6\xbc\xa2"}},
    {"ISO-2022-JP", {"\xe3\x81\x82", "\xe6\x97\xa5", "\xe6\x9c\xac", "\xe8\xaa\x9e", "\xe3\x82\xab", "\xe6\xbc\xa2"}},
    {"GB18030", {"\xe4\xb8\xad", "\xe6\x96\x87", "\xe6\xb1\x89", "\xe5\xad\x97", "\xf0\x9f\x98\x80", "\xc3\xa9"}},
    {"Big5", {"\xe4\xb8\xad", "\xe6\x96\x87", "\xe6\xbc\xa2", "\xe5\xad\x97", "\xe8\x87\xba"}},
    {"KOI8-R", {"\xd0\x96", "\xd0\xb8", "\xd0\xb7", "\xd0\xbd", "\xd1\x8c", "\xd0\xaf"}},
};

const std::string kAscii = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:!'\"()-";
const std::string kTricky = " \t=?_\r\n#$@[\\]^`{|}~";

std::string hex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text.empty() ? "-" : text;
}

// A text of `length` characters: a share `foreign` of them non-ASCII, a share `tricky` of them blanks,
// "=", "?", "_", CR, LF and the punctuation quoted-printable escapes.
std::string make_text(std::mt19937 &random, const Charset &charset, int length, double foreign, double tricky) {
    std::uniform_real_distribution<double> share(0, 1);
    std::string text;
    for (int i = 0; i < length; ++i) {
        double draw = share(random);
        if (draw < foreign) text += charset.letters[random() % charset.letters.size()];
        else if (draw < foreign + tricky) text += kTricky[random() % kTricky.size()];
        else text += kAscii[random() % kAscii.size()];
    }
    return text;
}

std::string convert(const std::string &text, const char *from, const char *to) {
    size_t length = 0;
    char *out = i18n_iconv_easy(i18n_charset_open(from), text.data(), text.size(), i18n_charset_open(to), nullptr,
                                &length);
    if (!out) return {};
    std::string converted(out, length);
    i18n_iconv_free(out);
    return converted;
}

std::string taken(char *encoded) {
    std::string text = encoded ? encoded : "";
    i18n_mime_free(encoded);
    return text;
}

void emit(const char *mode, const char *charset, const std::string &original, const std::string &encoded) {
    std::printf("%s %s %s %s\n", mode, charset, hex(original).c_str(), hex(encoded).c_str());
}

void emit_cases(const Charset &charset, const std::string &text) {
    const char *cs = charset.name;
    // From UTF-8 into the charset, and from the charset's own bytes.
    emit("hq", cs, text, taken(i18n_mime_encode_header_qp(text.c_str(), "UTF-8", cs)));
    emit("hb", cs, text, taken(i18n_mime_encode_header_b64(text.c_str(), "UTF-8", cs)));
    emit("bq", cs, text, taken(i18n_mime_encode_qp(text.c_str(), "UTF-8", cs)));
    emit("bb", cs, text, taken(i18n_mime_encode_b64(text.c_str(), "UTF-8", cs)));
    std::string native = convert(text, "UTF-8", cs);
    if (native.find('\0') == std::string::npos) {
        emit("bq", cs, text, taken(i18n_mime_encode_qp(native.c_str(), cs, cs)));
        emit("bb", cs, text, taken(i18n_mime_encode_b64(native.c_str(), cs, cs)));
        emit("hq", "UTF-8", text, taken(i18n_mime_encode_header_qp(native.c_str(), cs, "UTF-8")));
        emit("hx", cs, text, taken(i18n_mime_encode_header(native.c_str(), cs, cs, 0.3)));
        i18n_mime_encoding_t kind = I18N_MIME_NONE;
        char *used = nullptr;
        std::string body = taken(i18n_mime_encode(native.c_str(), cs, cs, 0.3, &kind, &used));
        emit(kind == I18N_MIME_QP ? "bq" : "bb", taken(used).c_str(), text, body);
    }
}

}  // namespace

int main() {
    std::mt19937 random(20240601);
    const int lengths[] = {0, 1, 2, 5, 13, 20, 40, 59, 60, 61, 63, 64, 75, 76, 77, 100, 150, 300, 1000};
    const double mixes[][2] = {{0.05, 0.05}, {0.8, 0.05}, {0.3, 0.4}, {0.0, 0.6}, {1.0, 0.0}};
    for (const Charset &charset : kCharsets) {
        for (int length : lengths)
            for (const auto &mix : mixes) emit_cases(charset, make_text(random, charset, length, mix[0], mix[1]));
        // A character the charset cannot hold: the text comes back unchanged.
        if (std::string(charset.name) != "UTF-8" && std::string(charset.name) != "GB18030") {
            std::string text = "abc \xe0\xb8\x81 def";  // THAI CHARACTER KO KAI
            emit("fail", charset.name, text, taken(i18n_mime_encode_qp(text.c_str(), "UTF-8", charset.name)));
            emit("fail", charset.name, text, taken(i18n_mime_encode_header_b64(text.c_str(), "UTF-8", charset.name)));
        }
    }
    return 0;
}
