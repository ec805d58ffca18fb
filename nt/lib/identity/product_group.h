// The product group, internal side: its SID (well-known number 1) and the
// scrambled-name clock.
#pragma once

#include "win32.h"

// The product group's SID (the library's), or null while its name does not
// resolve; a null answer is tried again by the next call.
PSID nt_get_zendrel_group_sid();
