// Security attributes for the area objects.  The private area's mutex, file
// and section belong to the user: owned by them, and open only to them, the
// product's administrators, the built-in Administrators and LocalSystem.
// The global area's objects are everybody's to read and only those three's
// to change: its readers never take its mutex, so nobody else can hold it.
// The last descriptor built is kept while the rights and the user stay the same.
#include <cstring>

#include "nt.h"
#include "identity/security_internal.h"
#include "shmem/shmem_area.h"

namespace {

constexpr int kMaxAces = 4;
constexpr DWORD kAceRoom = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SECURITY_MAX_SID_SIZE;

struct OwnerDescriptor {
    bool built = false;
    DWORD access = 0;
    alignas(4) BYTE user[SECURITY_MAX_SID_SIZE];
    alignas(4) BYTE acl[sizeof(ACL) + kMaxAces * kAceRoom];
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};

OwnerDescriptor owner_descriptor;
OwnerDescriptor global_descriptor;

bool make_well_known(BYTE (&buffer)[SECURITY_MAX_SID_SIZE], BYTE count, DWORD first, DWORD second) {
    SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
    if (!InitializeSid(buffer, &nt, count)) return false;
    *GetSidSubAuthority(buffer, 0) = first;
    if (count > 1) *GetSidSubAuthority(buffer, 1) = second;
    return true;
}

bool listed(PACL acl, PSID sid) {
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void *ace = nullptr;
        if (GetAce(acl, i, &ace) && EqualSid(&static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart, sid)) return true;
    }
    return false;
}

// `first` gets `first_access`, the administrators `access`; `user` owns it.
bool build(OwnerDescriptor &d, PSID user, PSID first, DWORD first_access, DWORD access) {
    BYTE system[SECURITY_MAX_SID_SIZE], administrators[SECURITY_MAX_SID_SIZE];
    if (!make_well_known(system, 1, SECURITY_LOCAL_SYSTEM_RID, 0) ||
        !make_well_known(administrators, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS))
        return false;
    // The product's administrators group; LocalSystem stands in when it
    // cannot be resolved.
    PSID product_administrators = nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP);
    if (!product_administrators) product_administrators = system;
    auto *acl = reinterpret_cast<PACL>(d.acl);
    if (!InitializeAcl(acl, sizeof d.acl, ACL_REVISION) || !AddAccessAllowedAce(acl, ACL_REVISION, first_access, first) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, access, product_administrators) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, access, administrators))
        return false;
    if (!listed(acl, system) && !AddAccessAllowedAce(acl, ACL_REVISION, access, system)) return false;
    if (!CopySid(sizeof d.user, d.user, user) ||
        !InitializeSecurityDescriptor(&d.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&d.descriptor, d.user, FALSE) ||
        !SetSecurityDescriptorDacl(&d.descriptor, TRUE, acl, FALSE))
        return false;
    d.attributes = {sizeof(SECURITY_ATTRIBUTES), &d.descriptor, FALSE};
    d.access = access;
    return true;
}

}  // namespace

LPSECURITY_ATTRIBUTES shmem_security_attributes(const shmem_area *area, DWORD access) {
    PSID user = nullptr;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    SID_IDENTIFIER_AUTHORITY world = {{0, 0, 0, 0, 0, 1}};
    if (area->global) {
        if (!InitializeSid(everyone, &world, 1)) return nullptr;
        *GetSidSubAuthority(everyone, 0) = 0;  // S-1-1-0, Everyone
        user = everyone;
    } else if (!nt_get_user_sid(&user)) {
        return nullptr;
    }
    OwnerDescriptor &d = area->global ? global_descriptor : owner_descriptor;
    if (d.built && d.access == access && EqualSid(d.user, user)) return &d.attributes;
    d.built = build(d, user, user, area->global ? GENERIC_READ : access, access);
    return d.built ? &d.attributes : nullptr;
}
