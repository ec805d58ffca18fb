// quarn reg delete: a key with its whole subtree, one value, or all of a
// key's values, asking first unless /f, as reg.exe does.
#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

constexpr const char *kHelp = R"text(quarn reg delete KEY [/v NAME | /ve | /va] [/f]

  KEY    [\\MACHINE\]ROOT\SUBKEY; without /v, /ve or /va the key is deleted
         with every key and value below it
  /v     delete the value NAME only
  /ve    delete the default value, "(Default)"
  /va    delete all values of KEY, keeping the key and its subkeys
  /f     delete without asking
)text";

void delete_key(const RegArgs &args, const RegPath &path, const Key &root) {
    // A root cannot be deleted; reg.exe refuses it as a key name.
    if (path.subkey.empty()) fail_with("Invalid key name.\nType \"quarn reg delete --help\" for usage.");
    open_key(root, path.subkey, KEY_READ);
    if (!args.has("/f") && !confirm("Permanently delete the registry key " + reg_path_text(path) + " (Yes/No)? "))
        cancelled();
    delete_tree(root, path.subkey);
}

void delete_values(const RegArgs &args, const RegPath &path, const Key &root) {
    Key key = open_key(root, path.subkey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!args.has("/f") && !confirm("Delete all values under the registry key " + reg_path_text(path) + " (Yes/No)? "))
        cancelled();
    for (const auto &value : read_values(key)) check(RegDeleteValueA(key.get(), value.name.c_str()));
}

void delete_value(const RegArgs &args, const RegPath &path, const Key &root) {
    Key key = open_key(root, path.subkey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    std::string name = args.value("/v");
    if (!read_value(key, name)) throw RegCallError{static_cast<LONG>(ERROR_FILE_NOT_FOUND)};
    std::string shown = name.empty() ? "(Default)" : name;
    if (!args.has("/f") && !confirm("Delete the registry value " + shown + " (Yes/No)? ")) cancelled();
    check(RegDeleteValueA(key.get(), name.c_str()));
}

void run_delete(const RegArgs &args) {
    RegPath path = key_argument(args);
    check_exclusive(args, {"/v", "/ve", "/va"});
    Key root = open_root(path);
    if (args.has("/va"))
        delete_values(args, path, root);
    else if (args.has("/v") || args.has("/ve"))
        delete_value(args, path, root);
    else
        delete_key(args, path, root);
    print_success();
}

}  // namespace

const RegOperation delete_operation = {
    "delete", kHelp, 1, {{"/v", true}, {"/ve", false}, {"/va", false}, {"/f", false}}, run_delete};

}  // namespace quarn::tool::reg
