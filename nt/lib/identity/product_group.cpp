// The product group: the group whose members administer the product.  Its
// name comes from the setting ZendrelGroupName ("zendrel" when unset), stored
// plain or scrambled (bit 0x800 of InstallConfiguration says which), with
// ".\" standing for this machine's account domain.  The name and its SID are
// resolved once per process; the SID is shared with every process through
// the global "Account name->Sid" cache.  A name that does not resolve is
// not asked again for a minute, as nscd keeps a missing group: every area
// that opens asks for the group, and a failed look-up walks both account
// databases.  nt_install_update switches the
// stored form.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "identity/domains.h"
#include "identity/group_scramble.h"
#include "identity/identity.h"
#include "identity/product_group.h"
#include "nt.h"
#include "ntregy.h"

namespace {

constexpr int kZendrelGroupName = 13;
constexpr int kInstallConfiguration = 38;
constexpr DWORD kScrambledName = 0x800;
constexpr char kDefaultGroupName[] = "zendrel";
constexpr char kLocalShorthand[] = ".\\";
constexpr ULONGLONG kUnresolvedLifetimeMs = 60000;

char group_name[kQualifiedNameSize];    // empty until computed; never reset
std::atomic<PSID> group_sid{nullptr};   // 68 malloc'd bytes once resolved
bool unresolved = false;                // the last resolution failed, at unresolved_since
ULONGLONG unresolved_since = 0;         // GetTickCount64(); both under the library lock
char install_buffer[kQualifiedNameSize];

bool read_install_configuration(DWORD *value) {
    return ntregy_get_param(kInstallConfiguration, sizeof *value, value, nullptr) == ERROR_SUCCESS;
}

// The stored name in `out` (kQualifiedNameSize bytes); false when it cannot be read.
bool read_stored_name(char *out) {
    std::memset(out, 0, kQualifiedNameSize);
    if (ntregy_get_param(kZendrelGroupName, kQualifiedNameSize, out, nullptr) != ERROR_SUCCESS) return false;
    out[kQualifiedNameSize - 1] = '\0';
    return true;
}

// Seconds of the system clock: the salt and the noise of the scrambled form.
uint32_t clock_seconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<uint32_t>(ticks / 10000000u);
}

// ".\name" as ACCOUNTDOMAIN\name, when the account domain's name is known and the result fits.
void expand_local_shorthand(char *name) {
    if (std::strncmp(name, kLocalShorthand, 2) != 0) return;
    char domain[kQualifiedNameSize];
    if (!ntx_account_domain_name(domain, sizeof domain)) return;
    size_t domain_length = std::strlen(domain), rest = std::strlen(name + 2);
    if (domain_length + 1 + rest >= kQualifiedNameSize) return;
    char expanded[kQualifiedNameSize];
    std::memcpy(expanded, domain, domain_length);
    expanded[domain_length] = '\\';
    std::memcpy(expanded + domain_length + 1, name + 2, rest + 1);
    std::memcpy(name, expanded, domain_length + rest + 2);
}

void compute_group_name() {
    char name[kQualifiedNameSize];
    if (!read_stored_name(name)) std::strcpy(name, kDefaultGroupName);
    DWORD configuration = 0;
    if (read_install_configuration(&configuration) && (configuration & kScrambledName)) {
        char plain[kQualifiedNameSize];
        if (nt_unscramble_group_name(name, plain, sizeof plain)) std::strcpy(name, plain);
    }
    expand_local_shorthand(name);
    if (!name[0]) std::strcpy(name, kDefaultGroupName);  // an empty name would read as not yet computed
    std::memcpy(group_name, name, sizeof group_name);
}

// The SID that `name` stands for in `sid` (68 bytes) and the bytes to cache; 0 when none.
DWORD resolve(const char *name, BYTE *sid) {
    DWORD sid_size = kSidSize, domain_size = kDomainNameSize;
    char domain[kDomainNameSize];
    SID_NAME_USE use;
    if (LookupAccountNameA(nullptr, name, sid, &sid_size, domain, &domain_size, &use)) return sid_size;
    if (std::strncmp(name, "S-", 2) != 0) return 0;
    PSID parsed = nullptr;
    if (nt_str_to_sid(name, &parsed) != 0) return 0;
    bool copied = CopySid(kSidSize, sid, parsed);
    FreeSid(parsed);
    return copied && nt_getgrsid_sid(sid) ? kSidSize : 0;
}

}  // namespace

extern "C" NT_API const char *nt_get_zendrel_group_name(void) {
    if (!__atomic_load_n(&group_name[0], __ATOMIC_ACQUIRE)) {
        NtLibraryLock lock;
        if (!group_name[0]) compute_group_name();
    }
    return group_name;
}

PSID nt_get_zendrel_group_sid() {
    if (PSID known = group_sid.load(std::memory_order_acquire)) return known;
    NtLibraryLock lock;
    if (PSID known = group_sid.load(std::memory_order_relaxed)) return known;
    if (unresolved && GetTickCount64() - unresolved_since < kUnresolvedLifetimeMs) return nullptr;
    auto *sid = static_cast<BYTE *>(std::calloc(1, kSidSize));
    if (!sid) return nullptr;
    char key[kQualifiedNameSize] = {};
    std::strncpy(key, nt_get_zendrel_group_name(), sizeof key - 1);
    unsigned int size = kSidSize;
    if (!nt_global_account_sid_cache || !phash_lookup(nt_global_account_sid_cache, key, sid, &size)) {
        DWORD length = resolve(key, sid);
        if (!length) {
            std::free(sid);
            unresolved = true;
            unresolved_since = GetTickCount64();
            return nullptr;
        }
        if (nt_global_account_sid_cache) phash_enter(nt_global_account_sid_cache, key, sid, length);
    }
    group_sid.store(sid, std::memory_order_release);
    return sid;
}

extern "C" NT_API int nt_install_update(int scramble) {
    DWORD configuration = 0;
    if (!read_install_configuration(&configuration)) return 0;
    NtLibraryLock lock;
    if (!read_stored_name(install_buffer)) return 1;
    const bool scrambled = configuration & kScrambledName;
    if (scramble ? scrambled : !scrambled) return 1;
    char converted[kQualifiedNameSize] = {};
    if (scramble) {
        // A name too long for the scrambled form stays plain.
        if (!nt_scramble_group_name(install_buffer, std::strlen(install_buffer), clock_seconds(), clock_seconds(),
                                    converted, sizeof converted))
            return 0;
        configuration |= kScrambledName;
    } else {
        if (!nt_unscramble_group_name(install_buffer, converted, sizeof converted)) return 0;
        configuration &= ~kScrambledName;
    }
    ntregy_set_param(kZendrelGroupName, converted, nullptr);
    ntregy_set_param(kInstallConfiguration, &configuration, nullptr);
    return 1;
}
