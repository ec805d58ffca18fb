// The credentials suites' view of a record: its fields as text.
#pragma once

#include <string>

#include "nt.h"

namespace quarn::test {

// "name sid primary" on the first line, then "group-name sid" per group;
// "<none>" when the call failed.
std::string credentials_text(const char *name);

}  // namespace quarn::test
