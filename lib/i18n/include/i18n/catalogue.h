// The library's message catalogue: indexes of its messages, and the hexadecimal
// dumps that the conversion failure reports show.
#pragma once

#include <cstddef>
#include <string>
#include <unicode/umachine.h>

#include "i18n.h"
#include "i18n/error.h"

namespace i18n {

enum MessageIndex {
    MSG_CANNOT_OPEN_CONVERTER = 0,
    MSG_TO_UNICODE_FAILED = 1,
    MSG_FROM_UNICODE_FAILED = 2,
    MSG_CHARSET_TO_CHARSET_FAILED = 3,
    MSG_INVALID_ALIAS = 4
};

// "\x" and the lowercase hexadecimal value of each byte (or UTF-16 unit).
I18N_API std::string dump_bytes(const char *bytes, size_t count);
I18N_API std::string dump_units(const UChar *units, size_t count);

// Message 1: the input bytes around `stop`, where the to-Unicode converter stopped.
I18N_API void report_to_unicode_failure(const char *input, int32_t length, int32_t stop);
// Message 2: the UTF-16 unit before `stop`, where the from-Unicode converter stopped.
I18N_API void report_from_unicode_failure(const UChar *input, int32_t stop);
// Message 3: the input bytes `bytes` of `input` (a character), and the
// `count` UTF-16 units it became, which the target charset cannot represent.
I18N_API void report_charset_to_charset_failure(const char *input, const BegEnd &bytes, const UChar *units,
                                                int32_t count);

}  // namespace i18n
