// Case-insensitive comparison that folds A-Z only, whatever the locale.
#include "ntposix.h"

namespace {
inline unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
}  // namespace

extern "C" NT_API int nt_strcasecmp(const char *a, const char *b) noexcept {
    const auto *x = reinterpret_cast<const unsigned char *>(a);
    const auto *y = reinterpret_cast<const unsigned char *>(b);
    for (;; ++x, ++y) {
        int d = fold(*x) - fold(*y);
        if (d || !*x) return d;
    }
}

extern "C" NT_API int nt_strncasecmp(const char *a, const char *b, size_t count) noexcept {
    const auto *x = reinterpret_cast<const unsigned char *>(a);
    const auto *y = reinterpret_cast<const unsigned char *>(b);
    for (; count; --count, ++x, ++y) {
        int d = fold(*x) - fold(*y);
        if (d || !*x) return d;
    }
    return 0;
}
