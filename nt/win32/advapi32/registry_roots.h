// Where the hives are: the machine hive and the token user's hive under the
// prefix's registry/, and the machine hives of the prefixes of machines/NAME/.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "advapi32/registry_store.h"

namespace quarn::win32::registry {

// HKEY_LOCAL_MACHINE of this machine.
std::shared_ptr<Hive> local_machine_hive(LONG &status);
// The folder of the HKEY_CURRENT_USER of the user with SID text `sid`: that
// user's own (0700), made by `quarn setup` or by the user when the prefix is
// theirs.
std::filesystem::path user_hive_folder(const std::filesystem::path &prefix, const std::string &sid);
// HKEY_CURRENT_USER: the hive of the process token's user.
std::shared_ptr<Hive> current_user_hive(LONG &status);
// The keys that only administrators may read, the \Security key of the
// product's common key, live in a hive of their own (registry/security.db,
// root's alone) shown at their place in HKEY_LOCAL_MACHINE, as Windows keeps
// its SECURITY hive.  The folded path of that place, and its depth.
extern const char kSecurityMountPath[];
constexpr size_t kSecurityMountDepth = 5;
// True when `hive` is this machine's HKEY_LOCAL_MACHINE, where the mount is.
bool holds_security_mount(const Hive &hive);
// The security hive; ERROR_ACCESS_DENIED for everybody but root (or the prefix's owner).
std::shared_ptr<Hive> security_hive(LONG &status);
// Moves the keys and values an older prefix kept below the mount in the
// machine hive into the security hive (root's work, for `quarn setup`).
LONG move_security_out_of_machine_hive();

// HKEY_LOCAL_MACHINE of the machine `name` ("NAME" or "\\NAME"): this
// machine's own hive for its own name, ERROR_BAD_NETPATH for a machine the
// prefix does not know.
std::shared_ptr<Hive> remote_machine_hive(const char *name, LONG &status);

}  // namespace quarn::win32::registry
