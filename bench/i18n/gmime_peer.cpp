// GMime's encoders as the peer of the body and header benchmarks.
#include "gmime_peer.h"

#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

namespace i18n_bench {
namespace {

void ensure_initialised() {
    static const bool initialised = [] {
        g_mime_init();
        return true;
    }();
    (void)initialised;
}

void encode_body(const std::string &text, GMimeContentEncoding encoding) {
    ensure_initialised();
    GMimeEncoding state;
    g_mime_encoding_init_encode(&state, encoding);
    auto *out = static_cast<char *>(g_malloc(g_mime_encoding_outlen(&state, text.size()) + 1));
    size_t length = g_mime_encoding_flush(&state, text.data(), text.size(), out);
    out[length] = '\0';
    benchmark::DoNotOptimize(out);
    g_free(out);
}

}  // namespace

void gmime_encode_body_b64(const std::string &text) { encode_body(text, GMIME_CONTENT_ENCODING_BASE64); }
void gmime_encode_body_qp(const std::string &text) { encode_body(text, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE); }

void gmime_encode_header(const char *text) {
    ensure_initialised();
    char *encoded = g_mime_utils_header_encode_text(nullptr, text, "UTF-8");
    benchmark::DoNotOptimize(encoded);
    g_free(encoded);
}

}  // namespace i18n_bench
