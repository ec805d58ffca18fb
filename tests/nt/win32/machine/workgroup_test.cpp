// A machine in the workgroup HOMEGROUP (tests/machines/workgroup.toml): no
// domain, so no controllers, no trusts and a primary domain without a SID.
#include <gtest/gtest.h>
#include <pwd.h>

#include <cstring>

#include "identity_support.h"
#include "machine/machine.h"
#include "machine/dos_paths.h"
#include "shell.h"

namespace {

using quarn::test::LsaBuffer;
using quarn::test::NetBuffer;
using quarn::test::Policy;
using quarn::test::utf8;

TEST(Workgroup, ThePrimaryDomainIsTheWorkgroupWithoutASid) {
    Policy policy(nullptr, READ_CONTROL | POLICY_VIEW_LOCAL_INFORMATION);
    ASSERT_EQ(policy.status(), STATUS_SUCCESS);
    LsaBuffer<POLICY_PRIMARY_DOMAIN_INFO> primary;
    ASSERT_EQ(LsaQueryInformationPolicy(policy.get(), PolicyPrimaryDomainInformation, primary.out()), STATUS_SUCCESS);
    EXPECT_EQ(utf8(primary.p->Name.Buffer), "HOMEGROUP");
    EXPECT_EQ(primary.p->Sid, nullptr);
    LsaBuffer<POLICY_ACCOUNT_DOMAIN_INFO> own;
    ASSERT_EQ(LsaQueryInformationPolicy(policy.get(), PolicyAccountDomainInformation, own.out()), STATUS_SUCCESS);
    EXPECT_EQ(utf8(own.p->DomainName.Buffer), "STANDALONE");
    EXPECT_EQ(quarn::test::text_of(own.p->DomainSid),
              quarn::win32::Machine::current()->directory().account_domain_sid().text());
    LSA_ENUMERATION_HANDLE context = 0;
    LsaBuffer<LSA_TRUST_INFORMATION> trusts;
    ULONG count = 7;
    EXPECT_EQ(LsaEnumerateTrustedDomains(policy.get(), &context, trusts.out(), 32000, &count), STATUS_NO_MORE_ENTRIES);
    EXPECT_EQ(count, 0u);
}

TEST(Workgroup, NoControllerCanBeFound) {
    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    EXPECT_EQ(DsGetDcNameW(nullptr, nullptr, nullptr, nullptr, DS_IS_FLAT_NAME | DS_RETURN_FLAT_NAME, &info),
              ERROR_NO_SUCH_DOMAIN);
    EXPECT_EQ(DsGetDcNameW(nullptr, u"HOMEGROUP", nullptr, nullptr, DS_DIRECTORY_SERVICE_REQUIRED, &info),
              ERROR_NO_SUCH_DOMAIN);
    EXPECT_EQ(info, nullptr);
    NetBuffer<WCHAR> name;
    EXPECT_EQ(NetGetDCName(nullptr, nullptr, name.out()), NERR_DCNotFound);
    EXPECT_EQ(NetGetAnyDCName(nullptr, nullptr, name.out()), ERROR_NO_SUCH_DOMAIN);
    EXPECT_EQ(name.p, nullptr);
}

TEST(Workgroup, TheBrowseListHoldsTheWorkgroupsMachines) {
    NetBuffer<SERVER_INFO_100> list;
    DWORD read = 0, total = 0;
    ASSERT_EQ(NetServerEnum(nullptr, 100, list.out(), MAX_PREFERRED_LENGTH, &read, &total, SV_TYPE_ALL, nullptr, nullptr),
              NERR_Success);
    ASSERT_EQ(read, 3u);
    EXPECT_EQ(utf8(list.p[0].sv100_name), "NAS");
    EXPECT_EQ(utf8(list.p[1].sv100_name), "PRINTER");
    EXPECT_EQ(utf8(list.p[2].sv100_name), "STANDALONE");
    NetBuffer<SERVER_INFO_100> controllers;
    ASSERT_EQ(NetServerEnum(nullptr, 100, controllers.out(), MAX_PREFERRED_LENGTH, &read, &total,
                            SV_TYPE_DOMAIN_BAKCTRL, nullptr, nullptr),
              NERR_Success);
    EXPECT_EQ(read, 0u);
}

TEST(Workgroup, TheWorkgroupIsNoAccountDomain) {
    EXPECT_EQ(quarn::test::lookup_name(nullptr, "HOMEGROUP").error, ERROR_NONE_MAPPED);
    EXPECT_EQ(quarn::test::lookup_name(nullptr, "STANDALONE").use, SidTypeDomain);
    EXPECT_EQ(quarn::test::lookup_name("NAS", "root").error, ERROR_NONE_MAPPED);  // NAS's own accounts are not known
    EXPECT_EQ(quarn::test::lookup_name("PRINTER", "root").error, RPC_S_SERVER_UNAVAILABLE);
}

TEST(Workgroup, LocalSystemsProfileIsRootsHome) {
    ASSERT_EQ(geteuid(), 0u) << "the suites run as root, whose token is LocalSystem";
    const passwd *root = getpwuid(0);
    auto expected = quarn::win32::unix_to_dos_path(*quarn::win32::Machine::current(), root->pw_dir);
    char path[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE | CSIDL_FLAG_CREATE, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::string(path), *expected);
}

}  // namespace
