// The chunked output buffer: appends across blocks, stepping back, and the
// content handed out in one terminated array.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "i18n/scratch.h"
#include "i18n/string_buffer.h"

namespace {

std::string content(const i18n::StringBuffer<char> &buffer, size_t *count = nullptr) {
    size_t n = 0xdeadbeef;
    std::unique_ptr<char[]> text(buffer.get_str(&n));
    if (count) *count = n;
    EXPECT_EQ(text[n], '\0');
    return std::string(text.get(), n);
}

TEST(StringBuffer, EmptyGivesAnEmptyString) {
    i18n::StringBuffer<char> buffer(256);
    size_t count = 0;
    EXPECT_EQ(content(buffer, &count), "");
    EXPECT_EQ(count, 0u);
    buffer.step_back();  // nothing happens in an empty buffer
    EXPECT_TRUE(buffer.empty());
}

TEST(StringBuffer, AppendsAcrossBlockBoundaries) {
    struct Row {
        const char *label;
        int32_t block;
        size_t total;
    };
    const Row rows[] = {{"one block", 256, 100}, {"exact blocks", 8, 64}, {"odd", 7, 1000}, {"tiny", 1, 33}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        i18n::StringBuffer<char> buffer(row.block);
        std::string expected;
        for (size_t i = 0; expected.size() < row.total; ++i) {
            std::string piece(i % 5 + 1, static_cast<char>('a' + i % 26));
            if (i % 2) {
                buffer.append(piece.data(), piece.size());
            } else {
                for (char c : piece) buffer.append(c);
            }
            expected += piece;
        }
        EXPECT_EQ(content(buffer), expected);
        EXPECT_EQ(buffer.size(), expected.size());
    }
}

TEST(StringBuffer, ReservedRoomBecomesTheResultWhileTheContentFits) {
    struct Row {
        const char *label;
        size_t reserved;
        size_t written;
        bool in_place;
    };
    const Row rows[] = {
        {"well within", 1000, 700, true},
        {"exactly the reserve", 1000, 1000, true},
        {"past the reserve", 1000, 1300, false},
        {"nothing written", 1000, 0, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        i18n::StringBuffer<char> buffer(16);
        buffer.reserve(row.reserved);
        size_t room = 0;
        char *first = buffer.write_cursor(&room);
        EXPECT_GE(room, row.reserved);
        std::string expected;
        for (size_t i = 0; i < row.written; ++i) expected += static_cast<char>('a' + i % 23);
        buffer.append(expected.data(), expected.size());
        if (row.written) {
            buffer.step_back();  // across the blocks of the reserved array as anywhere else
            buffer.append(expected.back());
        }
        size_t count = 0xdeadbeef;
        std::unique_ptr<char[]> text(buffer.take_str(&count));
        ASSERT_EQ(count, expected.size());
        EXPECT_EQ(std::string(text.get(), count), expected);
        EXPECT_EQ(text[count], '\0');
        EXPECT_EQ(text.get() == first, row.in_place);
        // Taking leaves the buffer empty, and it serves again.
        EXPECT_TRUE(buffer.empty());
        buffer.append("again", 5);
        EXPECT_EQ(content(buffer), "again");
    }
}

TEST(StringBuffer, ReserveAfterWritingChangesNothing) {
    i18n::StringBuffer<char> buffer(8);
    buffer.append("abc", 3);
    buffer.reserve(100);
    buffer.append("def", 3);
    size_t count = 0;
    std::unique_ptr<char[]> text(buffer.take_str(&count));
    EXPECT_EQ(std::string(text.get(), count), "abcdef");
}

TEST(StringBuffer, StepsBackIntoThePreviousBlock) {
    i18n::StringBuffer<char> buffer(4);
    buffer.append("abcd", 4);
    buffer.append('e');
    EXPECT_EQ(buffer.last(), 'e');
    buffer.step_back();
    EXPECT_EQ(buffer.last(), 'd');
    buffer.step_back();
    EXPECT_EQ(buffer.last(), 'c');
    buffer.append("XYZ", 3);
    EXPECT_EQ(content(buffer), "abcXYZ");
}

// Direct writing: the room reaches over the blocks that lie end to end after
// the cursor (a slab), never further; a commit may cross several blocks, and
// appends, stepping back and the content all follow it.
TEST(StringBuffer, DirectWritesSpanTheBlocksOfASlab) {
    i18n::StringBuffer<char> buffer(4);
    std::string expected;
    size_t room = 0;
    for (int round = 0; round < 40; ++round) {
        char *at = buffer.write_cursor(&room);
        ASSERT_GE(room, 1u);
        size_t n = std::min<size_t>(room, 1 + round % 11);
        for (size_t i = 0; i < n; ++i) at[i] = static_cast<char>('a' + (round + i) % 26);
        expected.append(at, n);
        buffer.commit(n);
        buffer.append('-');
        expected += '-';
        ASSERT_EQ(buffer.size(), expected.size());
    }
    EXPECT_GT(room, 4u);  // later slabs hold several blocks
    EXPECT_EQ(content(buffer), expected);
    buffer.step_back();
    expected.pop_back();
    EXPECT_EQ(buffer.last(), expected.back());
    EXPECT_EQ(content(buffer), expected);
    i18n::StringBuffer<char> copy(buffer);
    EXPECT_EQ(content(copy), expected);
}

// A long content is copied out past the cache: every byte still arrives, at
// every alignment of the result, and the terminator after them.
TEST(StringBuffer, LongContentComesOutWhole) {
    i18n::StringBuffer<char> buffer(256);
    std::string expected;
    for (size_t i = 0; expected.size() < (600u << 10) + 13; ++i) {
        std::string piece(1 + i % 97, static_cast<char>('!' + i % 90));
        buffer.append(piece.data(), piece.size());
        expected += piece;
    }
    EXPECT_EQ(content(buffer), expected);
    for (size_t offset : {0, 1, 31}) {
        SCOPED_TRACE(offset);
        std::string out(expected.size() + offset + 4, '\xCC');
        i18n::copy_to_result(out.data() + offset, expected.data(), expected.size());
        EXPECT_EQ(out.substr(offset, expected.size()), expected);
        EXPECT_EQ(out.substr(0, offset), std::string(offset, '\xCC'));
        EXPECT_EQ(out.substr(offset + expected.size()), std::string(4, '\xCC'));
    }
}

TEST(StringBuffer, CopiesAreIndependent) {
    i18n::StringBuffer<char> buffer(4);
    buffer.append("0123456789", 10);
    i18n::StringBuffer<char> copy(buffer);
    copy.append('!');
    buffer.step_back();
    EXPECT_EQ(content(copy), "0123456789!");
    EXPECT_EQ(content(buffer), "012345678");
    i18n::StringBuffer<char> assigned(16);
    assigned = copy;
    EXPECT_EQ(content(assigned), "0123456789!");
}

TEST(StringBuffer, ClearKeepsBlocksForReuse) {
    i18n::StringBuffer<char> buffer(4);
    buffer.append("0123456789", 10);
    buffer.clear();
    EXPECT_EQ(content(buffer), "");
    buffer.append("ab", 2);
    EXPECT_EQ(content(buffer), "ab");
}

}  // namespace

namespace {

TEST(ScratchArray, CopiesDeeplyAndReusesBlocksOfTheThread) {
    // A size no other test uses, so that the pool holds no other block for it.
    char text[12345] = "scratch";
    i18n::ScratchArray<char> first(text, sizeof text);
    i18n::ScratchArray<char> copy(first);
    EXPECT_NE(copy.data(), first.data());
    EXPECT_STREQ(copy.data(), "scratch");
    char *block = first.data();
    first = i18n::ScratchArray<char>();
    EXPECT_EQ(first.size(), 0u);
    // The block given back is the one the next request of its size gets.
    i18n::ScratchArray<char> again(sizeof text);
    EXPECT_EQ(again.data(), block);
    i18n::ScratchArray<char> moved(std::move(again));
    EXPECT_EQ(moved.data(), block);
    EXPECT_EQ(again.data(), nullptr);
}

}  // namespace
