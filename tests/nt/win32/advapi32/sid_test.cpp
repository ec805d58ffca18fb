// SIDs: building, comparing and the text form both ways.
#include <gtest/gtest.h>

#include <string>

#include "win32.h"

namespace {

std::string text_of(PSID sid) {
    char *text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "<" + std::to_string(GetLastError()) + ">";
    std::string out = text;
    LocalFree(text);
    return out;
}

std::string round_trip(const char *text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text, &sid)) return "<" + std::to_string(GetLastError()) + ">";
    std::string out = text_of(sid);
    LocalFree(sid);
    return out;
}

TEST(SidText, RoundTrips) {
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"S-1-5-18", "S-1-5-18"},
        {"S-1-5-21-1-2-3-1000", "S-1-5-21-1-2-3-1000"},
        {"s-1-0x5-32-544", "S-1-5-32-544"},
        {"S-1-0x123456789ABC-7", "S-1-0x123456789ABC-7"},
        {"S-1-4294967295", "S-1-4294967295"},
        {"S-1-1-0", "S-1-1-0"},
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"},
        {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", "<1337>"},
        {"S-2-5-18", "<1337>"},
        {"S-1-5-4294967296", "<1337>"},
        {"S-1-5-", "<1337>"},
        {"S-1-5-18x", "<1337>"},
        {"", "<1337>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(round_trip(c.in), c.out);
    }
}

TEST(Sids, LengthsCopiesAndEquality) {
    SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
    PSID admins = nullptr, users = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &admins));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 545, 0, 0, 0, 0, 0, 0, &users));
    EXPECT_EQ(GetLengthSid(admins), 16u);
    EXPECT_EQ(GetSidLengthRequired(2), 16u);
    EXPECT_FALSE(EqualSid(admins, users));
    EXPECT_TRUE(EqualPrefixSid(admins, users));
    EXPECT_EQ(*GetSidSubAuthorityCount(admins), 2);
    EXPECT_EQ(*GetSidSubAuthority(admins, 1), 544u);
    alignas(4) BYTE copy[16 + 4] = {};
    copy[16] = 0xAB;
    EXPECT_FALSE(CopySid(15, copy, admins));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(CopySid(16, copy, admins));
    EXPECT_EQ(copy[16], 0xAB);
    EXPECT_TRUE(EqualSid(copy, admins));
    EXPECT_EQ(text_of(copy), "S-1-5-32-544");
    BYTE bad[8] = {2, 0};
    EXPECT_FALSE(IsValidSid(bad));
    EXPECT_EQ(text_of(bad), "<1337>");
    FreeSid(admins);
    FreeSid(users);
}

}  // namespace
