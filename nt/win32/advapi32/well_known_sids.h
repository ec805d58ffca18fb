// The SIDs every Windows machine knows by name: the world and creator SIDs,
// the NT AUTHORITY identities, the integrity labels and the aliases of the
// builtin domain, with the names and account types Windows gives them.
#pragma once

#include <span>
#include <string>

#include "advapi32/sid_value.h"

namespace quarn::win32 {

struct WellKnownAccount {
    SidValue sid;
    std::string domain;  // "" for the world and creator SIDs
    std::string name;
    SID_NAME_USE use;
};

// Well-known identities outside the builtin domain.
std::span<const WellKnownAccount> well_known_accounts();
// The aliases of the builtin domain S-1-5-32 (Administrators 544, Users 545, ...).
std::span<const WellKnownAccount> builtin_aliases();
// S-1-5-32.
const SidValue &builtin_domain_sid();

}  // namespace quarn::win32
