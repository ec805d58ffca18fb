// The i18n_mime_ functions: each builds its processor on the stack, encodes one
// text and hands back a new string.
#include <cstring>

#include "i18n.h"
#include "i18n/processors.h"

using namespace i18n_mime;

namespace {

char *copy_of(const char *text) {
    size_t size = std::strlen(text) + 1;
    char *copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}

}  // namespace

extern "C" char *i18n_mime_encode_header_qp(const char *text, const char *from, const char *to) {
    return PlainConverterEncoder<HeaderConverterEncoder<QPHeaderEncoder>>(from, to).encode(text);
}

extern "C" char *i18n_mime_encode_header_b64(const char *text, const char *from, const char *to) {
    return PlainConverterEncoder<HeaderConverterEncoder<B64HeaderEncoder>>(from, to).encode(text);
}

extern "C" char *i18n_mime_encode_qp(const char *text, const char *from, const char *to) {
    return PlainConverterEncoder<BodyConverterEncoder<QPBodyEncoder>>(from, to).encode(text);
}

extern "C" char *i18n_mime_encode_b64(const char *text, const char *from, const char *to) {
    return PlainConverterEncoder<BodyConverterEncoder<B64BodyEncoder>>(from, to).encode(text);
}

extern "C" char *i18n_mime_easy_encode_header_qp(const char *text) {
    return EasyEncoder<HeaderConverterEncoder<QPHeaderEncoder>, HeaderCharsetFinder>().encode(text);
}

extern "C" char *i18n_mime_easy_encode_header_b64(const char *text) {
    return EasyEncoder<HeaderConverterEncoder<B64HeaderEncoder>, HeaderCharsetFinder>().encode(text);
}

extern "C" char *i18n_mime_encode_header(const char *text, const char *from, const char *to, double ratio) {
    return PlainEncoderChooser<HeaderConverterEncoderChooser, HeaderCharsetFinder>(from, to, ratio, nullptr)
        .encode(text);
}

extern "C" char *i18n_mime_easy_encode_header(const char *text, double ratio) {
    return i18n_mime_encode_header(text, nullptr, nullptr, ratio);
}

extern "C" char *i18n_mime_encode(const char *text, const char *from, const char *to, double ratio,
                                  i18n_mime_encoding_t *kind, char **to_used) {
    PlainEncoderChooser<BodyConverterEncoderChooser, BodyCharsetFinder> chooser(from, to, ratio, kind);
    char *result = chooser.encode(text);
    if (to_used) *to_used = copy_of(chooser.get_to_name() ? chooser.get_to_name() : "");
    return result;
}

extern "C" char *i18n_mime_easy_encode(const char *text, double ratio, i18n_mime_encoding_t *kind, char **to_used) {
    return i18n_mime_encode(text, nullptr, nullptr, ratio, kind, to_used);
}

extern "C" void i18n_mime_free(char *text) { delete[] text; }
