// What opening a converter costs, by charset: the factory every iterator uses,
// and a clone of an open converter as iconv handles make them.
#include <benchmark/benchmark.h>

#include <unicode/ucnv.h>

#include "i18n.h"
#include "i18n/converter.h"

namespace {

const char *const kNames[] = {"UTF-8", "ISO-8859-1", "Shift_JIS", "ISO-2022-JP", "GB18030"};

void BM_OpenConverter(benchmark::State &state) {
    const char *name = kNames[state.range(0)];
    state.SetLabel(name);
    for (auto _ : state) {
        i18n::UConverterPtr converter(i18n::open_ucnv_converter(name));
        benchmark::DoNotOptimize(converter.get());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CloneConverter(benchmark::State &state) {
    const char *name = kNames[state.range(0)];
    state.SetLabel(name);
    i18n_charset_t charset = i18n_charset_open(name);
    for (auto _ : state) {
        i18n_iconv_t cd = i18n_iconv_open(charset, charset);
        benchmark::DoNotOptimize(cd);
        i18n_iconv_close(cd);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CachedCharsetOpen(benchmark::State &state) {
    const char *name = kNames[state.range(0)];
    state.SetLabel(name);
    for (auto _ : state) benchmark::DoNotOptimize(i18n_charset_open(name));
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_OpenConverter)->DenseRange(0, 4);
BENCHMARK(BM_CloneConverter)->DenseRange(0, 4);
BENCHMARK(BM_CachedCharsetOpen)->DenseRange(0, 4);

}  // namespace
