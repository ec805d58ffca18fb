// The benchmarks' texts, built once.
#include "bench_texts.h"

namespace i18n_bench {
namespace {

std::string repeat_to(const std::string &piece, size_t size) {
    std::string text;
    text.reserve(size + piece.size());
    while (text.size() < size) text += piece;
    return text;
}

}  // namespace

const std::string &latin_prose(size_t size) {
    static const std::string text = repeat_to(
        "Dear team, the caf\xc3\xa9 meeting is moved to Thursday; please bring the r\xc3\xa9sum\xc3\xa9s and the "
        "2024 figures = final. Regards, Ren\xc3\xa9" "e\r\n",
        size);
    return text;
}

const std::string &japanese_prose(size_t size) {
    static const std::string text = repeat_to(
        "\xe4\xbb\x8a\xe6\x97\xa5\xe3\x81\xae\xe4\xbc\x9a\xe8\xad\xb0\xe3\x81\xaf 10:00 \xe3\x81\x8b\xe3\x82\x89"
        "\xe3\x81\xa7\xe3\x81\x99\xe3\x80\x82\xe8\xb3\x87\xe6\x96\x99\xe3\x82\x92\xe3\x81\x94\xe7\xa2\xba\xe8\xaa"
        "\x8d\xe3\x81\x8f\xe3\x81\xa0\xe3\x81\x95\xe3\x81\x84 (version 2)\r\n",
        size);
    return text;
}

const char *subject() {
    // 60 characters, 4 of them accented.
    return "R\xc3\xa9union du comit\xc3\xa9 : ordre du jour et d\xc3\xa9penses 2025 \xc3\xa0 revoir.";
}

}  // namespace i18n_bench
