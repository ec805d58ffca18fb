// Group lists, internal side: the domain group mapping and the resolution of
// the group names that the environment gives.
#pragma once

#include "win32.h"

// The SID that `sid` stands for: `sid` itself, or the calling thread's
// mapped-group buffer, overwritten by the thread's next call.
PSID nt_map_domain_group_sid(PSID sid);

// The group that `name` (an account name, or the SID text of a group) names
// in `sid` (68 bytes), through the private "Account name->Sid" cache; false
// when it names none.
bool nt_group_of_env_name(const char *name, BYTE *sid);
