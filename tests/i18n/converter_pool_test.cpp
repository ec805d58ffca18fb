// The per-thread converter pool: a converter handed back is reset before its
// next use, whatever state a conversion (finished, cut short or failed) left
// it in, and converters never pass between threads.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "capture.h"
#include "i18n.h"
#include "i18n/converter_pool.h"
#include "i18n/ucnv_iter.h"

namespace {

// Converts UTF-16 text without flushing, so a stateful converter stays shifted.
std::string from_unicode(UConverter *converter, const std::u16string &text, bool flush) {
    char bytes[64];
    char *target = bytes;
    const UChar *source = text.data();
    UErrorCode code = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, bytes + sizeof bytes, &source, source + text.size(), nullptr, flush, &code);
    return U_SUCCESS(code) ? std::string(bytes, target) : "failed";
}

TEST(ConverterPool, AConverterComesBackInItsInitialState) {
    struct Case {
        const char *name;
        std::u16string left_behind;  // converted without a flush, then the converter is handed back
        std::u16string next;
        std::string expected;
    };
    const Case cases[] = {
        // Left in the JIS X 0208 shift, it would write "a" without shifting back.
        {"ISO-2022-JP", u"\u3042", u"a", "a"},
        // A lead surrogate waiting for its trail would swallow the next unit.
        {"UTF-8", u"\xd83d", u"a", "a"},
        {"UTF-7", u"\u00e9", u"a", "a"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        UConverter *first_converter = nullptr;
        {
            i18n::PooledConverter first(c.name);
            ASSERT_TRUE(first);
            first_converter = first.get();
            from_unicode(first.get(), c.left_behind, false);
        }
        i18n::PooledConverter again(c.name);
        EXPECT_EQ(again.get(), first_converter) << "the pool should have kept it";
        EXPECT_EQ(from_unicode(again.get(), c.next, true), c.expected);
    }
}

TEST(ConverterPool, ConcurrentOwnersGetTheirOwnConverters) {
    i18n::PooledConverter first("UTF-8");
    i18n::PooledConverter second("UTF-8");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    i18n::PooledConverter copy = first.clone();
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.get(), first.get());
}

TEST(ConverterPool, ManyCharsetsStillConvertAfterTheOldestAreClosed) {
    const char *names[] = {"UTF-8", "ISO-8859-1", "ISO-8859-2", "ISO-8859-5", "ISO-8859-7", "ISO-8859-15",
                           "windows-1252", "KOI8-R", "Shift_JIS", "EUC-JP", "ISO-2022-JP", "UTF-16BE"};
    for (int round = 0; round < 2; ++round)
        for (const char *name : names) {
            SCOPED_TRACE(name);
            char *encoded = i18n_mime_encode_b64("abc", "UTF-8", name);
            std::string expected = std::string(name) == "UTF-16BE" ? "AGEAYgBj" : "YWJj";
            EXPECT_STREQ(encoded, expected.c_str());
            i18n_mime_free(encoded);
        }
}

TEST(ConverterPool, AnUnknownCharsetIsReportedEveryTime) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::string err = i18n_test::stderr_of([] { EXPECT_FALSE(i18n::PooledConverter("no-such-charset")); });
        EXPECT_NE(err.find("Unable to open a UConverter for charset no-such-charset"), std::string::npos) << err;
    }
}

TEST(ConverterPool, AnotherThreadNeverGetsThisThreadsConverters) {
    UConverter *mine = nullptr;
    {
        i18n::PooledConverter converter("UTF-8");
        mine = converter.get();
    }
    UConverter *theirs = nullptr;
    std::thread([&] {
        i18n::PooledConverter converter("UTF-8");
        theirs = converter.get();
        EXPECT_EQ(from_unicode(converter.get(), u"\u00e9", true), "\xc3\xa9");
    }).join();
    EXPECT_NE(theirs, mine);
    i18n::PooledConverter again("UTF-8");
    EXPECT_EQ(again.get(), mine);
}

TEST(ConverterPool, AConverterOutlivingItsThreadsPoolIsClosed) {
    // The holder is made before the thread's pools, so it is destroyed after
    // them: its converter and chunk arrays find the pools gone.
    std::thread([] {
        thread_local std::optional<i18n::ToUnicodeIter> holder;
        holder.emplace("UTF-8", 86);
        std::string text = "caf\xc3\xa9";
        holder->set_input(text.data(), static_cast<int32_t>(text.size()));
        holder->next();
        EXPECT_TRUE(holder->is_ok());
        EXPECT_EQ(holder->get_out().length, 4);
    }).join();
    i18n::PooledConverter again("UTF-8");
    EXPECT_TRUE(again);
}

TEST(ConverterPool, AFailedConversionLeavesNothingForTheNext) {
    // Malformed UTF-8 stops the first conversion; the same charset then converts cleanly.
    std::string err = i18n_test::stderr_of([] {
        char *failed = i18n_mime_encode_header_qp("a\xc3", "UTF-8", "ISO-8859-1");
        EXPECT_STREQ(failed, "a\xc3");
        i18n_mime_free(failed);
    });
    EXPECT_FALSE(err.empty());
    char *encoded = i18n_mime_encode_header_qp("\xc3\xa9t\xc3\xa9", "UTF-8", "ISO-8859-1");
    EXPECT_STREQ(encoded, "=?ISO-8859-1?Q?=E9t=E9?=");
    i18n_mime_free(encoded);
}

}  // namespace
