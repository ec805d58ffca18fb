// Domains on the workgroup profile (tests/machines/workgroup.toml): no
// primary domain, so no trusted domains, no controllers and no directory;
// only the builtin and account domains classify.
#include <gtest/gtest.h>

#include <string>

#include "domain_test_support.h"
#include "identity/domains.h"
#include "machine/machine.h"
#include "nt.h"

namespace {

using quarn::test::account_domain_text;
using quarn::test::sid_text;

TEST(WorkgroupDomains, NoDomainNoTrustsNoControllers) {
    EXPECT_EQ(ntx_is_domain_member(), 0);
    EXPECT_EQ(ntx_primary_domain_sid(), nullptr);
    EXPECT_EQ(ntx_get_tpo_db_from_lsa(), nullptr);
    LPWSTR controller = reinterpret_cast<LPWSTR>(0x1234);
    EXPECT_EQ(ntx_get_any_dc_w(nullptr, &controller), NERR_NotLocalDomain);
    EXPECT_EQ(controller, reinterpret_cast<LPWSTR>(0x1234));
    char *narrow = nullptr;
    EXPECT_EQ(nt_get_any_dc(nullptr, &narrow), 0);
    EXPECT_EQ(nt_is_in_active_directory(), 0);
    int reached = 7;
    EXPECT_EQ(ntx_in_my_domain("NAS", &reached), 0);
    EXPECT_EQ(reached, 0);
    // The LSA names the workgroup as the primary domain, without a SID.
    char name[32];
    EXPECT_EQ(ntx_what_domain(name, sizeof name), 1);
    EXPECT_STREQ(name, "HOMEGROUP");
}

TEST(WorkgroupDomains, OnlyBuiltinAndAccountDomainsClassify) {
    quarn::test::expect_classes({
        {"S-1-5-32", NTX_DOMAIN_BUILTIN, 0x20000},
        {account_domain_text(), NTX_DOMAIN_ACCOUNT, 0x30000},
        {"S-1-5-21-1111111111-2222222222-3333333333", NTX_DOMAIN_NONE, quarn::test::kPoisonBase},
    });
    PSID user = nullptr;
    ASSERT_EQ(nt_str_to_sid((account_domain_text() + "-1000").c_str(), &user), 0);
    EXPECT_EQ(nt_is_local_sid(user), 1);
    EXPECT_EQ(nt_is_domain_sid(user), 0);
    FreeSid(user);
}

TEST(WorkgroupDomains, DomainSidsThatDoNotExistAreNull) {
    EXPECT_EQ(nt_get_enum_sid(NT_ENUM_SID_DOMAIN_ADMINS), nullptr);
    EXPECT_EQ(nt_get_enum_sid(NT_ENUM_SID_PRIMARY_DOMAIN), nullptr);
    EXPECT_EQ(sid_text(nt_get_enum_sid(NT_ENUM_SID_LOCAL_ADMINISTRATOR)), account_domain_text() + "-500");
}

}  // namespace
