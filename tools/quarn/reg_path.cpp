// Parsing and printing of registry key paths for quarn reg and .reg files.
#include "reg_path.h"

#include <strings.h>

namespace quarn::tool {
namespace {

bool same_name(std::string_view a, const char *b) {
    return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

// No empty key names: "a\\b" and a leading backslash are not paths of keys.
bool well_formed_subkey(std::string_view subkey) {
    size_t start = 0;
    while (start <= subkey.size()) {
        size_t end = subkey.find('\\', start);
        if (end == std::string_view::npos) end = subkey.size();
        if (end == start) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::optional<RegRoot> parse_reg_root(std::string_view name) {
    if (same_name(name, "HKLM") || same_name(name, "HKEY_LOCAL_MACHINE")) return RegRoot::local_machine;
    if (same_name(name, "HKCU") || same_name(name, "HKEY_CURRENT_USER")) return RegRoot::current_user;
    return std::nullopt;
}

const char *reg_root_name(RegRoot root) {
    return root == RegRoot::local_machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::optional<RegPath> parse_reg_path(std::string_view text) {
    RegPath path;
    if (text.starts_with("\\\\")) {
        text.remove_prefix(2);
        size_t end = text.find('\\');
        if (end == 0 || end == std::string_view::npos) return std::nullopt;
        path.machine = text.substr(0, end);
        text.remove_prefix(end + 1);
    }
    size_t end = text.find('\\');
    auto root = parse_reg_root(text.substr(0, end));
    if (!root || (!path.machine.empty() && *root == RegRoot::current_user)) return std::nullopt;
    path.root = *root;
    if (end == std::string_view::npos) return path;
    std::string_view subkey = text.substr(end + 1);
    if (subkey.ends_with('\\')) subkey.remove_suffix(1);
    if (!subkey.empty() && !well_formed_subkey(subkey)) return std::nullopt;
    path.subkey = subkey;
    return path;
}

std::string reg_key_text(RegRoot root, std::string_view subkey) {
    std::string text = reg_root_name(root);
    if (!subkey.empty()) text.append("\\").append(subkey);
    return text;
}

std::string reg_path_text(const RegPath &path) {
    std::string machine = path.machine.empty() ? "" : "\\\\" + path.machine + "\\";
    return machine + reg_key_text(path.root, path.subkey);
}

std::string child_subkey(std::string_view parent, std::string_view child) {
    return parent.empty() ? std::string(child) : std::string(parent) + "\\" + std::string(child);
}

}  // namespace quarn::tool
