// Group lists on a domain member whose groups carry mapping comments: the
// domain group mapping and its settings, the environment's primary group and
// order, the thread's group list and the identity flush, setting a token's
// primary group.  Settings that a process reads once are tried in forked
// children.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "advapi32/token_object.h"
#include "domain_test_support.h"
#include "forked_child.h"
#include "identity/group_lists.h"
#include "nt.h"
#include "ntregy.h"

using quarn::test::in_child;
using quarn::test::Sid;
using quarn::test::sid_text;

namespace {

constexpr int kMachineMappingEnabled = 55, kMachineMappingKeyword = 56, kUserMappingEnabled = 36;
const std::string kCorp = "S-1-5-21-1111-2222-3333-";
const std::string kVobadmins = kCorp + "1200", kBuilders = kCorp + "1201", kRelease = kCorp + "1202",
                  kBroken = kCorp + "1203", kCustom = kCorp + "1204", kZendrel = kCorp + "1205",
                  kTesters = kCorp + "1206", kDomainUsers = kCorp + "513";

// The settings and variables of one case; the registry outlives each child,
// so every child states them all.
void enable_mapping(DWORD on, const char *keyword = nullptr) {
    ASSERT_EQ(ntregy_set_param(kMachineMappingEnabled, &on, nullptr), ERROR_SUCCESS);
    if (keyword) ASSERT_EQ(ntregy_set_param(kMachineMappingKeyword, keyword, nullptr), ERROR_SUCCESS);
    else ntregy_del_param(kMachineMappingKeyword, nullptr);
    ntregy_del_param(kUserMappingEnabled, nullptr);
    unsetenv("ZENDREL_GROUPS");
    unsetenv("ZENDREL_PRIMARY_GROUP");
}

// What each SID of `sids` maps to, one per line.
std::string mappings(const std::vector<std::string> &sids) {
    std::string out;
    for (const auto &text : sids) {
        Sid sid(text);
        out += sid_text(nt_map_domain_group_sid(sid.p)) + "\n";
    }
    return out;
}

// The thread's group list as SID texts, one per line.
std::string group_list() {
    int count = nt_getgroups_sid(0, nullptr);
    if (count < 0) return "<none>";
    std::vector<PSID> sids(count + 1, reinterpret_cast<PSID>(0xDEADBEEF));
    EXPECT_EQ(nt_getgroups_sid(count, sids.data()), count);
    EXPECT_EQ(sids[count], reinterpret_cast<PSID>(0xDEADBEEF)) << "written past the count";
    std::string out;
    for (int i = 0; i < count; ++i) out += sid_text(sids[i]) + "\n";
    return out;
}

std::string lines(const std::vector<std::string> &texts) {
    std::string out;
    for (const auto &t : texts) out += t + "\n";
    return out;
}

// alice's token groups without the logon session, in token order, primary group left out.
const std::vector<std::string> kTokenGroups = {
    "S-1-1-0", kBuilders, kRelease, kBroken, kCustom, kZendrel, kTesters,
    "S-1-5-32-545", "S-1-5-4", "S-1-5-11", "S-1-2-0"};

TEST(DomainGroupMapping, OffEverySidIsItsOwn) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  Sid builders(kBuilders);
                  return std::string(nt_map_domain_group_sid(builders.p) == builders.p ? "same" : "copied");
              }),
              "same");
}

TEST(DomainGroupMapping, CommentsNameTheGroupTheyStandFor) {
    std::vector<std::string> groups = {kBuilders, kRelease, kBroken, kCustom, kTesters, kVobadmins};
    EXPECT_EQ(in_child([&] {
                  enable_mapping(1);
                  return mappings(groups);
              }),
              lines({kVobadmins, kVobadmins, kBroken, kCustom, kTesters, kVobadmins}));
    EXPECT_EQ(in_child([&] {
                  enable_mapping(1, "Mapped");
                  return mappings(groups);
              }),
              lines({kBuilders, kRelease, kBroken, kVobadmins, kTesters, kVobadmins}));
    // The user's switch comes before the machine's.
    EXPECT_EQ(in_child([&] {
                  enable_mapping(1);
                  DWORD off = 0;
                  ntregy_set_param(kUserMappingEnabled, &off, nullptr);
                  return mappings({kBuilders});
              }),
              lines({kBuilders}));
}

TEST(DomainGroupMapping, AKeywordAtAndBeyondItsLimit) {
    std::string hundred(100, 'K');
    EXPECT_EQ(in_child([&] {
                  enable_mapping(1, hundred.c_str());
                  return mappings({kBuilders});
              }),
              lines({kBuilders}));
    // A keyword that cannot be read whole is no keyword: the default one applies.
    std::string longer(150, 'K');
    EXPECT_EQ(in_child([&] {
                  enable_mapping(1, longer.c_str());
                  return mappings({kBuilders});
              }),
              lines({kVobadmins}));
}

TEST(DomainGroupMapping, LocalAndWellKnownGroupsAreNeverMapped) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(1);
                  PSID local = nt_sid_append_rid(nt_get_enum_sid(NT_ENUM_SID_ACCOUNT_DOMAIN), 1001);
                  Sid everyone("S-1-1-0");
                  bool same = nt_map_domain_group_sid(local) == local && nt_map_domain_group_sid(everyone.p) == everyone.p;
                  std::free(local);
                  return std::string(same ? "same" : "mapped");
              }),
              "same");
}

TEST(GroupList, TokenOrderThePrimaryGroupLastNoLogonSession) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  return group_list();
              }),
              lines(kTokenGroups) + kDomainUsers + "\n");
}

TEST(GroupList, TheEnvironmentOrdersItAndPicksThePrimaryGroup) {
    // "b;a" order (one of them as SID text), an empty item, a group alice
    // is not in and a name that is nobody's; Release is the primary group.
    std::string got = in_child([] {
        enable_mapping(0);
        setenv("ZENDREL_GROUPS", "Testers;;S-1-5-21-1111-2222-3333-1204;vobadmins;nosuchgroup", 1);
        setenv("ZENDREL_PRIMARY_GROUP", "CORP\\Release", 1);
        nt_prioritized_groups *p = nt_get_prioritized_groups_list();
        std::string out = std::to_string(p->count) + "\n" + group_list();
        PSID primary = nullptr;
        return out + (nt_getgroup_sid(&primary) ? sid_text(primary) : "<none>");
    });
    // Each prioritized group is swapped to the front in turn.
    EXPECT_EQ(got, "3\n" + lines({kTesters, kCustom, kBuilders, kBroken, kDomainUsers, kZendrel, "S-1-1-0",
                                  "S-1-5-32-545", "S-1-5-4", "S-1-5-11", "S-1-2-0", kRelease}) +
                       kRelease);
}

TEST(GroupList, APrimaryGroupNotHeldLeavesTheTokens) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  setenv("ZENDREL_PRIMARY_GROUP", "vobadmins", 1);
                  PSID env = nt_get_primary_group_from_env();
                  PSID primary = nullptr;
                  return sid_text(env) + "\n" + (nt_getgroup_sid(&primary) ? sid_text(primary) : "<none>");
              }),
              kVobadmins + "\n" + kDomainUsers);
    // Through the mapping, Builders is vobadmins: then alice holds it.
    EXPECT_EQ(in_child([] {
                  enable_mapping(1);
                  setenv("ZENDREL_PRIMARY_GROUP", "vobadmins", 1);
                  PSID primary = nullptr;
                  return nt_getgroup_sid(&primary) ? sid_text(primary) : "<none>";
              }),
              kVobadmins);
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  setenv("ZENDREL_PRIMARY_GROUP", std::string(400, 'x').c_str(), 1);
                  return sid_text(nt_get_primary_group_from_env());
              }),
              "<none>");
}

TEST(GroupList, CountsAndShortCopies) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  int all = nt_getgroups_sid(0, nullptr);
                  PSID two[3] = {nullptr, nullptr, reinterpret_cast<PSID>(0xDEADBEEF)};
                  int copied = nt_getgroups_sid(2, two);
                  PSID out = reinterpret_cast<PSID>(0xDEADBEEF);
                  return std::to_string(all) + " " + std::to_string(copied) + " " + sid_text(two[1]) + " " +
                         (two[2] == reinterpret_cast<PSID>(0xDEADBEEF) ? "guard" : "overrun") + " " +
                         std::to_string(nt_getgroup_sid(nullptr)) + std::to_string(nt_getgroups_sid(-1, &out));
              }),
              "12 2 " + kBuilders + " guard 0-1");
}

TEST(GroupList, EachThreadHasItsOwnUntilTheFlush) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  std::string main_before = group_list();
                  std::string other_before, other_after_impersonation, other_after_flush;
                  std::thread other([&] {
                      other_before = group_list();
                      HANDLE bob = nullptr;
                      if (!quarn::win32::logon_account("CORP\\bob", &bob) || !ImpersonateLoggedOnUser(bob)) return;
                      other_after_impersonation = group_list();  // still alice's: nothing flushed yet
                      nt_impersonate_user();
                      other_after_flush = group_list();
                      RevertToSelf();
                      nt_revert_to_self();
                      CloseHandle(bob);
                  });
                  other.join();
                  bool ok = other_before == main_before && other_after_impersonation == main_before &&
                            other_after_flush != main_before && group_list() == main_before;
                  return (ok ? std::string("ok\n") : "differs\n") + other_after_flush;
              }),
              "ok\n" + lines({"S-1-1-0", kDomainUsers, "S-1-5-32-545", "S-1-5-4", "S-1-5-11", "S-1-2-0", kBuilders}));
}

TEST(PrimaryGroupFromEnvironment, SetsTheTokensPrimaryGroup) {
    EXPECT_EQ(in_child([] {
                  enable_mapping(0);
                  setenv("ZENDREL_PRIMARY_GROUP", "Testers", 1);
                  DWORD set = nt_set_primary_group_from_env(static_cast<DWORD>(getpid()));
                  HANDLE token = nullptr;
                  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
                  BYTE block[128];
                  DWORD needed = 0;
                  GetTokenInformation(token, TokenPrimaryGroup, block, sizeof block, &needed);
                  CloseHandle(token);
                  std::string out = std::to_string(set) + " " +
                                    sid_text(reinterpret_cast<TOKEN_PRIMARY_GROUP *>(block)->PrimaryGroup);
                  setenv("ZENDREL_PRIMARY_GROUP", "vobadmins", 1);  // not one of alice's groups
                  out += " " + std::to_string(nt_set_primary_group_from_env(static_cast<DWORD>(getpid())));
                  unsetenv("ZENDREL_PRIMARY_GROUP");
                  out += " " + std::to_string(nt_set_primary_group_from_env(static_cast<DWORD>(getpid())));
                  out += " " + std::to_string(nt_set_primary_group_from_env(0x7FFFFFF0));
                  return out;
              }),
              "0 " + kTesters + " 1308 0 0");
}

}  // namespace
