// One-shot conversion of 16 MiB of Japanese prose: UTF-8 to Shift_JIS and back.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_texts.h"
#include "i18n.h"

namespace {

std::string to_shift_jis(const std::string &text) {
    size_t length = 0;
    char *out = i18n_iconv_easy(i18n_charset_open("UTF-8"), text.data(), text.size(), i18n_charset_open("Shift_JIS"),
                                nullptr, &length);
    std::string converted(out ? out : "", out ? length : 0);
    i18n_iconv_free(out);
    return converted;
}

void convert(benchmark::State &state, const std::string &text, const char *from, const char *to) {
    i18n_charset_t source = i18n_charset_open(from);
    i18n_charset_t target = i18n_charset_open(to);
    for (auto _ : state) {
        size_t length = 0;
        char *out = i18n_iconv_easy(source, text.data(), text.size(), target, nullptr, &length);
        if (!out) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(out);
        i18n_iconv_free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_IconvEasy_Utf8ToShiftJis(benchmark::State &state) {
    convert(state, i18n_bench::japanese_prose(), "UTF-8", "Shift_JIS");
}

void BM_IconvEasy_ShiftJisToUtf8(benchmark::State &state) {
    static const std::string sjis = to_shift_jis(i18n_bench::japanese_prose());
    convert(state, sjis, "Shift_JIS", "UTF-8");
}

BENCHMARK(BM_IconvEasy_Utf8ToShiftJis)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconvEasy_ShiftJisToUtf8)->Unit(benchmark::kMillisecond);

}  // namespace
