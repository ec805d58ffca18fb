// What the quarn reg operations share: their command lines in reg.exe's
// /switch style, their messages, and handles and helpers over the registry
// calls of the Win32 layer.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "reg_file.h"
#include "reg_path.h"
#include "win32.h"

namespace quarn::tool::reg {

// ---- command lines ----------------------------------------------------------

struct Switch {
    const char *name;  // lower case, with its slash: "/v"
    bool takes_value;
};

// An operation's command line once read: its positional arguments, then its
// switches by lower-case name ("" as the value of a flag).
struct RegArgs {
    std::string operation;
    std::vector<std::string> positionals;
    std::map<std::string, std::string> switches;

    bool has(const std::string &name) const { return switches.count(name) != 0; }
    std::string value(const std::string &name) const;
};

struct RegOperation {
    const char *name;
    const char *help;
    size_t positionals;  // the leading arguments: KEY, KEY FILE or FILE
    std::vector<Switch> switches;
    void (*run)(const RegArgs &args);
};

extern const RegOperation query_operation;
extern const RegOperation add_operation;
extern const RegOperation delete_operation;
extern const RegOperation export_operation;
extern const RegOperation import_operation;

// ---- messages ---------------------------------------------------------------

// "ERROR: message" on standard error, then the tool exits with 1.
[[noreturn]] void fail_with(const std::string &message);
// reg.exe's answer to a bad command line, pointing at the operation's help.
[[noreturn]] void fail_syntax(const RegArgs &args, const std::string &detail = "");
// The first positional argument as a key path, or reg.exe's invalid key name error.
RegPath key_argument(const RegArgs &args);
// At most one of `names` given; a syntax error otherwise.
void check_exclusive(const RegArgs &args, const std::vector<std::string> &names);
// Asks `question` on standard output and reads Yes or No from standard
// input; the end of input counts as No.
bool confirm(const std::string &question);
// The message after answering No; the tool then exits with 1.
[[noreturn]] void cancelled();
void print_success();

// ---- value types ------------------------------------------------------------

// REG_SZ, REG_DWORD, ... for the numbers Windows names, 0x... for any other.
std::string type_name(uint32_t type);
// The number of a type name, in any case, REG_DWORD_LITTLE_ENDIAN included.
std::optional<uint32_t> type_of_name(const std::string &name);

// ---- the registry -----------------------------------------------------------

// A registry call that failed, with its Win32 error code; the operation ends
// with the code's message.
struct RegCallError {
    LONG code;
};
// Throws RegCallError for anything but ERROR_SUCCESS.
void check(LONG code);
// reg.exe's text for a failed call.
std::string error_text(LONG code);

// An open key, closed at the end of its scope.  Predefined roots are not closed.
class Key {
public:
    Key() = default;
    Key(HKEY handle, bool owned) : handle_(handle), owned_(owned) {}
    Key(Key &&other) noexcept : handle_(other.handle_), owned_(other.owned_) { other.handle_ = nullptr; }
    Key &operator=(Key &&other) noexcept;
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    ~Key();

    HKEY get() const { return handle_; }

private:
    HKEY handle_ = nullptr;
    bool owned_ = false;
};

// The root of `path`: this machine's predefined key, or a connection to the
// registry of path.machine.
Key open_root(const RegPath &path);
Key open_key(const Key &root, const std::string &subkey, REGSAM access);
Key create_key(const Key &root, const std::string &subkey, REGSAM access);

// The key's values in enumeration order, one at a time or all, and its
// subkeys' names in theirs.
void for_each_value(const Key &key, const std::function<void(const RegFileValue &)> &visit);
std::vector<RegFileValue> read_values(const Key &key);
std::vector<std::string> read_subkey_names(const Key &key);
// One value, or nullopt when the key has none of that name.
std::optional<RegFileValue> read_value(const Key &key, const std::string &name);
void write_value(const Key &key, const RegFileValue &value);
// Removes `subkey` of `root` with everything below it, all at once or not at all.
void delete_tree(const Key &root, const std::string &subkey);

}  // namespace quarn::tool::reg
