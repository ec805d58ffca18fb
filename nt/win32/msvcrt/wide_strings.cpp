// The runtime's wide-string comparison that the library uses: WCHAR is 16
// bits here, as on Windows, so the host's wchar_t functions do not apply.
#include "winbase.h"

namespace {

WCHAR ascii_lower(WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c - u'A' + u'a') : c; }

}  // namespace

extern "C" {

int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        WCHAR x = ascii_lower(a[i]), y = ascii_lower(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (!x) break;
    }
    return 0;
}

}  // extern "C"
