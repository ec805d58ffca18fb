// Security descriptors and access lists in Windows' absolute form, and the
// file modes they become for kernel objects and files.  A null access list
// is everybody's (0666).  Otherwise the list is read as Windows reads it, in
// order, the first entry that names a subject deciding: the owner's bits
// come from the entries for the owner (the descriptor's, else the process's
// user) or for everybody, the others' bits from the entries for everybody
// (Everyone, Authenticated Users, Users, Interactive), read alone when they
// are granted GENERIC_READ alone.  A descriptor's group, when it is a group
// of this machine, becomes the file's group, its bits from the first entry
// for that group; without one (or without such an entry), the group's bits
// are the others'.  The administrators
// and LocalSystem a list may also name are root, who passes every mode check
// anyway; a network logon is never a local process.
#include <sys/stat.h>

#include <cstring>
#include <optional>

#include "advapi.h"
#include "advapi32/sid_value.h"
#include "advapi32/token_object.h"
#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "ntdll/object_namespace.h"

namespace {

using quarn::win32::SidValue;

// Whether a SID's header and sub-authorities lie within `room` bytes.
bool sid_fits(const void *sid, DWORD room) {
    auto *bytes = static_cast<const BYTE *>(sid);
    return room >= 8 && bytes[0] == SID_REVISION && bytes[1] <= SID_MAX_SUB_AUTHORITIES &&
           8u + 4u * bytes[1] <= room;
}

bool valid_acl(const ACL *acl) {
    return acl && acl->AclRevision >= ACL_REVISION && acl->AclSize >= sizeof(ACL);
}

// The first free byte of `acl`, or null when its ACEs are damaged.
BYTE *end_of_aces(PACL acl) {
    BYTE *p = reinterpret_cast<BYTE *>(acl) + sizeof(ACL);
    BYTE *limit = reinterpret_cast<BYTE *>(acl) + acl->AclSize;
    for (WORD i = 0; i < acl->AceCount; ++i) {
        auto *header = reinterpret_cast<ACE_HEADER *>(p);
        if (p + sizeof(ACE_HEADER) > limit || header->AceSize < sizeof(ACE_HEADER) || p + header->AceSize > limit)
            return nullptr;
        p += header->AceSize;
    }
    return p;
}

// SIDs that every local user's token holds.
bool names_everybody(const SidValue &sid) {
    static const SidValue everybody[] = {
        SidValue(1, {0}),                                       // Everyone
        SidValue(5, {11}),                                      // Authenticated Users
        SidValue(5, {4}),                                       // Interactive
        SidValue(5, {SECURITY_BUILTIN_DOMAIN_RID, 545}),        // BUILTIN\Users
    };
    for (const auto &s : everybody)
        if (s == sid) return true;
    return false;
}

// The rights the first entry of `acl` that `applies` to a subject allows it
// (0 when that entry denies them); nullopt when none applies.
template <typename Applies>
std::optional<ACCESS_MASK> first_entry_for(PACL acl, Applies applies) {
    BYTE *p = reinterpret_cast<BYTE *>(acl) + sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(p);
        p += ace->Header.AceSize;
        bool known = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE || ace->Header.AceType == ACCESS_DENIED_ACE_TYPE;
        if (!known || !ace->Mask || !applies(SidValue::copy_of(&ace->SidStart))) continue;
        return ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? ace->Mask : 0;
    }
    return std::nullopt;
}

template <typename Applies>
ACCESS_MASK first_entry_allows(PACL acl, Applies applies) {
    return first_entry_for(acl, applies).value_or(0);
}

// The process's own user, whom an object's owner stands for when the descriptor names none.
SidValue process_user() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    auto handle = quarn::win32::typed_object<quarn::win32::TokenHandle>(token);
    SidValue user = handle ? handle->token()->contents()->user : SidValue();
    CloseHandle(token);
    return user;
}

// The mode bits (read, or read and write, for one class) of granted rights.
mode_t bits_of(ACCESS_MASK granted) { return !granted ? 0 : granted == GENERIC_READ ? 04 : 06; }

const SECURITY_DESCRIPTOR *descriptor_with_dacl(const SECURITY_ATTRIBUTES *attributes) {
    if (!attributes || !attributes->lpSecurityDescriptor) return nullptr;
    auto *descriptor = static_cast<const SECURITY_DESCRIPTOR *>(attributes->lpSecurityDescriptor);
    return descriptor->Control & SE_DACL_PRESENT ? descriptor : nullptr;
}

bool add_ace(PACL acl, DWORD revision, BYTE type, DWORD access, PSID sid) {
    if (!valid_acl(acl) || revision != ACL_REVISION) {
        SetLastError(ERROR_INVALID_ACL);
        return false;
    }
    if (!IsValidSid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return false;
    }
    BYTE *free_space = end_of_aces(acl);
    if (!free_space) {
        SetLastError(ERROR_INVALID_ACL);
        return false;
    }
    DWORD sid_length = GetLengthSid(sid);
    DWORD ace_size = static_cast<DWORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart)) + sid_length;
    BYTE *limit = reinterpret_cast<BYTE *>(acl) + acl->AclSize;
    if (free_space + ace_size > limit) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return false;
    }
    auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(free_space);
    ace->Header.AceType = type;
    ace->Header.AceFlags = 0;
    ace->Header.AceSize = static_cast<WORD>(ace_size);
    ace->Mask = access;
    std::memcpy(&ace->SidStart, sid, sid_length);
    ++acl->AceCount;
    return true;
}

}  // namespace

namespace quarn::win32 {

mode_t mode_from_security(const SECURITY_ATTRIBUTES *attributes, mode_t fallback) {
    const SECURITY_DESCRIPTOR *descriptor = descriptor_with_dacl(attributes);
    if (!descriptor) return fallback;
    if (!descriptor->Dacl) return 0666;
    if (!valid_acl(descriptor->Dacl) || !end_of_aces(descriptor->Dacl)) return 0600;
    SidValue owner = descriptor->Owner ? SidValue::copy_of(descriptor->Owner) : process_user();
    bool owner_may = first_entry_allows(descriptor->Dacl, [&](const SidValue &sid) {
        return sid == owner || names_everybody(sid);
    });
    // Everybody granted GENERIC_READ alone may read and not write.
    mode_t others = bits_of(first_entry_allows(descriptor->Dacl, names_everybody));
    mode_t group = others;
    if (group_of_security(attributes) != kNoGroup) {
        SidValue named = SidValue::copy_of(descriptor->Group);
        auto granted = first_entry_for(descriptor->Dacl, [&](const SidValue &sid) { return sid == named; });
        if (granted) group = bits_of(*granted);
    }
    return (owner_may ? 0600 : 0) | group << 3 | others;
}

gid_t gid_of_group(PSID sid) {
    const Machine *machine = Machine::current();
    if (!sid || !IsValidSid(sid) || !machine) return kNoGroup;
    SidValue group = SidValue::copy_of(sid);
    if (group.count() < 2 || group.parent() != machine->directory().account_domain_sid()) return kNoGroup;
    auto local = local_account_with_rid(group.rid()).group;
    return local ? local->gid : kNoGroup;
}

gid_t group_of_security(const SECURITY_ATTRIBUTES *attributes) {
    const SECURITY_DESCRIPTOR *descriptor = descriptor_with_dacl(attributes);
    return descriptor ? gid_of_group(descriptor->Group) : kNoGroup;
}

}  // namespace quarn::win32

extern "C" {

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (!descriptor || revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->Revision = static_cast<BYTE>(revision);
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted) {
    if (!descriptor || descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    descriptor->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (present) {
        descriptor->Control |= SE_DACL_PRESENT;
        if (defaulted) descriptor->Control |= SE_DACL_DEFAULTED;
        descriptor->Dacl = dacl;
    } else {
        descriptor->Dacl = nullptr;
    }
    return TRUE;
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL defaulted) {
    if (!descriptor || descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    descriptor->Owner = owner;
    descriptor->Control &= static_cast<WORD>(~SE_OWNER_DEFAULTED);
    if (defaulted) descriptor->Control |= SE_OWNER_DEFAULTED;
    return TRUE;
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL defaulted) {
    if (!descriptor || descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    descriptor->Group = group;
    descriptor->Control &= static_cast<WORD>(~SE_GROUP_DEFAULTED);
    if (defaulted) descriptor->Control |= SE_GROUP_DEFAULTED;
    return TRUE;
}

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
    if (!acl || length < sizeof(ACL) || length > 0xFFFF || revision != ACL_REVISION) {
        SetLastError(length < sizeof(ACL) ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(acl, 0, sizeof *acl);
    acl->AclRevision = static_cast<BYTE>(revision);
    acl->AclSize = static_cast<WORD>(length & ~3u);
    return TRUE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD access, PSID sid) {
    return add_ace(acl, revision, ACCESS_ALLOWED_ACE_TYPE, access, sid);
}

BOOL AddAccessDeniedAce(PACL acl, DWORD revision, DWORD access, PSID sid) {
    return add_ace(acl, revision, ACCESS_DENIED_ACE_TYPE, access, sid);
}

BOOL IsValidAcl(PACL acl) {
    if (!valid_acl(acl) || acl->AclRevision > ACL_REVISION_DS || !end_of_aces(acl)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    BYTE *p = reinterpret_cast<BYTE *>(acl) + sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(p);
        bool simple = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE || ace->Header.AceType == ACCESS_DENIED_ACE_TYPE;
        DWORD room = ace->Header.AceSize - static_cast<DWORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart));
        if (simple && (ace->Header.AceSize < offsetof(ACCESS_ALLOWED_ACE, SidStart) + 8 ||
                       !sid_fits(&ace->SidStart, room))) {
            SetLastError(ERROR_INVALID_ACL);
            return FALSE;
        }
        p += ace->Header.AceSize;
    }
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    bool valid = descriptor && descriptor->Revision == SECURITY_DESCRIPTOR_REVISION &&
                 (!descriptor->Owner || IsValidSid(descriptor->Owner)) &&
                 (!descriptor->Group || IsValidSid(descriptor->Group)) &&
                 (!(descriptor->Control & SE_DACL_PRESENT) || !descriptor->Dacl || IsValidAcl(descriptor->Dacl));
    if (!valid) SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return valid;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID *ace) {
    if (!valid_acl(acl) || !ace || index >= acl->AceCount || !end_of_aces(acl)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE *p = reinterpret_cast<BYTE *>(acl) + sizeof(ACL);
    for (DWORD i = 0; i < index; ++i) p += reinterpret_cast<ACE_HEADER *>(p)->AceSize;
    *ace = p;
    return TRUE;
}

}  // extern "C"
