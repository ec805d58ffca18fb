// Helpers for the domain suites.
#include "domain_test_support.h"

#include <gtest/gtest.h>

#include "machine/machine.h"
#include "nt.h"
#include "ntx.h"

namespace quarn::test {

std::string sid_text(PSID sid) {
    char buffer[100];
    return sid && nt_sid_to_str(sid, buffer, sizeof buffer) ? buffer : "<none>";
}

std::string account_domain_text() { return win32::Machine::current()->directory().account_domain_sid().text(); }

Sid::Sid(const std::string &text) { EXPECT_EQ(nt_str_to_sid(text.c_str(), &p), 0) << text; }
Sid::~Sid() {
    if (p) FreeSid(p);
}

void expect_classes(const std::vector<ClassCase> &cases) {
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sid);
        Sid sid(c.sid);
        DWORD base = kPoisonBase;
        EXPECT_EQ(ntx_get_domain_sid_type(sid.p, &base), c.type);
        EXPECT_EQ(base, c.base);
        EXPECT_EQ(ntx_get_domain_sid_type(sid.p, nullptr), c.type);
    }
}

}  // namespace quarn::test
