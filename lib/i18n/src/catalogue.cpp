// The message catalogue, its hexadecimal dumps, and the reports of conversion
// failures that quote the bytes or UTF-16 units where a converter stopped.
#include <algorithm>
#include <cstdio>
#include <string>

#include "i18n.h"
#include "i18n/catalogue.h"
#include "messages.h"

namespace i18n {
namespace {

const char *const kTexts[] = {
    "Unable to open a UConverter for charset %s",
    "Error converting input to Unicode\nThe first several bytes starting at the beginning of the problematic MB "
    "character have the following hexadecimal representation: %s.\nThe beginning of the problematic MB character "
    "is %d bytes away from the beginning of the input string.\n",
    "Error converting unicode to output.\nThe problematic wide character has the following hexadecimal "
    "representation: %s.\nIt is %d wide characters away from the beginning of the Unicode sequence.\n",
    "Error converting unicode to output.\nThe hexadecimal representation of the problematic MB character is: "
    "%s.\nIt is %d bytes away from the beginning of the input string\nIts unicode hexadecimal representation is "
    "%s.\n",
    "Character set alias %s is invalid",
};
const uint16_t kNumbers[] = {1, 2, 3, 4, 5};

const imsg_table_t kTable = {"i18n_lib", "i18n", 9, 5, kTexts, kNumbers};

template <class Unit>
std::string dump(const Unit *units, size_t count) {
    std::string text;
    text.reserve(count * 6);
    char hex[16];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(hex, sizeof hex, "\\x%x", static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(units[i])));
        text += hex;
    }
    return text;
}

}  // namespace

const imsg_table_t *message_table() { return &kTable; }

std::string dump_bytes(const char *bytes, size_t count) { return dump(bytes, count); }
std::string dump_units(const UChar *units, size_t count) { return dump(units, count); }

void report_to_unicode_failure(const char *input, int32_t length, int32_t stop) {
    int32_t begin = std::clamp(stop - 1, 0, std::max(length, 0));
    int32_t end = std::min(begin + 5, length);
    imsg_print(kMessageKind, &kTable, MSG_TO_UNICODE_FAILED, dump_bytes(input + begin, static_cast<size_t>(end - begin)).c_str(),
               stop - 1);
}

void report_from_unicode_failure(const UChar *input, int32_t stop) {
    int32_t unit = std::max(stop - 1, 0);
    std::string units = stop > 0 ? dump_units(input + unit, 1) : std::string();
    imsg_print(kMessageKind, &kTable, MSG_FROM_UNICODE_FAILED, units.c_str(), stop - 1);
    std::fflush(stderr);
}

void report_charset_to_charset_failure(const char *input, const BegEnd &bytes, const UChar *units, int32_t count) {
    std::string dumped = dump_bytes(input + bytes.begin(), static_cast<size_t>(bytes.size()));
    std::string code = dump_units(units, static_cast<size_t>(count));
    imsg_print(kMessageKind, &kTable, MSG_CHARSET_TO_CHARSET_FAILED, dumped.c_str(), bytes.begin(), code.c_str());
}

}  // namespace i18n

extern "C" const struct imsg_table *_i18n_i18n_msg_table_adr(void) { return i18n::message_table(); }
