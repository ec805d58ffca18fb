// Security descriptors and access lists in Windows' absolute form, and the
// file modes they become for kernel objects and files: an object whose
// descriptor has a null access list, or one that grants Everyone, is
// everybody's (0666), or everybody's to read (0644) when Everyone is granted
// GENERIC_READ alone; any other access list makes it its owner's alone
// (0600), since the administrators it may also name are root, who passes
// every mode check anyway.
#include <sys/stat.h>

#include <cstring>

#include "advapi.h"
#include "ntdll/object_namespace.h"

namespace {

constexpr BYTE kEveryone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};  // S-1-1-0

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

// The rights the access list grants Everyone.
ACCESS_MASK everyones_rights(PACL acl) {
    ACCESS_MASK rights = 0;
    BYTE *p = reinterpret_cast<BYTE *>(acl) + sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(p);
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            std::memcmp(&ace->SidStart, kEveryone, sizeof kEveryone) == 0)
            rights |= ace->Mask;
        p += ace->Header.AceSize;
    }
    return rights;
}

}  // namespace

namespace quarn::win32 {

mode_t mode_from_security(const SECURITY_ATTRIBUTES *attributes, mode_t fallback) {
    if (!attributes || !attributes->lpSecurityDescriptor) return fallback;
    auto *descriptor = static_cast<const SECURITY_DESCRIPTOR *>(attributes->lpSecurityDescriptor);
    if (!(descriptor->Control & SE_DACL_PRESENT)) return fallback;
    if (!descriptor->Dacl) return 0666;
    if (!valid_acl(descriptor->Dacl) || !end_of_aces(descriptor->Dacl)) return 0600;
    ACCESS_MASK everyone = everyones_rights(descriptor->Dacl);
    if (!everyone) return 0600;
    return everyone == GENERIC_READ ? 0644 : 0666;
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
    if (!valid_acl(acl) || revision != ACL_REVISION) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (!IsValidSid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    BYTE *free_space = end_of_aces(acl);
    if (!free_space) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    DWORD sid_length = GetLengthSid(sid);
    DWORD ace_size = static_cast<DWORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart)) + sid_length;
    BYTE *limit = reinterpret_cast<BYTE *>(acl) + acl->AclSize;
    if (free_space + ace_size > limit) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(free_space);
    ace->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    ace->Header.AceFlags = 0;
    ace->Header.AceSize = static_cast<WORD>(ace_size);
    ace->Mask = access;
    std::memcpy(&ace->SidStart, sid, sid_length);
    ++acl->AceCount;
    return TRUE;
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
