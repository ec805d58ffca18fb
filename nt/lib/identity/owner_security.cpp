// Security attributes for the objects the library creates.  An owner's
// object is open (with the caller's access mask) to its first subject (the
// user, or Everyone for what every user reads), the product group (LocalSystem
// when it does not resolve), Administrators and LocalSystem; or, for objects
// that must not be reached over the network, denied to network logons first
// and open to the user only.  Each block hands out what it built last again
// while its inputs stay the same, so a descriptor never changes under its
// user's feet; nt_owner_security_attributes keeps one block per thread, so a
// thread that impersonates gets its own user.
#include <cstring>

#include "frame/trace.h"
#include "identity/security_internal.h"
#include "nt.h"

namespace {

constexpr DWORD kAceHead = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);  // an entry without its SID

thread_local SecurityBlock block;

// Fails the build after a trace line naming `call`.
bool failed(const char *call) {
    NT_TRACE_FAILURE(call, GetLastError());
    return false;
}

bool same_sid(const BYTE *kept, PSID sid) { return sid ? EqualSid(const_cast<BYTE *>(kept), sid) : !kept[0]; }

// A copy of `sid` in `out`, or an empty one (a zero revision) for none.
bool keep_sid(BYTE (&out)[SECURITY_MAX_SID_SIZE], PSID sid) {
    std::memset(out, 0, sizeof out);
    return !sid || CopySid(sizeof out, out, sid);
}

}  // namespace

SecurityBlock::~SecurityBlock() { LocalFree(dacl); }

bool SecurityBlock::same(const SecurityRequest &r) const {
    return built && r.first_access == first_access && r.access == access && r.network == network &&
           same_sid(owner, r.owner) && same_sid(first, r.first) && same_sid(group, r.group);
}

bool SecurityBlock::build(const SecurityRequest &r) {
    PSID admins = nt_get_enum_sid(NT_ENUM_SID_ADMINISTRATORS);
    PSID system = nt_get_enum_sid(NT_ENUM_SID_LOCAL_SYSTEM);
    PSID network_logon = nt_get_enum_sid(NT_ENUM_SID_NETWORK);
    PSID product_group = nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP);
    if (!admins || !system || !network_logon) return failed("nt_get_enum_sid");
    if (!product_group) product_group = system;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
        return failed("InitializeSecurityDescriptor");
    const bool system_entry = !EqualSid(system, product_group) && !EqualSid(system, r.first);
    DWORD size = r.network ? sizeof(ACL) + 2 * kAceHead + GetLengthSid(r.first) + GetLengthSid(network_logon)
                           : sizeof(ACL) + 4 * kAceHead + GetLengthSid(r.first) + GetLengthSid(product_group) +
                                 GetLengthSid(admins) + (system_entry ? GetLengthSid(system) : 0);
    dacl = static_cast<PACL>(LocalAlloc(LPTR, size));
    if (!dacl) return failed("LocalAlloc");
    if (!InitializeAcl(dacl, size, ACL_REVISION)) return failed("InitializeAcl");
    if (r.network) {
        if (!AddAccessDeniedAce(dacl, ACL_REVISION, r.access, network_logon)) return failed("AddAccessDeniedAce");
        if (!AddAccessAllowedAce(dacl, ACL_REVISION, r.first_access, r.first)) return failed("AddAccessAllowedAce");
    } else {
        if (!AddAccessAllowedAce(dacl, ACL_REVISION, r.first_access, r.first) ||
            !AddAccessAllowedAce(dacl, ACL_REVISION, r.access, product_group) ||
            !AddAccessAllowedAce(dacl, ACL_REVISION, r.access, admins) ||
            (system_entry && !AddAccessAllowedAce(dacl, ACL_REVISION, r.access, system)))
            return failed("AddAccessAllowedAce");
    }
    if (!IsValidAcl(dacl)) return failed("IsValidAcl");
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE)) return failed("SetSecurityDescriptorDacl");
    if (!keep_sid(owner, r.owner) || !keep_sid(first, r.first) || !keep_sid(group, r.group))
        return failed("CopySid");
    if (!SetSecurityDescriptorOwner(&descriptor, owner, FALSE)) return failed("SetSecurityDescriptorOwner");
    if (r.group && !SetSecurityDescriptorGroup(&descriptor, group, FALSE))
        return failed("SetSecurityDescriptorGroup");
    if (!IsValidSecurityDescriptor(&descriptor)) return failed("IsValidSecurityDescriptor");
    attributes = {sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    return true;
}

LPSECURITY_ATTRIBUTES SecurityBlock::attributes_for(const SecurityRequest &request) {
    if (same(request)) return &attributes;
    LocalFree(dacl);
    dacl = nullptr;
    built = build(request);
    if (!built) {
        LocalFree(dacl);
        dacl = nullptr;
        return nullptr;
    }
    first_access = request.first_access;
    access = request.access;
    network = request.network;
    return &attributes;
}

extern "C" NT_API LPSECURITY_ATTRIBUTES nt_owner_security_attributes(DWORD access_mask, int network_flag) {
    PSID user = nullptr;
    if (!nt_get_user_sid(&user)) return nullptr;
    return block.attributes_for({user, user, access_mask, access_mask, nullptr, network_flag != 0});
}
