// Key and value names as the registry compares them: case-insensitive and
// case-preserving with Windows' upper-case folding, within Windows' limits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "winbase.h"

namespace quarn::win32::registry {

// The folded form of `name`, the form stored for look-ups.
std::string fold_name(std::string_view name);

// Length in UTF-16 units, the unit of Windows' name limits.
size_t name_units(std::string_view name);

// The components of a subkey path.  A path that begins with a backslash
// fails with ERROR_BAD_PATHNAME; a component longer than REG_MAX_KEY_NAME
// with ERROR_INVALID_PARAMETER.  Empty components elsewhere are dropped, as
// Windows drops a trailing backslash.
LONG split_key_path(const char *path, std::vector<std::string_view> &components);

}  // namespace quarn::win32::registry
