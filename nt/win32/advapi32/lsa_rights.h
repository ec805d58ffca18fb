// Account rights granted through LsaAddAccountRights, kept in a small TOML
// file of the machine: one key per account SID, its value the list of rights,
//
//   "S-1-5-21-1-2-3-1000" = ["SeServiceLogonRight"]
//
// Writers take an exclusive lock on the file's ".lock" companion and replace
// the file by renaming a complete new one, so readers never see half of it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "winerror.h"

namespace quarn::win32 {

// Whether `name` is a logon right or a privilege that can be granted.
bool is_account_right(const std::string &name);

// The rights `file` holds for `sid_text` (empty when the file or key is absent);
// STATUS_INTERNAL_DB_CORRUPTION for a file that cannot be read as TOML.
NTSTATUS read_account_rights(const std::filesystem::path &file, const std::string &sid_text,
                             std::vector<std::string> &rights);
// Adds `rights` (known names only) to those of `sid_text`; a right held
// already is not repeated.
NTSTATUS add_account_rights(const std::filesystem::path &file, const std::string &sid_text,
                            const std::vector<std::string> &rights);

}  // namespace quarn::win32
