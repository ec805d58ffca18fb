// Security attributes for objects private to the current user: owned by the
// user, and open (with the caller's access mask) to the user, the product
// group (LocalSystem when it does not resolve), Administrators and
// LocalSystem; or, for objects that must not be reached over the network,
// denied to network logons first and open to the user only.  Each thread
// keeps the last block it built and hands it out again while the mask, the
// network flag and the user stay the same, so a block never changes under
// another thread's feet and a thread that impersonates gets its own user.
#include <cstring>

#include "frame/trace.h"
#include "nt.h"

namespace {

constexpr DWORD kAceHead = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);  // an entry without its SID

struct OwnerBlock {
    SECURITY_ATTRIBUTES attributes{};
    SECURITY_DESCRIPTOR descriptor{};
    BYTE owner[SECURITY_MAX_SID_SIZE] = {};  // the descriptor's own copy of the user
    PACL dacl = nullptr;
    bool built = false;
    DWORD access = 0;
    int network = 0;

    ~OwnerBlock() { LocalFree(dacl); }
    void forget() {
        LocalFree(dacl);
        dacl = nullptr;
        built = false;
    }
};
thread_local OwnerBlock block;

// Fails the build after a trace line naming `call`.
bool failed(const char *call) {
    NT_TRACE_FAILURE(call, GetLastError());
    return false;
}

bool build(OwnerBlock &b, PSID user, DWORD access, int network) {
    PSID admins = nt_get_enum_sid(NT_ENUM_SID_ADMINISTRATORS);
    PSID system = nt_get_enum_sid(NT_ENUM_SID_LOCAL_SYSTEM);
    PSID network_logon = nt_get_enum_sid(NT_ENUM_SID_NETWORK);
    PSID product_group = nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP);
    if (!product_group) product_group = system;
    if (!InitializeSecurityDescriptor(&b.descriptor, SECURITY_DESCRIPTOR_REVISION))
        return failed("InitializeSecurityDescriptor");
    const bool system_entry = !EqualSid(system, product_group) && !EqualSid(system, user);
    DWORD size = network ? sizeof(ACL) + 2 * kAceHead + GetLengthSid(user) + GetLengthSid(network_logon)
                         : sizeof(ACL) + 4 * kAceHead + GetLengthSid(user) + GetLengthSid(product_group) +
                               GetLengthSid(admins) + (system_entry ? GetLengthSid(system) : 0);
    b.dacl = static_cast<PACL>(LocalAlloc(LPTR, size));
    if (!b.dacl) return failed("LocalAlloc");
    if (!InitializeAcl(b.dacl, size, ACL_REVISION)) return failed("InitializeAcl");
    if (network) {
        if (!AddAccessDeniedAce(b.dacl, ACL_REVISION, access, network_logon)) return failed("AddAccessDeniedAce");
        if (!AddAccessAllowedAce(b.dacl, ACL_REVISION, access, user)) return failed("AddAccessAllowedAce");
    } else {
        if (!AddAccessAllowedAce(b.dacl, ACL_REVISION, access, user) ||
            !AddAccessAllowedAce(b.dacl, ACL_REVISION, access, product_group) ||
            !AddAccessAllowedAce(b.dacl, ACL_REVISION, access, admins) ||
            (system_entry && !AddAccessAllowedAce(b.dacl, ACL_REVISION, access, system)))
            return failed("AddAccessAllowedAce");
    }
    if (!IsValidAcl(b.dacl)) return failed("IsValidAcl");
    if (!SetSecurityDescriptorDacl(&b.descriptor, TRUE, b.dacl, FALSE)) return failed("SetSecurityDescriptorDacl");
    if (!CopySid(sizeof b.owner, b.owner, user)) return failed("CopySid");
    if (!SetSecurityDescriptorOwner(&b.descriptor, b.owner, FALSE)) return failed("SetSecurityDescriptorOwner");
    if (!IsValidSecurityDescriptor(&b.descriptor)) return failed("IsValidSecurityDescriptor");
    b.attributes = {sizeof(SECURITY_ATTRIBUTES), &b.descriptor, FALSE};
    return true;
}

}  // namespace

extern "C" NT_API LPSECURITY_ATTRIBUTES nt_owner_security_attributes(DWORD access_mask, int network_flag) {
    PSID user = nullptr;
    if (!nt_get_enum_sid(NT_ENUM_SID_ADMINISTRATORS) || !nt_get_user_sid(&user)) return nullptr;
    OwnerBlock &b = block;
    const int network = network_flag != 0;
    if (b.built && b.access == access_mask && b.network == network && EqualSid(b.owner, user)) return &b.attributes;
    b.forget();
    if (!build(b, user, access_mask, network)) {
        b.forget();
        return nullptr;
    }
    b.built = true;
    b.access = access_mask;
    b.network = network;
    return &b.attributes;
}
