// The LSA calls.  A policy handle records the machine it was opened on (a
// Host of the directory) and the access granted; each call checks the access
// that Windows requires of it.
//
//   handles              LsaOpenPolicy, LsaClose
//   domain information   LsaQueryInformationPolicy
//   trusted domains      LsaEnumerateTrustedDomains, LsaQueryTrustedDomainInfo
//   names and rights     LsaLookupNames, LsaAddAccountRights
#include "lsa.h"

#include <unistd.h>

#include <cstring>
#include <memory>

#include "machine/account_database.h"
#include "kernel32/kernel_object.h"
#include "advapi32/lsa_rights.h"
#include "machine/machine.h"
#include "netapi32/packed_buffer.h"
#include "winnls.h"
#include "wnet.h"

namespace quarn::win32 {
namespace {

constexpr ACCESS_MASK kAnyoneMay = POLICY_VIEW_LOCAL_INFORMATION | POLICY_LOOKUP_NAMES | READ_CONTROL;
constexpr ULONG kNoRid = 0xFFFFFFFF;

class Policy final : public KernelObject {
public:
    Policy(Host host, ACCESS_MASK granted) : host_(std::move(host)), granted_(granted) {}
    const Host &host() const { return host_; }
    bool allows(ACCESS_MASK access) const { return (granted_ & access) == access; }

private:
    Host host_;
    ACCESS_MASK granted_;
};

ACCESS_MASK mapped(ACCESS_MASK access, bool administrator) {
    if (access & MAXIMUM_ALLOWED) access = (access & ~MAXIMUM_ALLOWED) | (administrator ? POLICY_ALL_ACCESS : kAnyoneMay);
    if (access & GENERIC_READ) access |= POLICY_READ;
    if (access & GENERIC_WRITE) access |= POLICY_WRITE;
    if (access & GENERIC_EXECUTE) access |= POLICY_EXECUTE;
    if (access & GENERIC_ALL) access |= POLICY_ALL_ACCESS;
    return access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

std::string lsa_text(const LSA_UNICODE_STRING *s) {
    if (!s || !s->Buffer) return {};
    return utf16_to_utf8(std::u16string_view(s->Buffer, s->Length / sizeof(WCHAR)));
}

LSA_UNICODE_STRING lsa_string(Packer &p, std::string_view text) {
    LPWSTR buffer = p.text(text);
    auto length = static_cast<USHORT>(utf8_to_utf16(text).size() * sizeof(WCHAR));
    return {length, static_cast<USHORT>(length + sizeof(WCHAR)), buffer};
}

// The policy behind `handle` if it grants `access`.
NTSTATUS policy_of(LSA_HANDLE handle, ACCESS_MASK access, std::shared_ptr<Policy> &policy) {
    policy = std::dynamic_pointer_cast<Policy>(object_from_handle(handle));
    if (!policy) return STATUS_INVALID_HANDLE;
    return policy->allows(access) ? STATUS_SUCCESS : STATUS_ACCESS_DENIED;
}

// The domains a machine holds trusts for: a controller of the primary domain
// holds the trusted domains; workstations and other controllers hold none here.
std::vector<const Domain *> trusts_of(const Directory &directory, const Host &host) {
    std::vector<const Domain *> out;
    if (host.role == Host::Role::controller && host.domain == directory.primary())
        for (const auto &d : directory.trusted()) out.push_back(&d);
    return out;
}

// The account domain of a member machine named in machine.toml, which the
// file does not give: S-1-5-21 and three numbers from a hash of its name.
SidValue member_account_domain(const std::string &name) {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    return SidValue(5, {SECURITY_NT_NON_UNIQUE, static_cast<DWORD>(h), static_cast<DWORD>(h >> 32),
                        static_cast<DWORD>(h * 31 + 7)});
}

struct NameAndSid {
    std::string name;
    SidValue sid;
};

NameAndSid account_domain_of(const Directory &directory, const Host &host) {
    switch (host.role) {
    case Host::Role::this_computer:
        return {directory.computer_name(), directory.account_domain_sid()};
    case Host::Role::controller:
        return {host.domain->name, host.domain->sid};
    case Host::Role::member:
        break;
    }
    return {host.name, member_account_domain(host.name)};
}

void *domain_information(const NameAndSid &domain) {
    static_assert(sizeof(POLICY_PRIMARY_DOMAIN_INFO) == sizeof(POLICY_ACCOUNT_DOMAIN_INFO));
    return pack(sizeof(POLICY_PRIMARY_DOMAIN_INFO), [&](Packer &p) {
        auto *info = p.head<POLICY_PRIMARY_DOMAIN_INFO>();
        info->Name = lsa_string(p, domain.name);
        info->Sid = p.sid(domain.sid);
    });
}

// The referenced domains of a name translation, each once.
class ReferencedDomains {
public:
    LONG index_of(const AccountMatch &match) {
        for (size_t i = 0; i < domains_.size(); ++i)
            if (domains_[i].sid == match.domain_sid) return static_cast<LONG>(i);
        domains_.push_back({match.domain, match.domain_sid});
        return static_cast<LONG>(domains_.size() - 1);
    }
    void *pack_list() const {
        size_t head = sizeof(LSA_REFERENCED_DOMAIN_LIST) + domains_.size() * sizeof(LSA_TRUST_INFORMATION);
        return pack(head, [this](Packer &p) {
            auto *list = p.head<LSA_REFERENCED_DOMAIN_LIST>();
            list->Entries = static_cast<ULONG>(domains_.size());
            list->Domains = reinterpret_cast<PLSA_TRUST_INFORMATION>(list + 1);
            for (size_t i = 0; i < domains_.size(); ++i)
                list->Domains[i] = {lsa_string(p, domains_[i].name), p.sid(domains_[i].sid)};
        });
    }

private:
    std::vector<NameAndSid> domains_;
};

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES attributes, ACCESS_MASK access,
                       PLSA_HANDLE policy) {
    if (!attributes || !policy) return STATUS_INVALID_PARAMETER;
    const Machine *machine = Machine::current();
    if (!machine) return STATUS_INTERNAL_DB_CORRUPTION;
    auto host = machine->directory().host(lsa_text(system));
    if (!host || reach(*host) == Reach::unreachable) return STATUS_RPC_NT_SERVER_UNAVAILABLE;
    if (reach(*host) == Reach::denied) return STATUS_ACCESS_DENIED;
    bool administrator = geteuid() == 0;
    ACCESS_MASK granted = mapped(access, administrator);
    if ((granted & ~kAnyoneMay) && !administrator) return STATUS_ACCESS_DENIED;
    *policy = make_handle(std::make_shared<Policy>(std::move(*host), granted));
    return STATUS_SUCCESS;
}

NTSTATUS LsaQueryInformationPolicy(LSA_HANDLE handle, POLICY_INFORMATION_CLASS information_class, PVOID *buffer) {
    if (!buffer) return STATUS_INVALID_PARAMETER;
    std::shared_ptr<Policy> policy;
    if (NTSTATUS status = policy_of(handle, POLICY_VIEW_LOCAL_INFORMATION, policy)) return status;
    const Host &host = policy->host();
    const Directory &directory = Machine::current()->directory();
    switch (information_class) {
    case PolicyPrimaryDomainInformation:
        *buffer = domain_information({host.domain_name, host.domain_sid});
        break;
    case PolicyAccountDomainInformation:
        *buffer = domain_information(account_domain_of(directory, host));
        break;
    default:
        return STATUS_INVALID_INFO_CLASS;
    }
    return *buffer ? STATUS_SUCCESS : STATUS_NO_MEMORY;
}

NTSTATUS LsaEnumerateTrustedDomains(LSA_HANDLE handle, PLSA_ENUMERATION_HANDLE context, PVOID *buffer,
                                    ULONG preferred, PULONG count) {
    if (!context || !buffer || !count) return STATUS_INVALID_PARAMETER;
    std::shared_ptr<Policy> policy;
    if (NTSTATUS status = policy_of(handle, POLICY_VIEW_LOCAL_INFORMATION, policy)) return status;
    auto trusts = trusts_of(Machine::current()->directory(), policy->host());
    *buffer = nullptr;
    *count = 0;
    size_t first = *context;
    if (first >= trusts.size()) return STATUS_NO_MORE_ENTRIES;
    size_t end = first, bytes = 0;
    while (end < trusts.size()) {
        size_t entry = sizeof(LSA_TRUST_INFORMATION) + (utf8_to_utf16(trusts[end]->name).size() + 1) * sizeof(WCHAR) +
                       trusts[end]->sid.size();
        if (end > first && bytes + entry > preferred) break;
        bytes += entry;
        ++end;
    }
    *buffer = pack((end - first) * sizeof(LSA_TRUST_INFORMATION), [&](Packer &p) {
        auto *entries = p.head<LSA_TRUST_INFORMATION>();
        for (size_t i = first; i < end; ++i)
            entries[i - first] = {lsa_string(p, trusts[i]->name), p.sid(trusts[i]->sid)};
    });
    if (!*buffer) return STATUS_NO_MEMORY;
    *count = static_cast<ULONG>(end - first);
    *context = static_cast<LSA_ENUMERATION_HANDLE>(end);
    return end < trusts.size() ? STATUS_MORE_ENTRIES : STATUS_SUCCESS;
}

NTSTATUS LsaQueryTrustedDomainInfo(LSA_HANDLE handle, PSID domain, TRUSTED_INFORMATION_CLASS information_class,
                                   PVOID *buffer) {
    if (!buffer || !IsValidSid(domain)) return STATUS_INVALID_PARAMETER;
    std::shared_ptr<Policy> policy;
    if (NTSTATUS status = policy_of(handle, POLICY_VIEW_LOCAL_INFORMATION, policy)) return status;
    if (information_class != TrustedPosixOffsetInformation) return STATUS_INVALID_INFO_CLASS;
    SidValue wanted = SidValue::copy_of(domain);
    for (const Domain *d : trusts_of(Machine::current()->directory(), policy->host())) {
        if (d->sid != wanted) continue;
        if (!d->posix_offset) return STATUS_NOT_FOUND;
        auto *info = static_cast<TRUSTED_POSIX_OFFSET_INFO *>(std::malloc(sizeof(TRUSTED_POSIX_OFFSET_INFO)));
        if (!info) return STATUS_NO_MEMORY;
        info->Offset = *d->posix_offset;
        *buffer = info;
        return STATUS_SUCCESS;
    }
    return STATUS_OBJECT_NAME_NOT_FOUND;
}

NTSTATUS LsaLookupNames(LSA_HANDLE handle, ULONG count, PLSA_UNICODE_STRING names,
                        PLSA_REFERENCED_DOMAIN_LIST *domains, PLSA_TRANSLATED_SID *sids) {
    if (!domains || !sids || (count && !names)) return STATUS_INVALID_PARAMETER;
    std::shared_ptr<Policy> policy;
    if (NTSTATUS status = policy_of(handle, POLICY_LOOKUP_NAMES, policy)) return status;
    AccountDatabase database(Machine::current()->directory(), policy->host());
    ReferencedDomains referenced;
    std::vector<LSA_TRANSLATED_SID> translated;
    ULONG mapped = 0;
    for (ULONG i = 0; i < count; ++i) {
        auto found = database.find_name(lsa_text(&names[i]));
        if (!found) {
            translated.push_back({SidTypeUnknown, 0, -1});
            continue;
        }
        ++mapped;
        ULONG rid = found->use == SidTypeDomain || found->sid.count() == 0 ? kNoRid : found->sid.rid();
        translated.push_back({found->use, rid, referenced.index_of(*found)});
    }
    auto *list = static_cast<PLSA_REFERENCED_DOMAIN_LIST>(referenced.pack_list());
    auto *out = static_cast<PLSA_TRANSLATED_SID>(std::malloc(std::max<size_t>(1, count) * sizeof(LSA_TRANSLATED_SID)));
    if (!list || !out) {
        std::free(list);
        std::free(out);
        return STATUS_NO_MEMORY;
    }
    if (count) std::memcpy(out, translated.data(), count * sizeof(LSA_TRANSLATED_SID));
    *domains = list;
    *sids = out;
    return mapped == count && count ? STATUS_SUCCESS : mapped ? STATUS_SOME_NOT_MAPPED : STATUS_NONE_MAPPED;
}

NTSTATUS LsaAddAccountRights(LSA_HANDLE handle, PSID account, PLSA_UNICODE_STRING rights, ULONG count) {
    std::shared_ptr<Policy> policy;
    if (NTSTATUS status = policy_of(handle, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, policy)) return status;
    if (!IsValidSid(account) || !rights || count == 0) return STATUS_INVALID_PARAMETER;
    std::vector<std::string> names;
    for (ULONG i = 0; i < count; ++i) {
        names.push_back(lsa_text(&rights[i]));
        if (!is_account_right(names.back())) return STATUS_NO_SUCH_PRIVILEGE;
    }
    const Machine *machine = Machine::current();
    std::filesystem::path root = policy->host().role == Host::Role::this_computer
                                     ? machine->prefix()
                                     : machine->prefix() / "machines" / policy->host().name;
    return add_account_rights(root / "lsa" / "rights.toml", SidValue::copy_of(account).text(), names);
}

NTSTATUS LsaFreeMemory(PVOID buffer) {
    std::free(buffer);
    return STATUS_SUCCESS;
}

NTSTATUS LsaClose(LSA_HANDLE handle) {
    if (!std::dynamic_pointer_cast<Policy>(object_from_handle(handle))) return STATUS_INVALID_HANDLE;
    close_handle(handle);
    return STATUS_SUCCESS;
}

}  // extern "C"
