// Group records by name and by SID.  Well-known groups answer under
// "NT AUTHORITY\", local system counts as a group, and in Active Directory a
// user SID whose name also names another account of its type answers as
// "nobody".  Each thread has one record for each function, in its heap.
#include <strings.h>

#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

constexpr const char kNtAuthorityPrefix[] = "NT AUTHORITY\\";
constexpr size_t kNtAuthorityPrefixLength = sizeof kNtAuthorityPrefix - 1;  // 13
constexpr const char kNobody[] = "nobody";

nt_group *prepare(nt_thread_context *context, nt_group &record) {
    if (!record.gr_name) {
        auto *name = static_cast<char *>(nt_thread_alloc(context, kQualifiedNameSize));
        auto *sid = nt_thread_alloc(context, kSidSize);
        if (!name || !sid) {
            nt_thread_free(context, name);
            nt_thread_free(context, sid);
            return nullptr;
        }
        record = {name, sid};
    }
    return &record;
}

int lookup(const char *name, PSID sid, char *domain) {
    char qualified[kQualifiedNameSize];
    int use = 0;
    if (!nt_lookup_account_name_server(nullptr, name, sid, kSidSize, domain, kDomainNameSize, &use, qualified))
        return 0;
    return use;
}

// A user SID that the directory also knows, as DOMAIN\name, by another SID of
// the same type: a group of Active Directory that the account database
// reports as a user.
bool is_directory_alias(PSID sid, const char *name, const char *domain, SID_NAME_USE use) {
    if (!nt_is_in_active_directory()) return false;
    char qualified[kQualifiedNameSize];
    nt_qualify_account_name(name, domain, qualified, sizeof qualified);
    BYTE other[kSidSize];
    char other_domain[kDomainNameSize];
    DWORD sid_size = sizeof other, domain_size = sizeof other_domain;
    SID_NAME_USE other_use;
    return LookupAccountNameA(nullptr, qualified, other, &sid_size, other_domain, &domain_size, &other_use) &&
           other_use == use && !EqualSid(other, sid);
}

}  // namespace

extern "C" NT_API nt_group *nt_getgrnam_sid(const char *name) {
    nt_thread_context *context = nt_thread_context_get();
    if (!context || !name) return nullptr;
    nt_group *record = prepare(context, context->group_by_name);
    if (!record) return nullptr;
    char domain[kDomainNameSize];
    int use = lookup(name, record->gr_sid, domain);
    if (!use && strncasecmp(name, kNtAuthorityPrefix, kNtAuthorityPrefixLength) == 0) {
        use = lookup(name + kNtAuthorityPrefixLength, record->gr_sid, domain);
        if (use != SidTypeWellKnownGroup) return nullptr;
    }
    if (!nt_is_group_use(use)) return nullptr;
    nt_qualify_account_name(name, domain, record->gr_name, kQualifiedNameSize);
    return record;
}

extern "C" NT_API nt_group *nt_getgrsid_sid(PSID sid) {
    nt_thread_context *context = nt_thread_context_get();
    // An invalid SID fails in CopySid, which traces it.
    if (!context || !sid) return nullptr;
    nt_group *record = prepare(context, context->group_by_sid);
    if (!record) return nullptr;
    if (!nt_copy_record_sid(record->gr_sid, sid)) return nullptr;
    char name[kAccountNameSize], domain[kDomainNameSize];
    SID_NAME_USE use;
    if (!nt_lookup_sid_name(sid, name, domain, &use)) return nullptr;
    if (nt_is_group_use(use) || (use == SidTypeUser && EqualSid(sid, nt_get_enum_sid(NT_ENUM_SID_LOCAL_SYSTEM)))) {
        nt_qualify_account_name(name, domain, record->gr_name, kQualifiedNameSize);
        return record;
    }
    if (use == SidTypeUser && is_directory_alias(sid, name, domain, use)) {
        std::strcpy(record->gr_name, kNobody);
        return record;
    }
    return nullptr;
}
