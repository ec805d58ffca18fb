// The charset handle behind i18n_charset_t (internal).
#pragma once

#include <string>

#include "i18n.h"
#include "i18n/converter.h"

struct i18n_charset {
    i18n::UConverterPtr converter;  // configured; shared by every user of the handle
    const char *name;               // the published name: ICU's text or own_name
    std::string own_name;
};
