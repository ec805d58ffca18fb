// The texts the benchmarks encode and convert.
#pragma once

#include <string>

namespace i18n_bench {

constexpr size_t kBodySize = 16u << 20;

// Mail prose in UTF-8, mostly ASCII with an accented letter now and then, so
// that ISO-8859-1 can hold it too; about `size` bytes.
const std::string &latin_prose(size_t size = kBodySize);
// Japanese prose in UTF-8 with some ASCII, as Shift_JIS can hold it.
const std::string &japanese_prose(size_t size = kBodySize);
// A 60-character mail subject with a few accented letters.
const char *subject();

}  // namespace i18n_bench
