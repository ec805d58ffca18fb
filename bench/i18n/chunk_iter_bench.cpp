// The conversion alone, as the body encoders receive it: 16 MiB of mail prose
// through the charset-to-charset iterator in its 86-unit and 256-byte chunks,
// without an encoder. Set against the body benchmarks, it shows what the
// conversion costs and what the encoding adds.
#include <benchmark/benchmark.h>

#include "bench_texts.h"
#include "i18n/charset_iter.h"

namespace {

void BM_ChunkIter_Utf8To(benchmark::State &state, const char *to) {
    const std::string &text = i18n_bench::latin_prose();
    size_t bytes = 0;
    for (auto _ : state) {
        i18n::CharsetToCharsetChunkIter<i18n::FromUnicodeIter> iter("UTF-8", to, 86, 256);
        iter.set_in_str(text.data(), static_cast<int32_t>(text.size()));
        do {
            iter.next();
            bytes += iter.get_str().size();
        } while (iter.has_more());
        if (iter.is_error()) state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ChunkIter_Utf8ToLatin1(benchmark::State &state) { BM_ChunkIter_Utf8To(state, "ISO-8859-1"); }
void BM_ChunkIter_Utf8ToUtf8(benchmark::State &state) { BM_ChunkIter_Utf8To(state, "UTF-8"); }

BENCHMARK(BM_ChunkIter_Utf8ToLatin1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChunkIter_Utf8ToUtf8)->Unit(benchmark::kMillisecond);

}  // namespace
