// Printing the library's catalogue messages (internal).
#pragma once

#include "ks.h"

namespace i18n {

inline constexpr int kMessageKind = 6;

const imsg_table_t *message_table();

}  // namespace i18n
