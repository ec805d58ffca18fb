// NetUserGetInfo and NetServerEnum on a member of CORP (tests/machines/member.toml).
#include <gtest/gtest.h>
#include <pwd.h>

#include <cstring>

#include "machine/dos_paths.h"
#include "identity_support.h"
#include "machine/machine.h"
#include "wnet.h"

namespace {

using quarn::test::NetBuffer;
using quarn::test::utf8;

TEST(NetApiBuffer, AllocatesAndFrees) {
    LPVOID buffer = nullptr;
    ASSERT_EQ(NetApiBufferAllocate(64, &buffer), NERR_Success);
    ASSERT_NE(buffer, nullptr);
    std::memset(buffer, 0xAB, 64);
    EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
    ASSERT_EQ(NetApiBufferAllocate(0, &buffer), NERR_Success);
    EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
    EXPECT_EQ(NetApiBufferFree(nullptr), NERR_Success);
    EXPECT_EQ(NetApiBufferAllocate(8, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(NetUserGetInfo, LocalUsersComeFromLinux) {
    const passwd *root = getpwuid(0);
    ASSERT_NE(root, nullptr);
    NetBuffer<USER_INFO_3> info;
    ASSERT_EQ(NetUserGetInfo(nullptr, u"ROOT", 3, info.out()), NERR_Success);
    EXPECT_EQ(utf8(info.p->usri3_name), "root");
    EXPECT_EQ(info.p->usri3_user_id, 1000u);
    EXPECT_EQ(info.p->usri3_primary_group_id, 1001u + 2u * root->pw_gid);
    EXPECT_EQ(info.p->usri3_priv, USER_PRIV_ADMIN);
    std::string gecos = root->pw_gecos ? root->pw_gecos : "";
    EXPECT_EQ(utf8(info.p->usri3_full_name), gecos.substr(0, gecos.find(',')));
    auto home = quarn::win32::unix_to_dos_path(*quarn::win32::Machine::current(), root->pw_dir);
    ASSERT_TRUE(home);
    EXPECT_EQ(utf8(info.p->usri3_home_dir), *home);
    EXPECT_EQ(info.p->usri3_password, nullptr);
    EXPECT_EQ(info.p->usri3_units_per_week, UNITS_PER_WEEK);
    EXPECT_EQ(info.p->usri3_logon_hours[20], 0xFF);
    EXPECT_EQ(utf8(info.p->usri3_comment), "");
}

TEST(NetUserGetInfo, ControllersAnswerForTheirDomainsUsers) {
    struct Case {
        const char16_t *server;
        const char16_t *user;
        NET_API_STATUS status;
        const char *full_name = "";
        const char *home = "";
        DWORD rid = 0;
        DWORD group = 0;
        DWORD privilege = 0;
    } cases[] = {
        {u"\\\\DC1", u"alice", NERR_Success, "Smith, Alice (IT)", "\\\\FILES\\home\\alice", 1105, 513, USER_PRIV_ADMIN},
        {u"dc3", u"BOB", NERR_Success, "Bob Jones", "", 1106, 1200, USER_PRIV_USER},
        {u"SALESDC2", u"carol", NERR_Success, "Carol White", "\\\\SALESDC2\\home\\carol", 1300, 513, USER_PRIV_USER},
        {u"DC1", u"Builders", NERR_UserNotFound},
        {u"DC1", u"carol", NERR_UserNotFound},
        {u"DC1", u"CORP\\alice", NERR_UserNotFound},
        {nullptr, u"alice", NERR_UserNotFound},
        {u"FILES", u"alice", NERR_UserNotFound},
        {u"DC2", u"alice", RPC_S_SERVER_UNAVAILABLE},
        {u"NOBODY", u"alice", ERROR_BAD_NETPATH},
        {u"NT4PDC", u"dave", ERROR_LOGON_FAILURE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(utf8(c.server) + " " + utf8(c.user));
        NetBuffer<USER_INFO_3> info;
        ASSERT_EQ(NetUserGetInfo(c.server, c.user, 3, info.out()), c.status);
        if (c.status != NERR_Success) {
            EXPECT_EQ(info.p, nullptr);
            continue;
        }
        EXPECT_EQ(utf8(info.p->usri3_full_name), c.full_name);
        EXPECT_EQ(utf8(info.p->usri3_home_dir), c.home);
        EXPECT_EQ(info.p->usri3_user_id, c.rid);
        EXPECT_EQ(info.p->usri3_primary_group_id, c.group);
        EXPECT_EQ(info.p->usri3_priv, c.privilege);
    }
}

TEST(NetUserGetInfo, ANullSessionReachesAControllerThatNeedsOne) {
    NETRESOURCEW ipc{RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                     nullptr, const_cast<LPWSTR>(u"\\\\NT4PDC\\IPC$"), nullptr, nullptr};
    ASSERT_EQ(WNetAddConnection2W(&ipc, u"", u"", 0), NO_ERROR);
    {
        NetBuffer<USER_INFO_3> info;
        ASSERT_EQ(NetUserGetInfo(u"NT4PDC", u"dave", 3, info.out()), NERR_Success);
        EXPECT_EQ(utf8(info.p->usri3_full_name), "Dave Old");
    }
    ASSERT_EQ(WNetCancelConnection2W(u"\\\\NT4PDC\\IPC$", CONNECT_UPDATE_PROFILE, TRUE), NO_ERROR);
    NetBuffer<USER_INFO_3> info;
    EXPECT_EQ(NetUserGetInfo(u"NT4PDC", u"dave", 3, info.out()), ERROR_LOGON_FAILURE);
}

TEST(NetUserGetInfo, OnlyLevelThree) {
    NetBuffer<USER_INFO_3> info;
    EXPECT_EQ(NetUserGetInfo(nullptr, u"root", 2, info.out()), ERROR_INVALID_LEVEL);
    EXPECT_EQ(NetUserGetInfo(nullptr, nullptr, 3, info.out()), ERROR_INVALID_PARAMETER);
}

// Every server of one NetServerEnum walk, each call asking for `preferred` bytes.
std::vector<std::string> walk(DWORD type, const char16_t *domain, DWORD preferred, int &calls) {
    std::vector<std::string> names;
    DWORD resume = 0;
    calls = 0;
    NET_API_STATUS status;
    do {
        NetBuffer<SERVER_INFO_100> list;
        DWORD read = quarn::test::kPoisonWord, total = quarn::test::kPoisonWord;
        status = NetServerEnum(nullptr, 100, list.out(), preferred, &read, &total, type, domain, &resume);
        ++calls;
        if (status != NERR_Success && status != ERROR_MORE_DATA) return {"<" + std::to_string(status) + ">"};
        EXPECT_LE(read, total);
        EXPECT_EQ(status == ERROR_MORE_DATA, read < total);
        for (DWORD i = 0; i < read; ++i) {
            EXPECT_EQ(list.p[i].sv100_platform_id, PLATFORM_ID_NT);
            names.push_back(utf8(list.p[i].sv100_name));
        }
    } while (status == ERROR_MORE_DATA && resume != 0 && calls < 20);
    EXPECT_EQ(resume, 0u);
    return names;
}

TEST(NetServerEnum, ListsTheDomainsMachinesByType) {
    using Names = std::vector<std::string>;
    struct Case {
        DWORD type;
        const char16_t *domain;
        Names names;
    } cases[] = {
        {SV_TYPE_DOMAIN_BAKCTRL, nullptr, Names{"DC2", "DC3"}},
        {SV_TYPE_DOMAIN_CTRL, u"corp", Names{"DC1"}},
        {SV_TYPE_DOMAIN_BAKCTRL, u"LEGACY", Names{"NT4BDC"}},
        {SV_TYPE_DOMAIN_BAKCTRL, u"SALES", Names{"SALESDC2"}},
        {SV_TYPE_ALL, nullptr, Names{"DC1", "DC2", "DC3", "FILES", "GONE", "WS01"}},
        {SV_TYPE_ALL, u"HOMEGROUP", Names{"KIOSK"}},
        {SV_TYPE_ALL, u"NOWHERE", Names{"<" + std::to_string(ERROR_NO_BROWSER_SERVERS_FOUND) + ">"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + utf8(c.domain));
        int calls = 0;
        EXPECT_EQ(walk(c.type, c.domain, MAX_PREFERRED_LENGTH, calls), c.names);
        EXPECT_EQ(walk(c.type, c.domain, 1, calls), c.names);  // one server a call
        EXPECT_EQ(calls, static_cast<int>(c.names.size()));
    }
}

TEST(NetServerEnum, ResumesWhereItStopped) {
    NetBuffer<SERVER_INFO_100> first, second;
    DWORD read = 0, total = 0, resume = 0;
    ASSERT_EQ(NetServerEnum(nullptr, 100, first.out(), 1, &read, &total, SV_TYPE_DOMAIN_BAKCTRL, nullptr, &resume),
              ERROR_MORE_DATA);
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(utf8(first.p[0].sv100_name), "DC2");
    ASSERT_EQ(resume, 1u);
    ASSERT_EQ(NetServerEnum(nullptr, 100, second.out(), 1, &read, &total, SV_TYPE_DOMAIN_BAKCTRL, nullptr, &resume),
              NERR_Success);
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(utf8(second.p[0].sv100_name), "DC3");
    EXPECT_EQ(resume, 0u);
    NetBuffer<SERVER_INFO_100> other;
    EXPECT_EQ(NetServerEnum(nullptr, 101, other.out(), 1, &read, &total, SV_TYPE_ALL, nullptr, nullptr),
              ERROR_INVALID_LEVEL);
}

}  // namespace
