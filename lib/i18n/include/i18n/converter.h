// Fresh ICU converters configured the library's way: fallbacks off and stop
// callbacks, so that an unmappable or malformed character ends a conversion.
#pragma once

#include <memory>
#include <unicode/ucnv.h>

#include "i18n.h"

namespace i18n {

struct ConverterCloser {
    void operator()(UConverter *converter) const { ucnv_close(converter); }
};
using UConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Sets fallbacks off and both stop callbacks on `converter`.
I18N_API void configure_converter(UConverter *converter);

// A new configured converter for `name`, owned by the caller; NULL (and catalogue
// message 0 on standard error) when ICU knows no such charset.
I18N_API UConverter *open_ucnv_converter(const char *name);

}  // namespace i18n
