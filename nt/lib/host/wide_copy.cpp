// nt_sz_to_unicode: a new UTF-16 copy of a text in the ANSI code page.  Wide
// strings are 16-bit here whatever the compiler's wchar_t is.
#include <cstdlib>
#include <cstring>

#include "nt.h"
#include "win32.h"
#include "winnls.h"

extern "C" NT_API WCHAR *nt_sz_to_unicode(const char *text) {
    if (!text) return nullptr;
    size_t length = std::strlen(text);
    // Each byte gives at most one 16-bit unit; the room is the one the platform's copy takes.
    size_t bytes = 2 * length + 12;
    auto *copy = static_cast<WCHAR *>(std::malloc(bytes));
    if (!copy) return nullptr;
    int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length) + 1, copy,
                                    static_cast<int>(bytes / sizeof(WCHAR)));
    if (units == 0) {
        std::free(copy);
        return nullptr;
    }
    return copy;
}
