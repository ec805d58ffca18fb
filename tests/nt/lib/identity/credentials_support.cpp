// credentials_text: a record as lines of text, checked for the shape every
// record must have.
#include "credentials_support.h"

#include <gtest/gtest.h>

#include "domain_test_support.h"
#include "winnls.h"

namespace quarn::test {

std::string credentials_text(const char *name) {
    nt_credentials *record = reinterpret_cast<nt_credentials *>(0xDEADBEEF);
    if (nt_user_get_credentials(name, &record) != 0) {
        EXPECT_EQ(record, nullptr) << "a failure left a record";
        return "<none>";
    }
    auto text = [](const WCHAR *w) { return w ? win32::utf16_to_utf8(w) : std::string("<null>"); };
    std::string out = text(record->user_name) + " " + sid_text(record->user_sid) + " " +
                      sid_text(record->primary_group_sid) + "\n";
    EXPECT_EQ(record->group_count == 0, record->group_names == nullptr);
    for (int i = 0; i < record->group_count; ++i)
        out += text(record->group_names[i]) + " " + sid_text(record->group_sids[i]) + "\n";
    EXPECT_EQ(nt_user_free_credentials(record), 0);
    return out;
}

}  // namespace quarn::test
