// The converter factory: every converter of the library is opened here, with
// fallbacks off and stop callbacks, so nothing is ever substituted.
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include "i18n/catalogue.h"
#include "i18n/converter.h"
#include "i18n/ucnv_iter.h"
#include "messages.h"

namespace i18n {

void configure_converter(UConverter *converter) {
    UErrorCode code = U_ZERO_ERROR;
    ucnv_setFallback(converter, false);
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &code);
    code = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &code);
}

UConverter *open_ucnv_converter(const char *name) {
    UErrorCode code = U_ZERO_ERROR;
    // ICU reads a missing or empty name as the default charset; callers here name one.
    UConverter *converter = name && *name ? ucnv_open(name, &code) : nullptr;
    if (!converter || U_FAILURE(code)) {
        ucnv_close(converter);
        imsg_print(kMessageKind, message_table(), MSG_CANNOT_OPEN_CONVERTER, name ? name : "(null)");
        return nullptr;
    }
    configure_converter(converter);
    return converter;
}

bool is_stateful_converter(UConverter *converter) {
    switch (ucnv_getType(converter)) {
    case UCNV_ISO_2022:
    case UCNV_HZ:
    case UCNV_UTF7:
    case UCNV_IMAP_MAILBOX:
    case UCNV_EBCDIC_STATEFUL:
    case UCNV_SCSU:
    case UCNV_BOCU1:
        return true;
    default:
        return false;
    }
}

bool is_stateful_charset(const char *name) {
    UErrorCode code = U_ZERO_ERROR;
    UConverterPtr converter(name && *name ? ucnv_open(name, &code) : nullptr);
    return converter && U_SUCCESS(code) && is_stateful_converter(converter.get());
}

}  // namespace i18n
