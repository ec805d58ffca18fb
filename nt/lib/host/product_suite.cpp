// The product-suite test: "Terminal Server" among the strings of the list
// value "ProductSuite", read with a buffer that grows while it is too small.
#include "host/product_suite.h"

#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "ntregy.h"

namespace {

constexpr DWORD kBufferStep = 1024;

int volatile suite_done = 0;
int suite_answer = 0;

// 1 or 0; `known` false when the list could not be read for want of memory.
int read_product_suite(bool &known) {
    known = true;
    for (DWORD size = kBufferStep;; size += kBufferStep) {
        char *list = static_cast<char *>(std::calloc(size, 1));
        if (!list) {
            known = false;
            return 0;
        }
        HKEY key = nullptr;
        // Two bytes of room for the extra terminator of a list.
        LONG status = ntregy_get_value(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ProductOptions",
                                       "ProductSuite", list, size - 2, &key);
        if (key) ntregy_close_key(key);
        if (status == ERROR_MORE_DATA) {
            std::free(list);
            continue;
        }
        int listed = 0;
        if (status == ERROR_SUCCESS)
            for (const char *p = list; *p && !listed; p += std::strlen(p) + 1)
                listed = std::strcmp(p, "Terminal Server") == 0;
        std::free(list);
        return listed;
    }
}

}  // namespace

int nt_product_suite_has_terminal_server() {
    if (__atomic_load_n(&suite_done, __ATOMIC_ACQUIRE)) return suite_answer;
    NtLibraryLock lock;
    if (!suite_done) {
        bool known = false;
        int answer = read_product_suite(known);
        if (!known) return 0;
        suite_answer = answer;
        __atomic_store_n(&suite_done, 1, __ATOMIC_RELEASE);
    }
    return suite_answer;
}
