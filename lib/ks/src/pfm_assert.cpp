// pfm_assert_fail: the report of a violated internal invariant. It returns, so
// that the caller carries on as its own code decides.
#include <cstdio>

#include "ks.h"

extern "C" void pfm_assert_fail(const char *expression, const char *file, int line) {
    std::fprintf(stderr, "assertion failed: %s, file %s, line %d\n", expression ? expression : "?",
                 file ? file : "?", line);
    std::fflush(stderr);
}
