// Body encoding of 16 MiB of mail prose, quoted-printable and Base64: with the
// same charset on both sides (passed through) beside GMime encoding the same
// bytes, and converted to ISO-8859-1, which GMime does not do.
#include <benchmark/benchmark.h>

#include "bench_texts.h"
#include "gmime_peer.h"
#include "i18n.h"
#include "side_by_side.h"

namespace {

using Encode = char *(*)(const char *, const char *, const char *);

void encode_ours(const std::string &text, Encode encode, const char *to) {
    char *encoded = encode(text.c_str(), "UTF-8", to);
    benchmark::DoNotOptimize(encoded);
    i18n_mime_free(encoded);
}

void beside_gmime(benchmark::State &state, Encode encode, void (*peer)(const std::string &)) {
    const std::string &text = i18n_bench::latin_prose();
    bench::side_by_side(
        state, [&] { encode_ours(text, encode, "UTF-8"); }, [&] { peer(text); }, 1, static_cast<double>(text.size()));
}

void converted(benchmark::State &state, Encode encode) {
    const std::string &text = i18n_bench::latin_prose();
    for (auto _ : state) encode_ours(text, encode, "ISO-8859-1");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_BodyB64_Utf8ToUtf8(benchmark::State &state) {
    beside_gmime(state, i18n_mime_encode_b64, i18n_bench::gmime_encode_body_b64);
}
void BM_BodyQP_Utf8ToUtf8(benchmark::State &state) {
    beside_gmime(state, i18n_mime_encode_qp, i18n_bench::gmime_encode_body_qp);
}
void BM_BodyB64_Utf8ToLatin1(benchmark::State &state) { converted(state, i18n_mime_encode_b64); }
void BM_BodyQP_Utf8ToLatin1(benchmark::State &state) { converted(state, i18n_mime_encode_qp); }

BENCHMARK(BM_BodyB64_Utf8ToUtf8)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyQP_Utf8ToUtf8)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyB64_Utf8ToLatin1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyQP_Utf8ToLatin1)->Unit(benchmark::kMillisecond);

}  // namespace
