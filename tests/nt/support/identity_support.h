// Helpers for the identity suites: account look-ups that poison their outputs
// and check the guard bytes behind every buffer, and owners for LSA and
// network-management results.
#pragma once

#include <string>

#include "lsa.h"
#include "netapi.h"
#include "winnls.h"

namespace quarn::test {

constexpr BYTE kPoison = 0xCC;
constexpr DWORD kPoisonWord = 0xDEADBEEF;
// An account type the look-ups never return (the enumeration has no room for 0xDEADBEEF).
constexpr SID_NAME_USE kPoisonUse = SidTypeInvalid;

struct Lookup {
    bool ok = false;
    DWORD error = 0;
    std::string sid;     // text
    std::string name;    // LookupAccountSid only
    std::string domain;
    SID_NAME_USE use = SidTypeInvalid;
};

// LookupAccountNameA/W and LookupAccountSidA/W with ample buffers; a guard
// byte overwritten, or an output left unset on success, fails the test.
Lookup lookup_name(const char *system, const char *name);
Lookup lookup_name_w(const char16_t *system, const char16_t *name);
Lookup lookup_sid(const char *system, const std::string &sid_text);
Lookup lookup_sid_w(const char16_t *system, const std::string &sid_text);

// One account as LookupAccountNameA (on this machine) finds it by `name`, and
// LookupAccountSidA finds it back by its SID with its `canonical` name.
struct AccountCase {
    const char *name;
    std::string sid;
    const char *domain;
    const char *canonical;
    SID_NAME_USE use;
};
void expect_both_ways(const AccountCase &account);

std::string text_of(PSID sid);
std::string utf8(const WCHAR *text);

// An LSA policy handle, closed at the end of its scope.
class Policy {
public:
    Policy(const char16_t *system, ACCESS_MASK access);
    ~Policy();
    Policy(const Policy &) = delete;
    Policy &operator=(const Policy &) = delete;
    NTSTATUS status() const { return status_; }
    LSA_HANDLE get() const { return handle_; }

private:
    LSA_HANDLE handle_ = nullptr;
    NTSTATUS status_;
};

// A buffer of the LSA (LsaFreeMemory) or of network management (NetApiBufferFree).
template <typename T>
struct LsaBuffer {
    T *p = nullptr;
    ~LsaBuffer() {
        if (p) LsaFreeMemory(p);
    }
    PVOID *out() { return reinterpret_cast<PVOID *>(&p); }
};
template <typename T>
struct NetBuffer {
    T *p = nullptr;
    ~NetBuffer() {
        if (p) NetApiBufferFree(p);
    }
    LPBYTE *out() { return reinterpret_cast<LPBYTE *>(&p); }
};

LSA_UNICODE_STRING lsa_string(const std::u16string &text);

}  // namespace quarn::test
