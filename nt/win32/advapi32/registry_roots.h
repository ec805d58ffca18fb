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
// HKEY_LOCAL_MACHINE of the machine `name` ("NAME" or "\\NAME"): this
// machine's own hive for its own name, ERROR_BAD_NETPATH for a machine the
// prefix does not know.
std::shared_ptr<Hive> remote_machine_hive(const char *name, LONG &status);

}  // namespace quarn::win32::registry
