// Helpers for the domain suites: SID text, the machine's account domain,
// SIDs from text that free themselves, and the check of a table of domain
// classes with their uid bases.
#pragma once

#include <string>
#include <vector>

#include "win32.h"

namespace quarn::test {

constexpr DWORD kPoisonBase = 0xDEADBEEF;

// The text of `sid`, or "<none>".
std::string sid_text(PSID sid);
// S-1-5-21-a-b-c of this machine.
std::string account_domain_text();

struct Sid {
    PSID p = nullptr;
    explicit Sid(const std::string &text);
    ~Sid();
    Sid(const Sid &) = delete;
    Sid &operator=(const Sid &) = delete;
};

// A domain SID, its class and its uid base (kPoisonBase: left untouched).
struct ClassCase {
    std::string sid;
    int type;
    DWORD base;
};
void expect_classes(const std::vector<ClassCase> &cases);

}  // namespace quarn::test
