// Header encoding of a 60-character UTF-8 subject with a few accented letters.
#include <benchmark/benchmark.h>

#include "bench_texts.h"
#include "i18n.h"

namespace {

using Encode = char *(*)(const char *, const char *, const char *);

void encode_header(benchmark::State &state, Encode encode) {
    const char *subject = i18n_bench::subject();
    for (auto _ : state) {
        char *encoded = encode(subject, "UTF-8", "UTF-8");
        benchmark::DoNotOptimize(encoded);
        i18n_mime_free(encoded);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_HeaderQP_Utf8(benchmark::State &state) { encode_header(state, i18n_mime_encode_header_qp); }
void BM_HeaderB64_Utf8(benchmark::State &state) { encode_header(state, i18n_mime_encode_header_b64); }

void BM_HeaderChosen_Utf8(benchmark::State &state) {
    const char *subject = i18n_bench::subject();
    for (auto _ : state) {
        char *encoded = i18n_mime_encode_header(subject, "UTF-8", "UTF-8", 0.3);
        benchmark::DoNotOptimize(encoded);
        i18n_mime_free(encoded);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_HeaderQP_Utf8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HeaderB64_Utf8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HeaderChosen_Utf8)->Unit(benchmark::kMicrosecond);

}  // namespace
