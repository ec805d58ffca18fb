// A user in 40 domain groups: a credentials record larger than the first
// 1,024-byte answer, a ZENDREL_GROUPS list of 40 names that keeps 32, and a
// group list that keeps every group.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "credentials_support.h"
#include "domain_test_support.h"
#include "forked_child.h"
#include "nt.h"

using quarn::test::in_child;

namespace {

std::string group_sid(int n) { return "S-1-5-21-4444-5555-6666-" + std::to_string(2000 + n); }

TEST(ManyGroups, TheCredentialsHoldThemAll) {
    std::string expected = "WIDE\\carol S-1-5-21-4444-5555-6666-1100 S-1-5-21-4444-5555-6666-513\n"
                           "WIDE\\Domain Users S-1-5-21-4444-5555-6666-513\n";
    for (int i = 1; i <= 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "project-group-%02d", i);
        expected += std::string("WIDE\\") + name + " " + group_sid(i) + "\n";
    }
    EXPECT_EQ(quarn::test::credentials_text("carol"), expected);
}

TEST(ManyGroups, FortyPrioritizedNamesKeepThirtyTwo) {
    EXPECT_EQ(in_child([] {
                  std::string names;
                  for (int i = 40; i >= 1; --i) names += "project-group-" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ";";
                  setenv("ZENDREL_GROUPS", names.c_str(), 1);
                  nt_prioritized_groups *p = nt_get_prioritized_groups_list();
                  std::string out = std::to_string(p->count) + " " + quarn::test::sid_text(p->sids[0]) + " " +
                                    quarn::test::sid_text(p->sids[31]) + "\n";
                  PSID list[64];
                  int count = nt_getgroups_sid(64, list);
                  out += std::to_string(count) + " " + quarn::test::sid_text(list[0]) + " " +
                         quarn::test::sid_text(list[31]);
                  return out;
              }),
              "32 " + group_sid(40) + " " + group_sid(9) + "\n" +
                  // Everyone, 40 groups, Users, Interactive, Authenticated Users, Local, Domain Users.
                  "46 " + group_sid(40) + " " + group_sid(9));
}

}  // namespace
