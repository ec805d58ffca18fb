// Body encoding of 16 MiB of mail prose, quoted-printable and Base64, with the
// same charset on both sides (passed through) and converted to ISO-8859-1.
#include <benchmark/benchmark.h>

#include "bench_texts.h"
#include "i18n.h"

namespace {

using Encode = char *(*)(const char *, const char *, const char *);

void encode_body(benchmark::State &state, Encode encode, const char *to) {
    const std::string &text = i18n_bench::latin_prose();
    for (auto _ : state) {
        char *encoded = encode(text.c_str(), "UTF-8", to);
        benchmark::DoNotOptimize(encoded);
        i18n_mime_free(encoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_BodyB64_Utf8ToUtf8(benchmark::State &state) { encode_body(state, i18n_mime_encode_b64, "UTF-8"); }
void BM_BodyB64_Utf8ToLatin1(benchmark::State &state) { encode_body(state, i18n_mime_encode_b64, "ISO-8859-1"); }
void BM_BodyQP_Utf8ToUtf8(benchmark::State &state) { encode_body(state, i18n_mime_encode_qp, "UTF-8"); }
void BM_BodyQP_Utf8ToLatin1(benchmark::State &state) { encode_body(state, i18n_mime_encode_qp, "ISO-8859-1"); }

BENCHMARK(BM_BodyB64_Utf8ToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyB64_Utf8ToLatin1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyQP_Utf8ToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyQP_Utf8ToLatin1)->Unit(benchmark::kMillisecond);

}  // namespace
