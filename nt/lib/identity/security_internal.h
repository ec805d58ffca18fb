// Security attributes for the objects the library creates, and the token
// tests behind them.
#pragma once

#include "win32.h"

struct shmem_area;

// 1 when the current token holds SeCreateGlobalPrivilege, enabled or not.
int nt_token_has_create_global_privilege();

// The attributes for an area's mutex, file or section with `access`: the
// public ones for the global area, the user's own for the private area.
// Null when they cannot be built.  Called under the library lock.
LPSECURITY_ATTRIBUTES shmem_security_attributes(const shmem_area *area, DWORD access);
