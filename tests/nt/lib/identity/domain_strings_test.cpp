// The LSA's counted strings made from multibyte text and back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "identity/domains.h"

namespace {

TEST(DomainStrings, CountedWideFromMultibyte) {
    struct Case {
        const char *text;
        std::u16string wide;
    } cases[] = {{"CORP", u"CORP"}, {"", u""}, {nullptr, u""}, {"J\xC3\xBCrgen", u"J\u00FCrgen"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        LSA_UNICODE_STRING s{0xDEAD, 0xBEEF, nullptr};
        ASSERT_EQ(ntx_CreateLsaUnicodeStringFromAsciiz(&s, c.text), 1);
        EXPECT_EQ(s.Length, 2 * c.wide.size());
        EXPECT_EQ(s.MaximumLength, 2 * c.wide.size() + 2);
        EXPECT_EQ(std::u16string(s.Buffer, s.Length / 2), c.wide);
        EXPECT_EQ(s.Buffer[s.Length / 2], 0) << "not terminated";
        std::free(s.Buffer);
    }
}

TEST(DomainStrings, CountedMultibyteFromWide) {
    struct Case {
        std::u16string wide;
        std::string text;
    } cases[] = {{u"SALES", "SALES"}, {u"", ""}, {u"Wei\u00DF", "Wei\xC3\x9F"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        // Counted strings need no terminator: give one that is not there.
        std::u16string unterminated = c.wide + u"XYZ";
        LSA_UNICODE_STRING wide{static_cast<USHORT>(2 * c.wide.size()), static_cast<USHORT>(2 * unterminated.size()),
                                unterminated.data()};
        LSA_STRING s{0xDEAD, 0xBEEF, nullptr};
        ASSERT_EQ(ntx_CreateLsaStringFromLsaUnicodeString(&s, &wide), 1);
        EXPECT_EQ(std::string(s.Buffer), c.text);
        EXPECT_EQ(s.Length, c.text.size());
        EXPECT_EQ(s.MaximumLength, c.text.size() + 1);
        std::free(s.Buffer);
    }
}

}  // namespace
