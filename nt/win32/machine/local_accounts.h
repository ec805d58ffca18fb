// This machine's own accounts: Linux's users and groups through NSS, made into
// the account domain with algorithmic RIDs (user 1000 + 2*uid, group
// 1001 + 2*gid) so that a user and a group never share a RID.  Names match
// without case, as Windows matches them; an exact match is tried first.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winbase.h"

namespace quarn::win32 {

struct LocalUser {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string gecos;
    std::string home;  // a Unix path
};

struct LocalGroup {
    std::string name;
    gid_t gid = 0;
    std::vector<std::string> members;  // the group's own member list (not its users by primary gid)
};

std::optional<LocalUser> local_user_named(std::string_view name);
std::optional<LocalUser> local_user_with_uid(uid_t uid);
// Every user NSS lists.
std::vector<LocalUser> local_users();
std::optional<LocalGroup> local_group_named(std::string_view name);
std::optional<LocalGroup> local_group_with_gid(gid_t gid);
// The groups `user` belongs to: its primary group, then the groups that list it.
std::vector<LocalGroup> local_groups_of(const LocalUser &user);

// RIDs of the account domain; nullopt for an id too large to have one.
std::optional<DWORD> user_rid(uid_t uid);
std::optional<DWORD> group_rid(gid_t gid);

// The account of a RID of the account domain: a user for even RIDs from 1000,
// a group for odd ones from 1001.
struct LocalAccount {
    std::optional<LocalUser> user;
    std::optional<LocalGroup> group;
};
LocalAccount local_account_with_rid(DWORD rid);

// The full name in a gecos field: the text before its first comma.
std::string full_name_of(const LocalUser &user);

}  // namespace quarn::win32
