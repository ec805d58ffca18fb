// nt_ob_has_global_prefix: whether kernel object names may carry "Global\".
// NT 5 and later always have the global namespace; an older NT has it only
// as a terminal server, which its "ProductSuite" list says.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "nt.h"
#include "ntregy.h"

namespace {

int volatile prefix_done = 0;
int prefix_answer = 0;

// 1 when "Terminal Server" is one of the listed product suites.  An
// allocation failure is not an answer, so it is not kept.
bool product_suite_lists_terminal_server(bool &known) {
    known = true;
    DWORD size = 1024;
    for (;;) {
        char *list = static_cast<char *>(std::calloc(size, 1));
        if (!list) {
            known = false;
            return false;
        }
        HKEY key = nullptr;
        LONG status = ntregy_get_value(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ProductOptions",
                                       "ProductSuite", list, size - 2, &key);
        if (key) ntregy_close_key(key);
        if (status == ERROR_MORE_DATA) {
            std::free(list);
            size += 1024;
            continue;
        }
        bool listed = false;
        if (status == ERROR_SUCCESS) {
            list[size - 1] = list[size - 2] = 0;
            for (const char *p = list; *p && !listed; p += std::strlen(p) + 1)
                listed = std::strcmp(p, "Terminal Server") == 0;
        }
        std::free(list);
        return listed;
    }
}

}  // namespace

extern "C" NT_API int nt_ob_has_global_prefix(void) {
    if (nt_osinfo() & NT_OS_NT5_OR_LATER) return 1;
    if (__atomic_load_n(&prefix_done, __ATOMIC_ACQUIRE)) return prefix_answer;
    NtLibraryLock lock;
    if (!prefix_done) {
        bool known = false;
        int answer = product_suite_lists_terminal_server(known) ? 1 : 0;
        if (!known) return 0;
        prefix_answer = answer;
        __atomic_store_n(&prefix_done, 1, __ATOMIC_RELEASE);
    }
    return prefix_answer;
}
