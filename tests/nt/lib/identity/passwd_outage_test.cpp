// Records when no controller answers (tests/machines/outage.toml): the
// account database still knows FAR\gail, but neither controller can give her
// user information, so her record has no gecos, directory or primary group,
// and the primary controller's name cannot be had.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel32/debug_channel.h"
#include "domain_test_support.h"
#include "nt.h"

namespace {

using quarn::test::sid_text;

class Outage : public testing::Test {
protected:
    void SetUp() override {
        quarn::win32::set_debug_listener([this](std::string_view line) { traces.emplace_back(line); });
    }
    void TearDown() override { quarn::win32::set_debug_listener({}); }
    bool traced(const std::string &call) const {
        for (const auto &line : traces)
            if (line.find("Call to " + call + "()") != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> traces;
};

TEST_F(Outage, TheRecordComesBackWithoutUserInformation) {
    for (const char *name : {"gail", "FAR\\gail"}) {
        SCOPED_TRACE(name);
        nt_passwd *pw = nt_getpwnam_sid(name);
        ASSERT_NE(pw, nullptr);
        EXPECT_STREQ(pw->pw_name, "FAR\\gail");
        EXPECT_EQ(sid_text(pw->pw_sid), "S-1-5-21-7-8-9-1200");
        EXPECT_STREQ(pw->pw_gecos, "");
        EXPECT_STREQ(pw->pw_dir, "");
        EXPECT_EQ(pw->pw_primary_group, nullptr);
        EXPECT_EQ(nt_sid_to_uid(pw->pw_sid), 0x1004B0u);
    }
    EXPECT_TRUE(traced("DsGetDcNameW")) << "the controller look-up failed";
}

TEST_F(Outage, ThePrimaryControllersNameCannotBeHad) {
    char name[16];
    std::memset(name, 0xCC, sizeof name);
    EXPECT_EQ(nt_get_pdc_name(name, sizeof name), 0);
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(traced("NetGetDCName"));
}

}  // namespace
