// quarn setup's move of hives from an older prefix's layout.
#pragma once

#include <filesystem>
#include <string>

#include "machine/local_accounts.h"

namespace quarn::tool {

// Moves users/SID.db (and its -wal and -shm) to users/SID/ntuser.db when they
// belong to `user`, whose SID it is; finishes a move a crash interrupted.
// Anything else is left as it is, named in a warning event.
void move_old_user_hive(const std::filesystem::path &users, const std::string &sid, const win32::LocalUser &user);

}  // namespace quarn::tool
