// SID text both ways, account-type names, the structural predicates and the
// two SID-building helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernel32/debug_channel.h"
#include "nt.h"
#include "ntx.h"
#include "win32.h"

namespace {

constexpr char kPoison = static_cast<char>(0xCC);

std::string text_of(PSID sid) {
    char buffer[200];
    return nt_sid_to_str(sid, buffer, sizeof buffer) ? buffer : "<none>";
}

// The text of what nt_str_to_sid makes of `text`, or "<-1>" when it refuses.
std::string parsed(const char *text) {
    PSID sid = reinterpret_cast<PSID>(0x1234);
    if (nt_str_to_sid(text, &sid) != 0) {
        EXPECT_EQ(sid, reinterpret_cast<PSID>(0x1234)) << "a refused text changed the output";
        return "<-1>";
    }
    std::string out = text_of(sid);
    nt_free_sid(sid);
    return out;
}

TEST(SidParse, AutomaticBasesLimitsAndSeparators) {
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"S-1-5-18", "S-1-5-18"},
        {"S-1-5", "S-1-5"},
        {"S-1-5-021", "S-1-5-17"},
        {"S-1-5-0x15", "S-1-5-21"},
        {"S-0x1-0x5-0X20-01040", "S-1-5-32-544"},
        {"S-01-5-18", "S-1-5-18"},
        {"S-1-255-1", "S-1-255-1"},
        {"x-1-5-18", "S-1-5-18"},  // the leading field is not examined
        {"S--1---5--18-", "S-1-5-18"},  // empty fields are skipped
        {"S-1-5-1-2-3-4-5-6-7-8", "S-1-5-1-2-3-4-5-6-7-8"},
        {"S-1-5-4294967295", "S-1-5-4294967295"},
        {"S-1-5-0xFFFFFFFF", "S-1-5-4294967295"},
        {"S-1-5-1-2-3-4-5-6-7-8-9", "<-1>"},
        {"S-2-5-18", "<-1>"},
        {"S-0-5-18", "<-1>"},
        {"S-1-256-1", "<-1>"},
        {"S-1-0x100-1", "<-1>"},
        {"S-1-5-4294967296", "<-1>"},
        {"S-1-5-99999999999999999999999", "<-1>"},
        {"S-1-5-18x", "<-1>"},
        {"S-1-5-08", "<-1>"},  // 8 is no octal digit
        {"S-1-5-+18", "<-1>"},
        {"S-1-5- 18", "<-1>"},
        {"S-1", "<-1>"},
        {"S", "<-1>"},
        {"", "<-1>"},
        {"---", "<-1>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(parsed(c.in), c.out);
    }
    PSID sid = nullptr;
    EXPECT_EQ(nt_str_to_sid(nullptr, &sid), -1);
    EXPECT_EQ(nt_str_to_sid("S-1-5-18", nullptr), -1);
}

TEST(SidParse, ReadsOnlyTheFirst99Characters) {
    // 9 + 90 characters: the last number is octal 012; a 100th digit is not read.
    std::string first99 = "S-1-5-21-" + std::string(88, '0') + "12";
    ASSERT_EQ(first99.size(), 99u);
    EXPECT_EQ(parsed(first99.c_str()), "S-1-5-21-10");
    EXPECT_EQ(parsed((first99 + "3").c_str()), "S-1-5-21-10");
    EXPECT_EQ(parsed((first99 + "3-4-5").c_str()), "S-1-5-21-10");
    std::string long_text = "S-1-5-18" + std::string(112, '-');  // 120 characters
    EXPECT_EQ(parsed(long_text.c_str()), "S-1-5-18");
}

TEST(SidToText, CutsToTheBufferAndAlwaysTerminates) {
    PSID sid = nullptr;
    ASSERT_EQ(nt_str_to_sid("S-1-5-21-1111111111-2222222222-3333333333-1105", &sid), 0);
    const std::string whole = "S-1-5-21-1111111111-2222222222-3333333333-1105";
    for (size_t len : {1u, 2u, 9u, 46u, 47u, 48u, 100u}) {
        SCOPED_TRACE(len);
        std::vector<char> buffer(len + 8, kPoison);
        ASSERT_EQ(nt_sid_to_str(sid, buffer.data(), len), buffer.data());
        EXPECT_EQ(std::string(buffer.data()), whole.substr(0, len - 1));
        for (size_t i = len; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kPoison) << "wrote past the buffer at " << i;
    }
    char twin[100];
    EXPECT_EQ(ntx_sid_to_str(sid, twin, sizeof twin), twin);
    EXPECT_EQ(std::string(twin), whole);
    FreeSid(sid);
}

TEST(SidToText, WritesAuthoritiesAboveTwoTo32InHexadecimal) {
    SID_IDENTIFIER_AUTHORITY big = {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}};
    PSID sid = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&big, 1, 7, 0, 0, 0, 0, 0, 0, 0, &sid));
    EXPECT_EQ(text_of(sid), "S-1-0x123456789ABC-7");
    FreeSid(sid);
}

TEST(SidToText, AnInvalidSidLeavesTheBufferAndTraces) {
    std::vector<std::string> lines;
    quarn::win32::set_debug_listener([&](std::string_view line) { lines.emplace_back(line); });
    BYTE bad[12] = {2, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // revision 2
    char buffer[32];
    std::memset(buffer, kPoison, sizeof buffer);
    EXPECT_EQ(nt_sid_to_str(bad, buffer, sizeof buffer), nullptr);
    quarn::win32::set_debug_listener({});
    for (char c : buffer) ASSERT_EQ(c, kPoison);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("NTX_TRACE: Call to ConvertSidToStringSid() at nt\\lib\\ntutilx\\"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("failed with status=0x539"), std::string::npos) << lines[0];
    EXPECT_EQ(nt_sid_to_str(bad, nullptr, 10), nullptr);
}

TEST(SidRecords, AnInvalidSidIsTracedByTheCopyIntoTheRecord) {
    BYTE bad[12] = {2, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // revision 2
    struct Row {
        const char *what;
        bool (*lookup)(PSID);
    } rows[] = {{"passwd", [](PSID sid) { return nt_getpwsid_sid(sid) != nullptr; }},
                {"group", [](PSID sid) { return nt_getgrsid_sid(sid) != nullptr; }}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::string> lines;
        quarn::win32::set_debug_listener([&](std::string_view line) { lines.emplace_back(line); });
        EXPECT_FALSE(row.lookup(bad));
        quarn::win32::set_debug_listener({});
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("Call to CopySid() at "), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("failed with status=0x539"), std::string::npos) << lines[0];
    }
}

TEST(SidNameUse, NamesCodesOneToTen) {
    const char *names[] = {nullptr,   "User",    "Group",   "Domain",   "Alias",           "Well known group",
                           "Deleted account", "Invalid", "Unknown", "Computer", "Integrity level", nullptr};
    for (int code = 0; code <= 11; ++code) {
        SCOPED_TRACE(code);
        const char *got = nt_sid_name_use_to_str(code);
        if (!names[code]) EXPECT_EQ(got, nullptr);
        else EXPECT_STREQ(got, names[code]);
    }
    EXPECT_EQ(nt_sid_name_use_to_str(-1), nullptr);
}

PSID sid_of(const char *text) {
    PSID sid = nullptr;
    EXPECT_EQ(nt_str_to_sid(text, &sid), 0) << text;
    return sid;
}

TEST(SidShapes, IntegrityLabelsAndLogonSessions) {
    struct Case {
        const char *sid;
        int label;
        int logon;
    } cases[] = {
        {"S-1-16-0", 1, 0},        {"S-1-16-12288", 1, 0},  {"S-1-16", 0, 0},     {"S-1-16-1-2", 0, 0},
        {"S-1-5-5-0-70000", 0, 1}, {"S-1-5-5-1-2-3", 0, 0}, {"S-1-5-5-1", 0, 0}, {"S-1-5-6-0-1", 0, 0},
        {"S-1-1-5-0-1", 0, 0},     {"S-1-5-18", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        PSID sid = sid_of(c.sid);
        EXPECT_EQ(nt_sid_is_integrity_level(sid) != 0, c.label != 0);
        EXPECT_EQ(nt_is_sid_logon_id(sid), c.logon);
        FreeSid(sid);
    }
    BYTE bad[12] = {1, 16, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0};  // more sub-authorities than a SID holds
    EXPECT_EQ(nt_is_sid_logon_id(bad), 0);
    EXPECT_EQ(nt_sid_is_integrity_level(bad), 0);
    EXPECT_EQ(nt_is_sid_logon_id(nullptr), 0);
    EXPECT_EQ(nt_sid_is_integrity_level(nullptr), 0);
}

TEST(SidShapes, GroupsAsTheAccountDatabaseTypesThem) {
    struct Case {
        const char *sid;
        int group;
    } cases[] = {
        {"S-1-1-0", 1},           // Everyone, a well-known group
        {"S-1-5-32-544", 1},      // BUILTIN\Administrators, an alias
        {"S-1-5-18", 1},          // NT AUTHORITY\SYSTEM, a well-known group
        {"S-1-5-32", 0},          // the BUILTIN domain itself
        {"S-1-5-21-9-9-9-1000", 0},  // no such account
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        PSID sid = sid_of(c.sid);
        EXPECT_EQ(nt_sid_is_group(sid), c.group);
        FreeSid(sid);
    }
    EXPECT_EQ(nt_sid_is_group(nullptr), 0);
}

TEST(SidBuilding, AppendAndDomainPart) {
    PSID domain = sid_of("S-1-5-21-1-2-3");
    PSID user = nt_sid_append_rid(domain, 1105);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(text_of(user), "S-1-5-21-1-2-3-1105");
    EXPECT_EQ(text_of(domain), "S-1-5-21-1-2-3") << "the source changed";
    PSID back = reinterpret_cast<PSID>(0x1234);
    ASSERT_EQ(ntx_get_sid_domain(user, &back), 0);
    EXPECT_EQ(text_of(back), "S-1-5-21-1-2-3");
    EXPECT_EQ(text_of(user), "S-1-5-21-1-2-3-1105") << "the source changed";
    std::free(back);
    std::free(user);

    PSID fifteen = sid_of("S-1-5-1-2-3-4-5-6-7-8");
    for (DWORD rid = 9; rid <= 15; ++rid) {
        PSID longer = nt_sid_append_rid(fifteen, rid);
        ASSERT_NE(longer, nullptr);
        FreeSid(fifteen);
        fifteen = longer;
    }
    EXPECT_EQ(GetLengthSid(fifteen), 68u);
    EXPECT_EQ(nt_sid_append_rid(fifteen, 16), nullptr) << "a 16th sub-authority makes no SID";
    std::free(fifteen);
    EXPECT_EQ(nt_sid_append_rid(nullptr, 1), nullptr);

    struct Case {
        const char *sid;
        int result;
    } domains[] = {
        {"S-1-5-32-544", 0}, {"S-1-5-21-1", 0},  {"S-1-5-21", -1}, {"S-1-5-18", -1},
        {"S-1-1-0", -1},     {"S-1-3-21-1", -1}, {"S-1-5-20-1", -1},
    };
    for (const auto &c : domains) {
        SCOPED_TRACE(c.sid);
        PSID sid = sid_of(c.sid), out = reinterpret_cast<PSID>(0x1234);
        EXPECT_EQ(ntx_get_sid_domain(sid, &out), c.result);
        if (c.result == 0) std::free(out);
        else EXPECT_EQ(out, reinterpret_cast<PSID>(0x1234));
        FreeSid(sid);
    }
    FreeSid(domain);
}

}  // namespace
