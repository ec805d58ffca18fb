// The product group on a domain member where alice belongs to CORP\zendrel:
// the name (default, ".\" shorthand, scrambled), its SID (by name, by SID
// text, through the global cache), nt_install_update both ways, the
// privilege answers it gives and the owner security attributes naming it.
// Names are resolved once per process, so each case runs in a forked child.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "area_test_support.h"
#include "domain_test_support.h"
#include "forked_child.h"
#include "identity/group_scramble.h"
#include "identity/identity_caches.h"
#include "nt.h"
#include "ntregy.h"
#include "phash.h"

using quarn::test::in_child;
using quarn::test::Sid;
using quarn::test::sid_text;

namespace {

constexpr int kZendrelGroupName = 13, kInstallConfiguration = 38;
const std::string kZendrel = "S-1-5-21-1111-2222-3333-1205";

// Stores the group name (null: none) and the install configuration word.
void store(const char *name, DWORD configuration) {
    if (name) ASSERT_EQ(ntregy_set_param(kZendrelGroupName, name, nullptr), ERROR_SUCCESS);
    else ntregy_del_param(kZendrelGroupName, nullptr);
    ASSERT_EQ(ntregy_set_param(kInstallConfiguration, &configuration, nullptr), ERROR_SUCCESS);
}

std::string stored_name() {
    char name[400] = {};
    ntregy_get_param(kZendrelGroupName, sizeof name, name, nullptr);
    return name;
}

DWORD stored_configuration() {
    DWORD value = 0;
    ntregy_get_param(kInstallConfiguration, sizeof value, &value, nullptr);
    return value;
}

std::string name_and_sid() {
    return std::string(nt_get_zendrel_group_name()) + " " + sid_text(nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP));
}

TEST(ProductGroup, NamesAndTheirSids) {
    struct Case {
        const char *label;
        const char *stored;
        const char *expected;
    } cases[] = {
        {"absent: the default", nullptr, "zendrel S-1-5-21-1111-2222-3333-1205"},
        {"qualified", "CORP\\zendrel", "CORP\\zendrel S-1-5-21-1111-2222-3333-1205"},
        {"the local shorthand", ".\\zadmins", "MAPWS\\zadmins <none>"},
        {"a group's SID text", "S-1-5-32-544", "S-1-5-32-544 S-1-5-32-544"},
        {"SID text of no group", "S-1-5-21-9-9-9-9", "S-1-5-21-9-9-9-9 <none>"},
        {"nobody's name", "nosuchgroup", "nosuchgroup <none>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(in_child([&] {
                      store(c.stored, 0);
                      return name_and_sid();
                  }),
                  c.expected);
    }
}

TEST(ProductGroup, InstallUpdateBothWays) {
    EXPECT_EQ(in_child([] {
                  store("CORP\\zendrel", 0x10);
                  std::string out = std::to_string(nt_install_update(1));
                  std::string first = stored_name();
                  out += " " + std::to_string(nt_install_update(1));  // already scrambled: unchanged
                  out += first == stored_name() && first != "CORP\\zendrel" ? " once" : " twice";
                  out += " " + std::to_string(stored_configuration());
                  return out;
              }),
              "1 1 once 2064");
    // A process started on the scrambled value reads the plain name.
    EXPECT_EQ(in_child([] { return name_and_sid(); }), "CORP\\zendrel " + kZendrel);
    EXPECT_EQ(in_child([] {
                  std::string out = std::to_string(nt_install_update(0));
                  return out + " " + stored_name() + " " + std::to_string(stored_configuration());
              }),
              "1 CORP\\zendrel 16");
}

TEST(ProductGroup, InstallUpdateRefusals) {
    struct Case {
        const char *label;
        std::string stored;
        DWORD configuration;
        int scramble;
        int result;
    } cases[] = {
        {"a stored value outside the alphabet", "abc-def", 0x800, 0, 0},
        {"a name too long to scramble", std::string(241, 'n'), 0, 1, 0},
        {"the longest name that scrambles", std::string(240, 'n'), 0, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(in_child([&] {
                      store(c.stored.c_str(), c.configuration);
                      int result = nt_install_update(c.scramble);
                      bool unchanged = stored_configuration() == c.configuration && stored_name() == c.stored;
                      return std::to_string(result) + (unchanged ? " unchanged" : " changed");
                  }),
                  std::to_string(c.result) + (c.result ? " changed" : " unchanged"));
    }
    EXPECT_EQ(in_child([] {
                  ntregy_del_param(kInstallConfiguration, nullptr);
                  return std::to_string(nt_install_update(1));
              }),
              "0");
}

// This profile's token is a domain user's, neither an administrator nor in the
// product group: it may read the machine-wide caches but never fill them, so
// the group's SID is computed each time and nothing is left for the next process.
TEST(ProductGroup, AnOrdinaryUserComputesTheSidWithoutCachingIt) {
    quarn::test::use_host_data();
    EXPECT_EQ(in_child([] {
                  store("S-1-5-32-544", 0);
                  nt_init();
                  return name_and_sid();
              }),
              "S-1-5-32-544 S-1-5-32-544");
    EXPECT_EQ(in_child([] {
                  nt_init();
                  char key[kQualifiedNameSize] = "S-1-5-32-544";
                  BYTE sid[kSidSize];
                  unsigned int size = sizeof sid;
                  bool cached = nt_global_account_sid_cache && phash_lookup(nt_global_account_sid_cache, key, sid, &size);
                  return cached ? "cached " + sid_text(sid) : std::string("missing");
              }),
              "missing");
}

TEST(ProductGroup, ConfersPrivilege) {
    EXPECT_EQ(in_child([] {
                  store(nullptr, 0);
                  Sid invalid("S-1-5-21-1-2-3-4");
                  std::memset(invalid.p, 0, 2);  // revision 0: no SID
                  Sid group(kZendrel), other("S-1-5-21-1111-2222-3333-1206");
                  PSID with[] = {other.p, group.p}, without[] = {other.p};
                  return std::to_string(nt_is_privileged()) + std::to_string(nt_is_administrators()) +
                         std::to_string(nt_is_privileged_sid_creds(nullptr, invalid.p, 2, with)) +
                         std::to_string(nt_is_privileged_sid_creds(nullptr, group.p, 0, nullptr)) +
                         std::to_string(nt_is_privileged_sid_creds(nullptr, other.p, 1, without)) +
                         std::to_string(nt_is_privileged_sid_creds_check_zngroup_priv(nullptr, group.p, 0, nullptr));
              }),
              "101100");
}

// The entries of an owner block's access list as "A name" / "D name" lines.
std::string entries(LPSECURITY_ATTRIBUTES attributes) {
    if (!attributes) return "<none>";
    auto *descriptor = static_cast<SECURITY_DESCRIPTOR *>(attributes->lpSecurityDescriptor);
    std::string out = "owner " + sid_text(descriptor->Owner) + "\n";
    for (DWORD i = 0; i < descriptor->Dacl->AceCount; ++i) {
        void *ace = nullptr;
        GetAce(descriptor->Dacl, i, &ace);
        auto *entry = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        out += (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE ? "D " : "A ") + sid_text(&entry->SidStart) + " " +
               std::to_string(entry->Mask) + "\n";
    }
    return out;
}

TEST(OwnerSecurityAttributes, EntriesCachingAndThreads) {
    std::string alice = "S-1-5-21-1111-2222-3333-1105";
    EXPECT_EQ(in_child([] {
                  store(nullptr, 0);
                  LPSECURITY_ATTRIBUTES first = nt_owner_security_attributes(7, 0);
                  std::string out = entries(first);
                  out += nt_owner_security_attributes(7, 0) == first ? "same\n" : "rebuilt\n";
                  out += entries(nt_owner_security_attributes(5, 1));
                  LPSECURITY_ATTRIBUTES other = nullptr;
                  std::thread([&] { other = nt_owner_security_attributes(7, 0); }).join();
                  out += other != first ? "per thread\n" : "shared\n";
                  return out;
              }),
              "owner " + alice + "\nA " + alice + " 7\nA " + kZendrel + " 7\nA S-1-5-32-544 7\nA S-1-5-18 7\nsame\n" +
                  "owner " + alice + "\nD S-1-5-2 5\nA " + alice + " 5\nper thread\n");
    // Without a product group, LocalSystem stands in for it and is not named twice.
    EXPECT_EQ(in_child([] {
                  store("nosuchgroup", 0);
                  return entries(nt_owner_security_attributes(3, 0));
              }),
              "owner " + alice + "\nA " + alice + " 3\nA S-1-5-18 3\nA S-1-5-32-544 3\n");
}

}  // namespace
