// The quoted-printable plain-run finder on both paths, AVX2 and scalar,
// against a byte-by-byte walk of the table: every byte value, every start
// and length, tables widened after their look-up was made, and a table whose
// upper half is not all marked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "avx2.h"
#include "base64_reference.h"
#include "i18n/encoders.h"
#include "qp_plain_runs.h"

namespace {

size_t reference_run(const unsigned char *table, const std::string &text, size_t most) {
    size_t run = 0;
    while (run < most && !table[static_cast<unsigned char>(text[run])]) ++run;
    return run;
}

TEST(PlainRuns, EveryStartAndLengthMatchesTheTableOnBothPaths) {
    unsigned char body[256], widened[256], odd[256];
    i18n_mime::QPEncodingTable{body, false};
    i18n_mime::QPEncodingTable{widened, false}.set_encode_chars(" e_?");
    i18n_mime::QPEncodingTable{odd, false};
    odd[0xE9] = 0;  // not every byte from 0x80 on is marked: the scalar path serves it
    // Mostly plain text with every byte value in it, so that runs of every length occur.
    std::string text;
    const std::string mixed = i18n_test::mixed_bytes(400);
    for (size_t i = 0; i < mixed.size(); ++i) text += std::string(i % 37, 'a' + static_cast<char>(i % 26)) + mixed[i];
    const bool native = i18n_mime::use_avx2;
    for (bool avx2 : {false, true}) {
        if (avx2 && !native) continue;
        i18n_mime::use_avx2 = avx2;
        for (const unsigned char *table : {body, widened, odd}) {
            const i18n_mime::PlainRuns runs(table);
            std::string wide(200, '\xCC');
            for (size_t start = 0; start + 100 < text.size(); start += 7) {
                for (size_t most : {0, 1, 8, 31, 32, 33, 64, 75, 100}) {
                    SCOPED_TRACE(testing::Message() << (avx2 ? "AVX2" : "scalar") << ", start " << start << ", most "
                                                    << most << (table == odd ? ", odd table" : ""));
                    // Readable and writable past `most`, as inside a chunk and a slab.
                    std::string piece = text.substr(start, most);
                    std::string out(most + 8, '\xCC');
                    size_t run = runs.copy(text.data() + start, most, text.size() - start, out.data(), most);
                    ASSERT_EQ(run, runs.copy(text.data() + start, most, text.size() - start, wide.data(), wide.size()));
                    ASSERT_EQ(run, reference_run(table, piece, most));
                    ASSERT_EQ(out.substr(0, run), piece.substr(0, run));
                    ASSERT_EQ(out.substr(most), std::string(8, '\xCC'));  // nothing past the room
                }
            }
        }
    }
    i18n_mime::use_avx2 = native;
}

TEST(PlainRuns, ATableWidenedInPlaceIsSeenByTheNextChunk) {
    unsigned char table[256];
    i18n_mime::QPEncodingTable{table, false};
    const std::string text(64, 'x');
    std::string out(64, '\xCC');
    EXPECT_EQ(i18n_mime::PlainRuns(table).copy(text.data(), 64, 64, out.data(), 64), 64u);
    i18n_mime::QPEncodingTable{table, true}.set_encode_char('x');
    EXPECT_EQ(i18n_mime::PlainRuns(table).copy(text.data(), 64, 64, out.data(), 64), 0u);
}

}  // namespace
