// Line cycles: where lines end, what opens and closes them, the header cycle's
// encoded words, and the invariant reports.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "capture.h"
#include "i18n/line_cycle.h"

namespace {

using i18n_test::stderr_of;

std::string content(const i18n::StringBuffer<char> &buffer) {
    std::unique_ptr<char[]> text(buffer.get_str(nullptr));
    return text.get();
}

// Writes `count` pieces of `size` letters through the cycle.
std::string write_pieces(i18n::LineCycle &cycle, int count, int size) {
    i18n::StringBuffer<char> out(256);
    for (int i = 0; i < count; ++i) {
        cycle.move_line(out, size);
        for (int j = 0; j < size; ++j) out.append('x');
    }
    return content(out);
}

TEST(LineCycle, FirstMoveWritesNoBreak) {
    i18n::LineCycle cycle(76, nullptr, "=", "\r\n");
    EXPECT_EQ(write_pieces(cycle, 1, 1), "x");
}

TEST(LineCycle, QuotedPrintableBodyShape) {
    i18n::LineCycle cycle(76, nullptr, "=", "\r\n");
    // 75 on the first line, 73 on each continuation line.
    std::string out = write_pieces(cycle, 75 + 73 + 5, 1);
    EXPECT_EQ(out, std::string(75, 'x') + "=\r\n" + std::string(73, 'x') + "=\r\n" + std::string(5, 'x'));
}

TEST(LineCycle, Base64BodyShape) {
    i18n::LineCycle cycle(76, nullptr, nullptr, "\r\n");
    EXPECT_EQ(write_pieces(cycle, 19, 4), std::string(76, 'x'));
    i18n::LineCycle longer(76, nullptr, nullptr, "\r\n");
    EXPECT_EQ(write_pieces(longer, 19 + 18 + 1, 4),
              std::string(76, 'x') + "\r\n" + std::string(72, 'x') + "\r\n" + std::string(4, 'x'));
}

TEST(LineCycle, LegalityAndAvailableBytes) {
    i18n::LineCycle cycle(76, nullptr, "=", "\r\n");
    EXPECT_TRUE(cycle.is_legal());
    EXPECT_EQ(cycle.get_num_bytes_avail(), 73);
    std::string printed = stderr_of([] {
        i18n::LineCycle tight(5, "ab", "c", "de");
        EXPECT_FALSE(tight.is_legal());
    });
    EXPECT_NE(printed.find("assertion failed: is_legal(), file "), std::string::npos) << printed;
}

TEST(LineCycle, TooBigAPieceIsReportedAndWritten) {
    i18n::LineCycle cycle(10, nullptr, "=", "\r\n");
    std::string out;
    std::string printed = stderr_of([&] { out = write_pieces(cycle, 1, 8); });
    EXPECT_NE(printed.find("assertion failed: num_bytes <= get_num_bytes_avail(), file "), std::string::npos);
    EXPECT_EQ(out, std::string(8, 'x'));
}

TEST(LineCycle, CopiesOwnTheirStrings) {
    auto original = std::make_unique<i18n::LineCycle>(20, "<", ">", "|");
    i18n::LineCycle copy(*original);
    i18n::LineCycle assigned(30, nullptr, nullptr, nullptr);
    assigned = *original;
    original.reset();
    EXPECT_EQ(write_pieces(copy, 4, 5), "<xxxxxxxxxxxxxxx>|<xxxxx");
    EXPECT_EQ(write_pieces(assigned, 4, 5), "<xxxxxxxxxxxxxxx>|<xxxxx");
}

TEST(HeaderLineCycle, EncodedWordsOfUtf8) {
    i18n_mime::HeaderLineCycle cycle("UTF-8", I18N_MIME_QP);
    EXPECT_EQ(cycle.get_num_bytes_avail(), 60);
    i18n::StringBuffer<char> out(256);
    for (int i = 0; i < 63 + 60 + 1; ++i) {
        cycle.move_line(out, 1);
        out.append('x');
    }
    cycle.close_cycle(out);
    EXPECT_EQ(content(out), "=?UTF-8?Q?" + std::string(63, 'x') + "?=\r\n\t=?UTF-8?Q?" + std::string(60, 'x') +
                                "?=\r\n\t=?UTF-8?Q?x?=");
}

TEST(HeaderLineCycle, AvailableBytesDependOnTheCharsetName) {
    struct Row {
        const char *charset;
        i18n_mime_encoding_t type;
        int32_t avail;
    };
    const Row rows[] = {{"UTF-8", I18N_MIME_QP, 60},
                        {"UTF-8", I18N_MIME_B64, 60},
                        {"ISO-2022-JP", I18N_MIME_B64, 54},
                        {"ISO-8859-15", I18N_MIME_QP, 54}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.charset);
        i18n_mime::HeaderLineCycle cycle(row.charset, row.type);
        EXPECT_EQ(cycle.get_num_bytes_avail(), row.avail);
        i18n_mime::HeaderLineCycle copy(cycle);
        EXPECT_EQ(copy.get_num_bytes_avail(), row.avail);
    }
}

TEST(HeaderLineCycle, NoneIsReportedAndTreatedAsQuotedPrintable) {
    std::string out;
    std::string printed = stderr_of([&] {
        i18n_mime::HeaderLineCycle cycle("UTF-8", I18N_MIME_NONE);
        out = write_pieces(cycle, 1, 1);
    });
    EXPECT_NE(printed.find("assertion failed: e_type != I18N_MIME_NONE, file "), std::string::npos) << printed;
    EXPECT_EQ(out, "=?UTF-8?Q?x");
}

TEST(HeaderLineCycle, Base64WordsOpenAndClose) {
    i18n_mime::HeaderLineCycle cycle("UTF-8", I18N_MIME_B64);
    i18n::StringBuffer<char> out(256);
    cycle.start_cycle(out);
    out.append("YWJj", 4);
    cycle.close_cycle(out);
    cycle.start_cycle(out);
    out.append("ZA==", 4);
    cycle.close_cycle(out);
    EXPECT_EQ(content(out), "=?UTF-8?B?YWJj?=\r\n\t=?UTF-8?B?ZA==?=");
}

}  // namespace
