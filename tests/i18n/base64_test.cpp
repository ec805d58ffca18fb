// The Base64 group encoders on both paths, AVX2 and scalar, against the
// bit-by-bit reference: every length, every byte value, lines written in
// pieces of any room, and input served from memory of exactly its length.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base64.h"
#include "base64_reference.h"

namespace {

using namespace i18n_mime;

// Runs `body` once with each path this processor has.
template <class Body>
void on_each_path(Body body) {
    const bool native = i18n_mime::use_avx2;
    for (bool avx2 : {false, true}) {
        if (avx2 && !native) continue;
        SCOPED_TRACE(avx2 ? "AVX2" : "scalar");
        i18n_mime::use_avx2 = avx2;
        body();
    }
    i18n_mime::use_avx2 = native;
}

// A copy of `text` in an allocation of exactly its length.
std::unique_ptr<unsigned char[]> exact_copy(const std::string &text) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[text.size() ? text.size() : 1]);
    std::memcpy(copy.get(), text.data(), text.size());
    return copy;
}

TEST(Base64Groups, EveryLengthMatchesTheReference) {
    const std::string bytes = i18n_test::mixed_bytes(600);
    on_each_path([&] {
        for (size_t groups = 0; groups <= 200; ++groups) {
            SCOPED_TRACE(groups);
            std::string text = bytes.substr(bytes.size() - 3 * groups);
            auto in = exact_copy(text);
            std::string out(4 * groups + 8, '\xCC');
            char *end = base64::encode_groups(in.get(), groups, out.data());
            ASSERT_EQ(end - out.data(), static_cast<ptrdiff_t>(4 * groups));
            std::string flat = i18n_test::reference_b64_body(text);
            std::erase(flat, '\r');
            std::erase(flat, '\n');
            EXPECT_EQ(out.substr(0, 4 * groups), flat);
            EXPECT_EQ(out.substr(4 * groups), std::string(8, '\xCC'));  // nothing written past the groups
        }
    });
}

// A body's groups after its first, written in pieces of at most `room` bytes:
// the lines come out as the reference has them, whatever the room.
TEST(Base64Groups, BodyLinesInPiecesOfAnyRoom) {
    const std::string bytes = i18n_test::mixed_bytes(1500);
    on_each_path([&] {
        for (size_t groups : {1, 2, 9, 19, 20, 37, 38, 56, 57, 100, 500}) {
            for (size_t room : {6, 7, 31, 74, 75, 200, 5000}) {
                SCOPED_TRACE(testing::Message() << groups << " groups, room " << room);
                std::string text = bytes.substr(0, 3 * groups);
                auto in = exact_copy(text);
                std::string expected = i18n_test::reference_b64_body(text);
                std::string out = expected.substr(0, 4);  // the first group, which the line cycle writes
                int32_t line = 4;
                size_t done = 1;
                while (done < groups) {
                    std::string piece(room + 8, '\xCC');
                    size_t written = 0;
                    size_t n = base64::encode_body_lines(in.get() + 3 * done, groups - done, 3 * done, piece.data(),
                                                         room, line, &written);
                    ASSERT_GT(n, 0u);
                    ASSERT_LE(written, room);
                    EXPECT_EQ(piece.substr(room), std::string(8, '\xCC'));
                    out += piece.substr(0, written);
                    done += n;
                }
                EXPECT_EQ(out, expected);
            }
        }
    });
}

TEST(Base64Groups, LastGroupIsPadded) {
    const unsigned char one[] = {'a'}, two[] = {'a', 'b'};
    char out[4];
    base64::encode_last(one, 1, out);
    EXPECT_EQ(std::string(out, 4), "YQ==");
    base64::encode_last(two, 2, out);
    EXPECT_EQ(std::string(out, 4), "YWI=");
}

}  // namespace
