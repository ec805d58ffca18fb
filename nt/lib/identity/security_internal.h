// Security attributes for the objects the library creates, and the token
// tests behind them.
#pragma once

#include "win32.h"

struct shmem_area;

// What a security descriptor of the library is made of: `owner` owns it,
// `first` gets `first_access` (network: the only entry after the denial of
// network logons), the administrators `access`; `group`, when not null,
// becomes its primary group (and so the group of its file).
struct SecurityRequest {
    PSID owner;
    PSID first;
    DWORD first_access;
    DWORD access;
    PSID group;
    bool network;
};

// One descriptor and the inputs it was built from; a request with the same
// inputs gets the same attributes back.
class SecurityBlock {
public:
    SecurityBlock() = default;
    ~SecurityBlock();
    SecurityBlock(const SecurityBlock &) = delete;
    SecurityBlock &operator=(const SecurityBlock &) = delete;
    // Null (after a trace line) when they cannot be built.
    LPSECURITY_ATTRIBUTES attributes_for(const SecurityRequest &request);

private:
    bool same(const SecurityRequest &request) const;
    bool build(const SecurityRequest &request);
    SECURITY_ATTRIBUTES attributes{};
    SECURITY_DESCRIPTOR descriptor{};
    BYTE owner[SECURITY_MAX_SID_SIZE] = {}, first[SECURITY_MAX_SID_SIZE] = {}, group[SECURITY_MAX_SID_SIZE] = {};
    PACL dacl = nullptr;
    bool built = false;
    DWORD first_access = 0, access = 0;
    bool network = false;
};

// 1 when the current token holds SeCreateGlobalPrivilege, enabled or not.
int nt_token_has_create_global_privilege();

// The attributes for an area's mutex, file or section with `access`: the
// public ones for the global area, the user's own for the private area.
// Null when they cannot be built.  Called under the library lock.
LPSECURITY_ATTRIBUTES shmem_security_attributes(const shmem_area *area, DWORD access);
