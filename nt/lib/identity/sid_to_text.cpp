// nt_sid_to_str and its twin ntx_sid_to_str: a SID's standard text form
// ("S-1-5-21-...") in a caller's buffer, cut to fit and always terminated.
#include <cstring>

#include "nt.h"
#include "ntx.h"
#include "frame/trace.h"

extern "C" NT_API char *nt_sid_to_str(PSID sid, char *dst, size_t len) {
    if (!dst || len == 0) return nullptr;
    LPSTR text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) {
        NTX_TRACE_FAILURE("ConvertSidToStringSid", kSourceNtutilx, GetLastError());
        return nullptr;
    }
    std::strncpy(dst, text, len - 1);
    dst[len - 1] = 0;
    LocalFree(text);
    return dst;
}

extern "C" NT_API char *ntx_sid_to_str(PSID sid, char *dst, size_t len) { return nt_sid_to_str(sid, dst, len); }
