// nt_get_pdc_name: the primary controller of this machine's domain, as the
// platform names it ("\\NAME"); empty on a machine outside any domain.
#include <cstring>

#include "identity/domains.h"
#include "netapi.h"
#include "nt.h"
#include "frame/trace.h"
#include "winnls.h"

namespace {

constexpr int kControllerNameSize = 65;  // a longer name is refused

}  // namespace

extern "C" NT_API int nt_get_pdc_name(char *dst, int max) {
    if (!dst || max <= 0) return 0;
    dst[0] = '\0';
    if (!ntx_is_domain_member()) return 1;
    LPBYTE controller = nullptr;
    NET_API_STATUS status = NetGetDCName(nullptr, nullptr, &controller);
    if (status != NERR_Success) {
        NT_TRACE_FAILURE("NetGetDCName", status);
        return 0;
    }
    char name[kControllerNameSize];
    int converted = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(controller), -1, name, sizeof name,
                                        nullptr, nullptr);
    NetApiBufferFree(controller);
    if (converted <= 0) return 0;  // no room: the name has 65 characters or more
    std::strncpy(dst, name, static_cast<size_t>(max));
    dst[max - 1] = '\0';
    return 1;
}
