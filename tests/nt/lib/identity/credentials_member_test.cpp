// Network credentials of domain users on a member whose groups carry mapping
// comments: names and SIDs from the controller, mapped groups, names that
// are no user, and freeing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "credentials_support.h"
#include "forked_child.h"
#include "nt.h"
#include "ntregy.h"

using quarn::test::credentials_text;
using quarn::test::in_child;

namespace {

constexpr int kMachineMappingEnabled = 55;
const std::string kCorp = "S-1-5-21-1111-2222-3333-";

std::string with_mapping(DWORD on, const char *name) {
    return in_child([=] {
        ntregy_set_param(kMachineMappingEnabled, &on, nullptr);
        return credentials_text(name);
    });
}

TEST(Credentials, ADomainUserWithMappedGroups) {
    EXPECT_EQ(with_mapping(1, "alice"),
              "CORP\\alice " + kCorp + "1105 " + kCorp + "513\n" +  //
                  "CORP\\Domain Users " + kCorp + "513\n" +         //
                  "CORP\\vobadmins " + kCorp + "1200\n" +           // Builders
                  "CORP\\vobadmins " + kCorp + "1200\n" +           // Release
                  "CORP\\Broken " + kCorp + "1203\n" +              //
                  "CORP\\Custom " + kCorp + "1204\n" +              //
                  "CORP\\zendrel " + kCorp + "1205\n" +             //
                  "CORP\\Testers " + kCorp + "1206\n");
    // bob's primary group is Builders, which stands for vobadmins.
    EXPECT_EQ(with_mapping(1, "CORP\\bob"), "CORP\\bob " + kCorp + "1106 " + kCorp + "1200\n" +  //
                                                "CORP\\vobadmins " + kCorp + "1200\n" +          //
                                                "CORP\\Domain Users " + kCorp + "513\n");
    EXPECT_EQ(with_mapping(0, "CORP\\bob"), "CORP\\bob " + kCorp + "1106 " + kCorp + "1201\n" +  //
                                                "CORP\\Builders " + kCorp + "1201\n" +           //
                                                "CORP\\Domain Users " + kCorp + "513\n");
}

TEST(Credentials, AGroupNameOfTheLongestLength) {
    std::string name = std::string(250, 'L') + "-group";
    ASSERT_EQ(name.size(), 256u);
    EXPECT_EQ(with_mapping(1, "dora"), "CORP\\dora " + kCorp + "1107 " + kCorp + "1207\n" +  //
                                           "CORP\\" + name + " " + kCorp + "1207\n");
}

TEST(Credentials, NamesThatAreNoUser) {
    for (const char *name : {"Builders", "CORP\\Domain Users", "Everyone", "SYSTEM", "nosuchuser", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(credentials_text(name), "<none>");
    }
    nt_credentials *record = reinterpret_cast<nt_credentials *>(0xDEADBEEF);
    EXPECT_EQ(nt_user_get_credentials(nullptr, &record), -1);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(nt_user_get_credentials("alice", nullptr), -1);
}

TEST(Credentials, FreeingNullAndAnEmptyRecord) {
    EXPECT_EQ(nt_user_free_credentials(nullptr), 0);
    auto *empty = static_cast<nt_credentials *>(std::calloc(1, sizeof(nt_credentials)));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(nt_user_free_credentials(empty), 0);  // ASan reports a leak or a bad free
}

}  // namespace
