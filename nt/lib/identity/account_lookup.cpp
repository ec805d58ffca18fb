// Account names to SIDs: the look-up with the product's domain qualification
// (a bare name is first tried as PREFIX\name under the library lock, then,
// unless only qualified names may be looked up, as given), and the small
// questions answered with it.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "identity/identity.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"

namespace {

constexpr int kLookupOnlyFqNames = 11;
constexpr int kDisableDomainPrefix = 28;

struct QualificationSettings {
    bool read = false;
    bool disable_domain_prefix = false;
    bool lookup_only_fq_names = false;
};
QualificationSettings settings;  // read once, under the library lock

bool setting_on(int number) {
    DWORD value = 0;
    return ntregy_get_param(number, sizeof value, &value, nullptr) == ERROR_SUCCESS && value != 0;
}

void read_settings() {
    if (settings.read) return;
    settings.disable_domain_prefix = setting_on(kDisableDomainPrefix);
    settings.lookup_only_fq_names = setting_on(kLookupOnlyFqNames);
    settings.read = true;
}

// "first\second" with each part cut to its own limit, in out (322 bytes).
void join_cut(char *out, const char *first, size_t first_chars, const char *second, size_t second_chars) {
    size_t a = strnlen(first, first_chars), b = strnlen(second, second_chars);
    std::memcpy(out, first, a);
    out[a] = '\\';
    std::memcpy(out + a + 1, second, b);
    out[a + 1 + b] = '\0';
}

void copy_cut(char *out, size_t size, const char *text) {
    size_t n = strnlen(text, size - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

bool lookup(const char *server, const char *name, PSID sid, DWORD sid_size, char *domain, DWORD domain_size,
            int *use_out) {
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameA(server, name, sid, &sid_size, domain, &domain_size, &use)) return false;
    if (use_out) *use_out = use;
    return true;
}

// Resolves `name` with the usual buffers; the account type, or 0 when unknown.
int resolve(const char *name, BYTE (&sid)[kSidSize]) {
    char domain[kDomainNameSize], qualified[kQualifiedNameSize];
    int use = 0;
    if (!nt_lookup_account_name(name, sid, sizeof sid, domain, sizeof domain, &use, qualified)) return 0;
    return use;
}

}  // namespace

extern "C" NT_API int nt_lookup_account_name_server(const char *server, const char *name, PSID sid, DWORD sid_size,
                                                    char *domain, DWORD domain_size, int *use_out,
                                                    char *qualified_out) {
    if (!name) return 0;
    char scratch[kQualifiedNameSize];
    char *qualified = qualified_out ? qualified_out : scratch;
    const bool has_domain = std::strchr(name, '\\') != nullptr;
    nt_library_lock();
    read_settings();
    if (!settings.disable_domain_prefix) {
        if (has_domain) {
            copy_cut(qualified, kQualifiedNameSize, name);
        } else {
            char prefix[kDomainNameSize];
            nt_user_domain_prefix(prefix);
            join_cut(qualified, prefix, kDomainPrefixChars, name, kBareNameChars);
        }
        if (lookup(server, qualified, sid, sid_size, domain, domain_size, use_out)) {
            nt_library_unlock();
            return 1;
        }
        if (has_domain || settings.lookup_only_fq_names) {
            nt_library_unlock();
            return 0;
        }
    }
    nt_library_unlock();
    if (!lookup(server, name, sid, sid_size, domain, domain_size, use_out)) return 0;
    if (has_domain)
        copy_cut(qualified, kQualifiedNameSize, name);
    else
        join_cut(qualified, domain, kDomainPrefixChars, name, kBareNameChars);
    return 1;
}

extern "C" NT_API int nt_lookup_account_name(const char *name, PSID sid, DWORD sid_size, char *domain,
                                             DWORD domain_size, int *use_out, char *qualified_out) {
    return nt_lookup_account_name_server(nullptr, name, sid, sid_size, domain, domain_size, use_out, qualified_out);
}

extern "C" NT_API int nt_get_user_sid_str(const char *name, char *dst, size_t len) {
    BYTE sid[kSidSize];
    if (resolve(name, sid) != SidTypeUser) return -1;
    return nt_sid_to_str(sid, dst, len) ? 0 : -1;
}

extern "C" NT_API int nt_get_domain_sid_str_user(const char *name, char *dst, size_t len) {
    BYTE sid[kSidSize];
    if (resolve(name, sid) != SidTypeUser) return -1;
    PSID domain = nullptr;
    if (ntx_get_sid_domain(sid, &domain) != 0) return -1;
    int result = nt_sid_to_str(domain, dst, len) ? 0 : -1;
    std::free(domain);
    return result;
}

extern "C" NT_API int nt_is_well_known_group_cred(const char *name) {
    BYTE sid[kSidSize];
    return resolve(name, sid) == SidTypeWellKnownGroup;
}
