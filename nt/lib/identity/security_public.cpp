// The public security attributes (a null access list: everybody's) and the
// test for the privilege to create objects in the global namespace.
#include <cstdlib>

#include "frame/frame.h"
#include "nt.h"
#include "identity/security_internal.h"
#include "frame/trace.h"

namespace {
SECURITY_ATTRIBUTES public_attributes{};
PSECURITY_DESCRIPTOR volatile public_descriptor = nullptr;
}  // namespace

extern "C" NT_API LPSECURITY_ATTRIBUTES nt_public_security_attributes(void) {
    if (!__atomic_load_n(&public_descriptor, __ATOMIC_ACQUIRE)) {
        NtLibraryLock lock;
        if (!public_descriptor) {
            auto descriptor = static_cast<PSECURITY_DESCRIPTOR>(std::malloc(SECURITY_DESCRIPTOR_MIN_LENGTH));
            if (!descriptor) return nullptr;
            if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
                !SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) {
                std::free(descriptor);
                return nullptr;
            }
            public_attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
            __atomic_store_n(&public_descriptor, descriptor, __ATOMIC_RELEASE);
        }
    }
    return &public_attributes;
}

int nt_token_has_create_global_privilege() {
    LUID wanted{};
    if (!LookupPrivilegeValueA(nullptr, "SeCreateGlobalPrivilege", &wanted)) {
        NT_TRACE_FAILURE("LookupPrivilegeValue", GetLastError());
        return 0;
    }
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        NT_TRACE_FAILURE("OpenProcessToken", GetLastError());
        return 0;
    }
    DWORD needed = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed);
    auto *privileges = static_cast<TOKEN_PRIVILEGES *>(std::malloc(needed ? needed : 1));
    int held = 0;
    if (privileges && GetTokenInformation(token, TokenPrivileges, privileges, needed, &needed)) {
        for (DWORD i = 0; i < privileges->PrivilegeCount && !held; ++i)
            held = privileges->Privileges[i].Luid.LowPart == wanted.LowPart &&
                   privileges->Privileges[i].Luid.HighPart == wanted.HighPart;
    } else if (privileges) {
        NT_TRACE_FAILURE("GetTokenInformation", GetLastError());
    }
    std::free(privileges);
    CloseHandle(token);
    return held;
}
