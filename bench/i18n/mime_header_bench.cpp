// Header encoding of a 60-character UTF-8 subject with a few accented
// letters, each form beside GMime encoding the same subject.
#include <benchmark/benchmark.h>

#include "bench_texts.h"
#include "gmime_peer.h"
#include "i18n.h"
#include "side_by_side.h"

namespace {

constexpr int64_t kBatch = 1000;

template <class Encode>
void beside_gmime(benchmark::State &state, Encode encode) {
    const char *subject = i18n_bench::subject();
    bench::side_by_side(
        state,
        [&] {
            char *encoded = encode(subject);
            benchmark::DoNotOptimize(encoded);
            i18n_mime_free(encoded);
        },
        [&] { i18n_bench::gmime_encode_header(subject); }, kBatch);
}

void BM_HeaderQP_Utf8(benchmark::State &state) {
    beside_gmime(state, [](const char *text) { return i18n_mime_encode_header_qp(text, "UTF-8", "UTF-8"); });
}
void BM_HeaderB64_Utf8(benchmark::State &state) {
    beside_gmime(state, [](const char *text) { return i18n_mime_encode_header_b64(text, "UTF-8", "UTF-8"); });
}
void BM_HeaderChosen_Utf8(benchmark::State &state) {
    beside_gmime(state, [](const char *text) { return i18n_mime_encode_header(text, "UTF-8", "UTF-8", 0.3); });
}

BENCHMARK(BM_HeaderQP_Utf8)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HeaderB64_Utf8)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HeaderChosen_Utf8)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
