// A filtered token: Administrators is among the groups for deny only.  The
// user is then neither an administrator nor privileged, whatever
// AdminsArePrivileged says, while credentials naming Administrators are.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "domain_test_support.h"
#include "forked_child.h"
#include "nt.h"
#include "ntregy.h"
#include "phash.h"

using quarn::test::in_child;

namespace {

// Sets the machine's AdminsArePrivileged_<hash> switch.
void admins_are_privileged(DWORD on) {
    char computer[16];
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    char name[64];
    std::snprintf(name, sizeof name, "AdminsArePrivileged_%d", static_cast<int>(phash_str_hash_fn(computer)));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ntregy_get_common_key() + 1, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&on), sizeof on), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(FilteredToken, AdministratorsForDenyOnlyConferNothing) {
    for (DWORD on : {0u, 1u}) {
        SCOPED_TRACE(on);
        EXPECT_EQ(in_child([on] {
                      admins_are_privileged(on);
                      quarn::test::Sid admins("S-1-5-32-544");
                      return std::to_string(ntregy_admins_are_privileged()) + std::to_string(nt_is_privileged()) +
                             std::to_string(nt_is_administrators()) +
                             std::to_string(nt_is_privileged_sid_creds(nullptr, admins.p, 0, nullptr));
                  }),
                  std::to_string(on) + "00" + std::to_string(on));
    }
}

}  // namespace
