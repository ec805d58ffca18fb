// Key paths as reg.exe takes them on its command line and as .reg files name
// their sections: [\\MACHINE\]ROOT[\SUBKEY], the root short or long and in any
// case.  Pure text: nothing here opens a key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarn::tool {

// The roots the tool reaches.  Another machine's registry offers only
// HKEY_LOCAL_MACHINE, as Windows connects it.
enum class RegRoot { local_machine, current_user };

struct RegPath {
    std::string machine;  // empty for this machine
    RegRoot root = RegRoot::local_machine;
    std::string subkey;   // no leading or trailing backslash; empty for the root itself

    bool operator==(const RegPath &) const = default;
};

// HKLM or HKEY_LOCAL_MACHINE, HKCU or HKEY_CURRENT_USER, in any case.
std::optional<RegRoot> parse_reg_root(std::string_view name);
// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER: the form output and .reg files show.
const char *reg_root_name(RegRoot root);

// nullopt for what reg.exe calls an invalid key name: an unknown root, an
// empty key name between two backslashes, a machine without a root, or the
// current user's root of another machine.  One trailing backslash is allowed.
std::optional<RegPath> parse_reg_path(std::string_view text);

// The full name as output shows it: [\\MACHINE\]HKEY_...[\SUBKEY].
std::string reg_path_text(const RegPath &path);
// ROOT\SUBKEY, or ROOT alone for the root, as .reg sections name keys.
std::string reg_key_text(RegRoot root, std::string_view subkey);
// The subkey `child` of `parent` ("" is the root).
std::string child_subkey(std::string_view parent, std::string_view child);

}  // namespace quarn::tool
