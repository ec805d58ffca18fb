// nt_str_to_sid on any text, with a round trip: a text it accepts prints
// with nt_sid_to_str, that print parses back to an equal SID, and the second
// print is the first.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "nt.h"
#include "win32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);  // a NUL ends it, as for a C caller
    PSID sid = nullptr;
    if (nt_str_to_sid(text.c_str(), &sid) != 0) return 0;
    if (!IsValidSid(sid) || *GetSidSubAuthorityCount(sid) > 8) std::abort();
    char printed[128], reprinted[128];
    if (!nt_sid_to_str(sid, printed, sizeof printed)) std::abort();
    PSID again = nullptr;
    if (nt_str_to_sid(printed, &again) != 0 || !EqualSid(sid, again)) std::abort();
    if (!nt_sid_to_str(again, reprinted, sizeof reprinted) || std::string(printed) != reprinted) std::abort();
    FreeSid(again);
    FreeSid(sid);
    return 0;
}
