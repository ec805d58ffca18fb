// Security descriptors and access lists: building them entry by entry, the
// checks of IsValidAcl and IsValidSecurityDescriptor, LocalAlloc, and the
// file modes that descriptors become, denied entries first winning.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "advapi32/sid_value.h"
#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "ntdll/object_namespace.h"
#include "win32.h"

using quarn::win32::SidValue;

namespace {

const SidValue kEveryone(1, {0});
const SidValue kNetwork(5, {2});
const SidValue kOwner(5, {21, 1, 2, 3, 1001});
const SidValue kStranger(5, {21, 1, 2, 3, 1002});

struct Entry {
    bool allow;
    const SidValue *sid;
};

// An access list of `entries` in a LocalAlloc'd block of exactly their size.
PACL make_acl(const std::vector<Entry> &entries) {
    DWORD size = sizeof(ACL);
    for (const auto &e : entries) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + e.sid->size();
    auto acl = static_cast<PACL>(LocalAlloc(LPTR, size));
    EXPECT_TRUE(InitializeAcl(acl, size, ACL_REVISION));
    for (const auto &e : entries)
        EXPECT_TRUE(e.allow ? AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, e.sid->get())
                            : AddAccessDeniedAce(acl, ACL_REVISION, GENERIC_ALL, e.sid->get()));
    EXPECT_TRUE(IsValidAcl(acl));
    return acl;
}

// `descriptor` made afresh with `acl` and kOwner as its owner.
bool owned_descriptor(SECURITY_DESCRIPTOR &descriptor, PACL acl) {
    return InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
           SetSecurityDescriptorOwner(&descriptor, kOwner.get(), FALSE);
}

TEST(SecurityDescriptors, ModesReadTheListInOrder) {
    struct Case {
        const char *label;
        std::vector<Entry> entries;
        mode_t mode;
    } cases[] = {
        {"owner only", {{true, &kOwner}}, 0600},
        {"everyone", {{true, &kOwner}, {true, &kEveryone}}, 0666},
        {"everyone denied first", {{false, &kEveryone}, {true, &kEveryone}, {true, &kOwner}}, 0},
        {"everyone allowed before a denial", {{true, &kEveryone}, {false, &kEveryone}}, 0666},
        {"owner denied, everyone allowed", {{false, &kOwner}, {true, &kEveryone}}, 0066},
        {"network logons denied first", {{false, &kNetwork}, {true, &kOwner}}, 0600},
        {"another user only", {{true, &kStranger}}, 0},
        {"empty list", {}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        PACL acl = make_acl(c.entries);
        SECURITY_DESCRIPTOR descriptor;
        ASSERT_TRUE(owned_descriptor(descriptor, acl));
        EXPECT_TRUE(IsValidSecurityDescriptor(&descriptor));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
        EXPECT_EQ(quarn::win32::mode_from_security(&attributes, 0644), c.mode);
        LocalFree(acl);
    }
}

// A descriptor's group that is a group of this machine (here gid 0) becomes
// the file's group, with the bits its own entry grants; any other group
// changes nothing.
TEST(SecurityDescriptors, AGroupOfTheMachineGetsItsOwnEntrysBits) {
    const auto *machine = quarn::win32::Machine::current();
    ASSERT_NE(machine, nullptr);
    const SidValue local_group = machine->directory().account_domain_sid().with_rid(*quarn::win32::group_rid(0));
    struct Case {
        const char *label;
        std::vector<Entry> entries;
        const SidValue *group;
        mode_t mode;
        gid_t gid;
    } cases[] = {
        {"the group's entry", {{true, &kOwner}, {true, &local_group}}, &local_group, 0660, 0},
        {"no entry for the group: the others' bits", {{true, &kOwner}}, &local_group, 0600, 0},
        {"the group denied", {{true, &kOwner}, {false, &local_group}, {true, &kEveryone}}, &local_group, 0606, 0},
        {"a group of no machine", {{true, &kOwner}, {true, &kStranger}}, &kStranger, 0600,
         quarn::win32::kNoGroup},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        PACL acl = make_acl(c.entries);
        SECURITY_DESCRIPTOR descriptor;
        ASSERT_TRUE(owned_descriptor(descriptor, acl));
        ASSERT_TRUE(SetSecurityDescriptorGroup(&descriptor, c.group->get(), TRUE));
        EXPECT_EQ(descriptor.Control & SE_GROUP_DEFAULTED, SE_GROUP_DEFAULTED);
        EXPECT_TRUE(IsValidSecurityDescriptor(&descriptor));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
        EXPECT_EQ(quarn::win32::mode_from_security(&attributes, 0644), c.mode);
        EXPECT_EQ(quarn::win32::group_of_security(&attributes), c.gid);
        LocalFree(acl);
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetSecurityDescriptorGroup(nullptr, kOwner.get(), FALSE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
}

TEST(SecurityDescriptors, ANullListIsEverybodysAndNoListTheDefault) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    EXPECT_EQ(quarn::win32::mode_from_security(&attributes, 0640), 0640u);
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_EQ(quarn::win32::mode_from_security(&attributes, 0640), 0666u);
    EXPECT_EQ(quarn::win32::mode_from_security(nullptr, 0640), 0640u);
}

TEST(SecurityDescriptors, AListHasNoRoomBeyondItsSize) {
    DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + kOwner.size();
    std::vector<BYTE> block(size + 16, 0xCC);
    auto acl = reinterpret_cast<PACL>(block.data());
    ASSERT_TRUE(InitializeAcl(acl, size, ACL_REVISION));
    ASSERT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, GENERIC_ALL, kOwner.get()));
    EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, kEveryone.get()));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
    for (size_t i = size; i < block.size(); ++i) ASSERT_EQ(block[i], 0xCC) << "written past the list at " << i;
    void *ace = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, &ace));
    EXPECT_EQ(static_cast<ACE_HEADER *>(ace)->AceType, ACCESS_DENIED_ACE_TYPE);
}

TEST(SecurityDescriptors, DamagedListsAndDescriptorsAreInvalid) {
    PACL acl = make_acl({{true, &kOwner}, {false, &kEveryone}});
    auto *first = reinterpret_cast<ACE_HEADER *>(reinterpret_cast<BYTE *>(acl) + sizeof(ACL));
    WORD size = first->AceSize;
    first->AceSize = static_cast<WORD>(acl->AclSize);  // runs past the list
    EXPECT_FALSE(IsValidAcl(acl));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
    first->AceSize = size;
    auto *sid = reinterpret_cast<BYTE *>(first) + sizeof(ACE_HEADER) + sizeof(DWORD);
    sid[1] = 15;  // more sub-authorities than the entry holds
    EXPECT_FALSE(IsValidAcl(acl));
    sid[1] = 5;
    EXPECT_TRUE(IsValidAcl(acl));

    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    BYTE bad_owner[8] = {9, 1};
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, bad_owner, FALSE));
    EXPECT_FALSE(IsValidSecurityDescriptor(&descriptor));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
    EXPECT_FALSE(IsValidSecurityDescriptor(nullptr));
    LocalFree(acl);
}

TEST(LocalMemory, ZeroInitAndRefusedFlags) {
    auto *block = static_cast<BYTE *>(LocalAlloc(LPTR, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(LocalAlloc(0x0002 /* LMEM_MOVEABLE */, 8), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
