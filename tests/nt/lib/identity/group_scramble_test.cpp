// The scrambled form of the product group's name: lengths, round trips at
// different salts, and the texts the unscrambler must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "identity/group_scramble.h"

namespace {

std::string scramble(const std::string &name, uint32_t salt, uint32_t filler = 0) {
    char out[400];
    std::memset(out, 0xCC, sizeof out);
    EXPECT_TRUE(nt_scramble_group_name(name.data(), name.size(), salt, filler, out, sizeof out));
    size_t length = std::strlen(out);
    EXPECT_EQ(length, nt_scrambled_length(name.size()));
    EXPECT_EQ(static_cast<unsigned char>(out[length + 1]), 0xCC) << "written past the terminator";
    return out;
}

std::string unscramble(const std::string &text, bool *ok) {
    char out[330];
    std::memset(out, 0xCC, sizeof out);
    *ok = nt_unscramble_group_name(text.c_str(), out, sizeof out);
    return *ok ? std::string(out) : std::string();
}

TEST(GroupScramble, LengthsAndRoundTripsAtEverySalt) {
    const std::string names[] = {"z", "ab", "zen", "zendrel", "CORP\\vob admins", std::string(240, '\xE9'),
                                 "\x7F\x80\xFF", "a;b(c)d"};
    for (const auto &name : names) {
        SCOPED_TRACE(name.substr(0, 20));
        std::string seen;
        for (uint32_t clock = 0; clock < 128; clock += 7) {
            std::string text = scramble(name, clock, clock * 31);
            bool ok = false;
            EXPECT_EQ(unscramble(text, &ok), name) << text;
            EXPECT_TRUE(ok);
            if (clock) EXPECT_NE(text, seen) << "two salts gave one text";
            seen = text;
        }
    }
    EXPECT_EQ(scramble("z", 5).size(), 3u);
    EXPECT_EQ(scramble("zen", 5).size(), 5u);
    EXPECT_EQ(scramble("", 5), "");
}

TEST(GroupScramble, TheFillerBitsDoNotReachTheName) {
    for (uint32_t filler = 0; filler < 16; ++filler) {
        bool ok = false;
        EXPECT_EQ(unscramble(scramble("q", 9, filler), &ok), "q");
        EXPECT_EQ(unscramble(scramble("qr", 9, filler), &ok), "qr");
    }
}

TEST(GroupScramble, RefusedTexts) {
    std::string good = scramble("zendrel", 17);
    struct Case {
        const char *label;
        std::string text;
    } cases[] = {
        {"a character outside the alphabet", good.substr(0, 3) + "-" + good.substr(4)},
        {"a space", good.substr(0, 2) + " " + good.substr(3)},
        {"a non-ASCII byte", good.substr(0, 2) + "\xC3" + good.substr(3)},
        {"a length no name has", good.substr(0, 2)},
        {"a check symbol alone", good.substr(0, 1)},
        {"longer than the longest name", std::string(400, 'a')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        bool ok = true;
        unscramble(c.text, &ok);
        EXPECT_FALSE(ok);
    }
}

TEST(GroupScramble, BufferLimits) {
    char out[400];
    std::string longest(kScrambleMaxBytes, 'x');
    EXPECT_TRUE(nt_scramble_group_name(longest.data(), longest.size(), 1, 1, out, 322));
    EXPECT_EQ(std::strlen(out), 321u);
    std::string too_long(kScrambleMaxBytes + 1, 'x');
    EXPECT_FALSE(nt_scramble_group_name(too_long.data(), too_long.size(), 1, 1, out, 322));
    std::string text = scramble("zendrel", 3);
    char small[8];
    std::memset(small, 0xCC, sizeof small);
    EXPECT_FALSE(nt_unscramble_group_name(text.c_str(), small, 7)) << "no room for 7 bytes and the terminator";
    EXPECT_TRUE(nt_unscramble_group_name(text.c_str(), small, 8));
    EXPECT_STREQ(small, "zendrel");
}

TEST(GroupScramble, ANulByteIsNoName) {
    // "a", NUL, "b" scrambles (the scrambler takes a length) but is no stored name.
    std::string text = scramble(std::string("a\0b", 3), 4);
    bool ok = true;
    unscramble(text, &ok);
    EXPECT_FALSE(ok);
}

}  // namespace
