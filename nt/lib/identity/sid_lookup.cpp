// The SID side of the records: a SID copied into a record's buffer, and its
// account name, domain and type from this machine's account database.
#include "identity/identity.h"
#include "frame/trace.h"

bool nt_copy_record_sid(PSID record_sid, PSID sid) {
    if (CopySid(kSidSize, record_sid, sid)) return true;
    NT_TRACE_FAILURE("CopySid", GetLastError());
    return false;
}

bool nt_lookup_sid_name(PSID sid, char *name, char *domain, SID_NAME_USE *use) {
    DWORD name_size = kAccountNameSize, domain_size = kDomainNameSize;
    return LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, use);
}
