// One-shot conversions of a whole string through UTF-16: i18n_iconv_easy, and
// i18n_iconv_easy_ex, which also tells why and where a conversion failed.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <unicode/ucnv.h>
#include <vector>

#include "charset_handle.h"
#include "i18n.h"

namespace {

constexpr size_t kMaxCapacity = INT32_MAX;

UConverter *converter_of(i18n_charset_t charset) { return charset->converter.get(); }

// Room for the converted text: four bytes per unit, and enough for the shift
// sequences of a stateful target.
size_t allocation_for(UConverter *to, int32_t units) {
    size_t per_unit = static_cast<size_t>(units) * 4 + 1;
    size_t worst = static_cast<size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(static_cast<size_t>(units), ucnv_getMaxCharSize(to))) + 1;
    return std::min(std::max(per_unit, worst), kMaxCapacity);
}

// The second stage of i18n_iconv_easy_ex: UTF-16 to the target. ICU wants an
// offset per output byte; a bounded window of them is enough to know the source
// of the last byte written, and gives the same bytes as one call would.
struct FromUnicodeResult {
    UErrorCode code = U_ZERO_ERROR;
    size_t written = 0;
    int32_t last_unit = -1;  // the unit behind the last byte written, -1 if none
};

FromUnicodeResult from_unicode(UConverter *to, const UChar *units, int32_t count, char *out, size_t capacity) {
    constexpr size_t kWindow = 64 * 1024;
    FromUnicodeResult result;
    std::vector<int32_t> offsets(std::max<size_t>(std::min(capacity, kWindow), 1));
    char *target = out;
    char *const limit = out + capacity;
    const UChar *source = units;
    bool resumed = false;  // the window follows one that ended inside a character
    for (;;) {
        char *window_begin = target;
        const UChar *call_source = source;
        char *window_end = target + std::min(static_cast<size_t>(limit - target), offsets.size());
        result.code = U_ZERO_ERROR;
        ucnv_fromUnicode(to, &target, window_end, &source, units + count, offsets.data(), true, &result.code);
        size_t n = static_cast<size_t>(target - window_begin);
        if (n) {
            // Bytes that ICU held back from the previous window carry no offset here.
            size_t held = 0;
            if (resumed)
                while (held < n && offsets[held] == -1) ++held;
            int32_t offset = offsets[n - 1];
            if (n > held) result.last_unit = offset == -1 ? -1 : offset + static_cast<int32_t>(call_source - units);
        }
        bool more_room = window_end != limit;
        if (result.code == U_BUFFER_OVERFLOW_ERROR && more_room) {
            resumed = true;
            continue;
        }
        break;
    }
    result.written = static_cast<size_t>(target - out);
    return result;
}

}  // namespace

extern "C" char *i18n_iconv_easy(i18n_charset_t from, const char *in, size_t in_len, i18n_charset_t to, char *out,
                                 size_t *out_len) {
    if (!from || !to || (!in && in_len) || in_len > kMaxCapacity || (out && !out_len)) return nullptr;
    int32_t length = static_cast<int32_t>(in_len);
    // Two units a byte, as a byte of SCSU can stand for a supplementary
    // character; a charset that gives still more is measured and converted again.
    int32_t room = static_cast<int32_t>(std::min<size_t>(std::max<size_t>(in_len * 2, 1), kMaxCapacity));
    std::unique_ptr<UChar[]> units(new UChar[static_cast<size_t>(room)]);
    UErrorCode code = U_ZERO_ERROR;
    int32_t count = ucnv_toUChars(converter_of(from), units.get(), room, in ? in : "", length, &code);
    if (code == U_BUFFER_OVERFLOW_ERROR) {
        room = count;
        units.reset(new UChar[static_cast<size_t>(room)]);
        code = U_ZERO_ERROR;
        count = ucnv_toUChars(converter_of(from), units.get(), room, in ? in : "", length, &code);
    }
    if (U_FAILURE(code)) return nullptr;
    std::unique_ptr<char[]> owned;
    size_t capacity = out ? std::min(*out_len, kMaxCapacity) : allocation_for(converter_of(to), count);
    if (!out) owned.reset(new char[capacity]);
    char *target = out ? out : owned.get();
    code = U_ZERO_ERROR;
    int32_t written = ucnv_fromUChars(converter_of(to), target, static_cast<int32_t>(capacity), units.get(), count, &code);
    if (U_FAILURE(code)) return nullptr;
    if (out_len) *out_len = static_cast<size_t>(written);
    return owned ? owned.release() : out;
}

extern "C" int i18n_iconv_easy_ex(i18n_charset_t from, const char *in, size_t in_len, size_t *fail_pos,
                                  i18n_charset_t to, char **out, size_t *out_len) {
    if (!out || !out_len) return I18N_ICONV_MALFORMED;
    size_t caller_capacity = *out ? std::min(*out_len, kMaxCapacity) : 0;
    *out_len = 0;
    if (!from || !to || (!in && in_len) || in_len > kMaxCapacity / 7) {
        if (fail_pos) *fail_pos = 0;
        return I18N_ICONV_MALFORMED;
    }
    int32_t length = static_cast<int32_t>(in_len);
    UConverter *source_converter = converter_of(from);
    UConverter *target_converter = converter_of(to);
    // A failed call leaves a converter mid-character; start each call clean.
    ucnv_reset(source_converter);
    ucnv_reset(target_converter);

    size_t room = std::max<size_t>(static_cast<size_t>(length) * 2, 1);
    std::vector<UChar> units(room);
    std::vector<int32_t> unit_offsets(room);
    UChar *unit_end = units.data();
    const char *source = in ? in : "";
    UErrorCode code = U_ZERO_ERROR;
    ucnv_toUnicode(source_converter, &unit_end, units.data() + room, &source, source + length, unit_offsets.data(),
                   true, &code);
    if (U_FAILURE(code)) {
        if (fail_pos) *fail_pos = static_cast<size_t>(source - (in ? in : ""));
        return code == U_TRUNCATED_CHAR_FOUND || code == U_INDEX_OUTOFBOUNDS_ERROR ? I18N_ICONV_TRUNCATED
                                                                                    : I18N_ICONV_MALFORMED;
    }
    int32_t count = static_cast<int32_t>(unit_end - units.data());

    size_t capacity = *out ? caller_capacity : static_cast<size_t>(count) * 7 + 1;
    if (!*out) *out = new char[capacity];
    FromUnicodeResult result = from_unicode(target_converter, units.data(), count, *out, capacity);
    *out_len = result.written;
    if (U_SUCCESS(result.code)) return I18N_ICONV_OK;
    if (fail_pos) {
        int32_t position = result.last_unit >= 0 ? unit_offsets[static_cast<size_t>(result.last_unit)] : 0;
        *fail_pos = static_cast<size_t>(std::max(position, 0));
    }
    if (result.code == U_INVALID_CHAR_FOUND) return I18N_ICONV_UNMAPPABLE;
    if (result.code == U_BUFFER_OVERFLOW_ERROR) return I18N_ICONV_NO_ROOM;
    // Any other failure, such as a lone surrogate that UTF-7 can carry, leaves
    // the output cut short: it is not a success.
    return I18N_ICONV_MALFORMED;
}
