// DOS paths in the layer: making them absolute as GetFullPathNameW does, and
// finding the Unix file behind one through the drive table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "winbase.h"

namespace quarn::win32 {

// The absolute DOS form of `path`; nullopt with the last error set.
// Extended-length paths ("\\?\...") come back unchanged.
std::optional<std::u16string> full_dos_path(std::u16string_view path);

// What a Unix path may end in.
enum class PathTail { name, pattern };

// The Unix path of any DOS path, extended-length or not: drive paths through
// the drive table; "\\.\X:" as the drive.  Network paths fail with
// ERROR_BAD_NETPATH, names Windows forbids with ERROR_INVALID_NAME (a
// pattern may carry wildcards in its last component), an unknown drive with
// ERROR_PATH_NOT_FOUND.  nullopt with the last error set.
std::optional<std::string> unix_path_of_dos(std::u16string_view path, PathTail tail = PathTail::name);

// True for "\" and "/".
inline bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace quarn::win32
