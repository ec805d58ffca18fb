// Locating controllers from a member of CORP (tests/machines/member.toml):
// DsGetDcNameW and its flags, NetGetDCName and NetGetAnyDCName.
#include <gtest/gtest.h>

#include "identity_support.h"
#include "rpc.h"

namespace {

using quarn::test::NetBuffer;
using quarn::test::utf8;

struct Found {
    DWORD error = 0;
    std::string controller, address, domain, forest, site;
    ULONG flags = 0;
    bool nil_guid = true;
    uint32_t guid_start = 0;
};

Found locate(const char16_t *computer, const char16_t *domain, ULONG flags) {
    PDOMAIN_CONTROLLER_INFOW info = reinterpret_cast<PDOMAIN_CONTROLLER_INFOW>(0x1);
    Found out;
    out.error = DsGetDcNameW(computer, domain, nullptr, nullptr, flags, &info);
    if (out.error) return out;
    out.controller = utf8(info->DomainControllerName);
    out.address = utf8(info->DomainControllerAddress);
    EXPECT_EQ(info->DomainControllerAddressType, DS_NETBIOS_ADDRESS);
    out.domain = utf8(info->DomainName);
    out.forest = utf8(info->DnsForestName);
    out.site = utf8(info->DcSiteName);
    out.flags = info->Flags;
    RPC_STATUS status = -1;
    out.nil_guid = UuidIsNil(&info->DomainGuid, &status);
    EXPECT_EQ(status, RPC_S_OK);
    out.guid_start = info->DomainGuid.Data1;
    NetApiBufferFree(info);
    return out;
}

TEST(DsGetDcName, FlagsChooseNamesAndControllers) {
    constexpr ULONG kFlat = DS_IS_FLAT_NAME | DS_RETURN_FLAT_NAME;
    struct Case {
        const char *label;
        const char16_t *domain;
        ULONG flags;
        DWORD error;
        const char *controller = "";
        const char *domain_name = "";
        bool pdc = false;
        bool ds = false;
    } cases[] = {
        {"own domain, flat", nullptr, kFlat, 0, "\\\\DC1", "CORP", true, true},
        {"own domain, flat, directory", nullptr, kFlat | DS_DIRECTORY_SERVICE_REQUIRED, 0, "\\\\DC1", "CORP", true, true},
        {"named flat, dns returned", u"corp", 0, 0, "\\\\dc1.corp.example.com", "corp.example.com", true, true},
        {"dns name as dns", u"corp.example.com", DS_IS_DNS_NAME | DS_RETURN_FLAT_NAME, 0, "\\\\DC1", "CORP", true, true},
        {"dns name as flat", u"corp.example.com", DS_IS_FLAT_NAME, ERROR_NO_SUCH_DOMAIN},
        {"flat name as dns", u"CORP", DS_IS_DNS_NAME, ERROR_NO_SUCH_DOMAIN},
        {"trusted, first controller down", u"SALES", kFlat, 0, "\\\\SALESDC2", "SALES", false, true},
        {"trusted, primary required but down", u"SALES", kFlat | DS_PDC_REQUIRED, ERROR_NO_SUCH_DOMAIN},
        {"nt4 domain", u"LEGACY", kFlat, 0, "\\\\NT4PDC", "LEGACY", true, false},
        {"nt4 domain, dns asked", u"LEGACY", DS_RETURN_DNS_NAME, ERROR_NO_SUCH_DOMAIN},
        {"nt4 domain, directory required", u"LEGACY", kFlat | DS_DIRECTORY_SERVICE_REQUIRED, ERROR_NO_SUCH_DOMAIN},
        {"nt4 domain, kdc required", u"LEGACY", DS_KDC_REQUIRED, ERROR_NO_SUCH_DOMAIN},
        {"unknown domain", u"NOWHERE", kFlat, ERROR_NO_SUCH_DOMAIN},
        {"both name forms", nullptr, DS_IS_FLAT_NAME | DS_IS_DNS_NAME, ERROR_INVALID_FLAGS},
        {"both return forms", nullptr, DS_RETURN_FLAT_NAME | DS_RETURN_DNS_NAME, ERROR_INVALID_FLAGS},
        {"unknown flag", nullptr, 0x02000000, ERROR_INVALID_FLAGS},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        Found found = locate(nullptr, c.domain, c.flags);
        ASSERT_EQ(found.error, c.error);
        if (c.error) continue;
        EXPECT_EQ(found.controller, c.controller);
        EXPECT_EQ(found.domain, c.domain_name);
        EXPECT_EQ((found.flags & DS_PDC_FLAG) != 0, c.pdc);
        EXPECT_EQ((found.flags & DS_DS_FLAG) != 0, c.ds);
        EXPECT_EQ(found.nil_guid, !c.ds);  // the directory domains of the profile have GUIDs
        EXPECT_EQ(found.site, c.ds ? "Default-First-Site-Name" : "<null>");
    }
}

TEST(DsGetDcName, TheAnswerDescribesTheDomain) {
    Found found = locate(nullptr, nullptr, 0);
    ASSERT_EQ(found.error, 0u);
    EXPECT_EQ(found.address, "\\\\DC1");
    EXPECT_EQ(found.forest, "corp.example.com");
    EXPECT_EQ(found.guid_start, 0x5c9d4c8eu);
    EXPECT_TRUE(found.flags & DS_DNS_CONTROLLER_FLAG);
    EXPECT_TRUE(found.flags & DS_DNS_DOMAIN_FLAG);
    EXPECT_TRUE(found.flags & DS_WRITABLE_FLAG);
    Found flat = locate(nullptr, nullptr, DS_RETURN_FLAT_NAME);
    EXPECT_FALSE(flat.flags & DS_DNS_DOMAIN_FLAG);
}

TEST(DsGetDcName, AskingAnotherMachine) {
    EXPECT_EQ(locate(u"\\\\DC1", u"LEGACY", 0).controller, "\\\\NT4PDC");
    EXPECT_EQ(locate(u"SALESDC2", nullptr, DS_RETURN_FLAT_NAME).controller, "\\\\SALESDC2");
    EXPECT_EQ(locate(u"SALESDC2", u"CORP", 0).error, ERROR_NO_SUCH_DOMAIN);  // SALES does not trust CORP here
    EXPECT_EQ(locate(u"KIOSK", nullptr, 0).error, ERROR_NO_SUCH_DOMAIN);     // a workgroup machine
    EXPECT_EQ(locate(u"NOBODY", nullptr, 0).error, RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(locate(u"DC2", nullptr, 0).error, RPC_S_SERVER_UNAVAILABLE);
    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    EXPECT_EQ(DsGetDcNameW(nullptr, nullptr, nullptr, nullptr, 0, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(info, nullptr);
}

std::string dc_name(NET_API_STATUS (*call)(LPCWSTR, LPCWSTR, LPBYTE *), const char16_t *server,
                    const char16_t *domain) {
    NetBuffer<WCHAR> name;
    NET_API_STATUS status = call(server, domain, name.out());
    return status ? "<" + std::to_string(status) + ">" : utf8(name.p);
}

TEST(NetGetDCName, ThePrimaryControllerOrNone) {
    auto not_found = "<" + std::to_string(NERR_DCNotFound) + ">";
    EXPECT_EQ(dc_name(NetGetDCName, nullptr, nullptr), "\\\\DC1");
    EXPECT_EQ(dc_name(NetGetDCName, nullptr, u"legacy"), "\\\\NT4PDC");
    EXPECT_EQ(dc_name(NetGetDCName, nullptr, u"SALES"), not_found);  // its primary is down
    EXPECT_EQ(dc_name(NetGetDCName, nullptr, u"NOWHERE"), not_found);
    EXPECT_EQ(dc_name(NetGetDCName, u"NOBODY", nullptr), "<" + std::to_string(ERROR_BAD_NETPATH) + ">");
}

TEST(NetGetAnyDCName, AnyControllerThatAnswers) {
    EXPECT_EQ(dc_name(NetGetAnyDCName, nullptr, nullptr), "\\\\DC1");
    EXPECT_EQ(dc_name(NetGetAnyDCName, nullptr, u"SALES"), "\\\\SALESDC2");
    EXPECT_EQ(dc_name(NetGetAnyDCName, u"\\\\DC3", u"LEGACY"), "\\\\NT4PDC");
    EXPECT_EQ(dc_name(NetGetAnyDCName, u"SALESDC2", u"CORP"), "<" + std::to_string(ERROR_NO_SUCH_DOMAIN) + ">");
    EXPECT_EQ(dc_name(NetGetAnyDCName, nullptr, u"NOWHERE"), "<" + std::to_string(ERROR_NO_SUCH_DOMAIN) + ">");
}

}  // namespace
