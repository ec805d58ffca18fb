// Domain qualification of account names: the record rule that names passwd
// and group records and the login name, and the process-wide user-domain
// prefix that bare names are qualified with before they are looked up.
#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/identity.h"
#include "nt.h"

namespace {

constexpr const char kUnknownDomain[] = "UNKNOWN";

// Empty until first needed; guarded by the library lock.
char user_domain_prefix[kDomainNameSize];

void copy_cut(char *out, size_t size, const char *text) {
    if (!size) return;
    size_t n = std::strlen(text);
    if (n >= size) n = size - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

void compute_prefix() {
    PSID user = nullptr;
    if (!nt_get_user_sid(&user)) {
        copy_cut(user_domain_prefix, sizeof user_domain_prefix, kUnknownDomain);
        return;
    }
    if (const char *domain = ntx_domain_name_of_sid(user)) {
        copy_cut(user_domain_prefix, sizeof user_domain_prefix, domain);
        return;
    }
    char name[kAccountNameSize], domain[kDomainNameSize];
    SID_NAME_USE use;
    copy_cut(user_domain_prefix, sizeof user_domain_prefix,
             nt_lookup_sid_name(user, name, domain, &use) ? domain : kUnknownDomain);
}

}  // namespace

void nt_qualify_account_name(const char *name, const char *domain, char *out, size_t size) {
    if (!size) return;
    size_t name_length = std::strlen(name), domain_length = domain ? std::strlen(domain) : 0;
    if (!std::strchr(name, '\\') && domain_length && domain_length + 1 + name_length + 1 <= size) {
        std::memcpy(out, domain, domain_length);
        out[domain_length] = '\\';
        std::memcpy(out + domain_length + 1, name, name_length + 1);
        return;
    }
    copy_cut(out, size, name);
}

void nt_user_domain_prefix(char *out) {
    if (!user_domain_prefix[0]) compute_prefix();
    std::memcpy(out, user_domain_prefix, sizeof user_domain_prefix);
}

void nt_forget_user_domain_prefix() { user_domain_prefix[0] = '\0'; }
