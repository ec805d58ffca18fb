// quarn reg query: a key's values and subkeys, one value or a search for a
// value through a tree, printed as reg.exe prints them.
#include <cstdio>

#include "cmd_reg.h"
#include "commands.h"

namespace quarn::tool::reg {
namespace {

constexpr const char *kHelp = R"text(quarn reg query KEY [/v NAME | /ve] [/s]

  KEY    [\\MACHINE\]ROOT[\SUBKEY], ROOT one of HKLM, HKCU (or their long names)
  /v     show the value NAME only
  /ve    show the default value only, "(Default)"
  /s     go through every subkey below KEY as well; with /v or /ve, show
         each key that holds the value and count the matches

Each key is printed as its full name, then its values as
"    NAME    TYPE    DATA" lines: REG_DWORD and REG_QWORD as 0x hex numbers,
binary and other types as hex bytes, REG_MULTI_SZ with its strings joined by \0.
)text";

uint64_t little_endian(std::string_view data) {
    uint64_t number = 0;
    for (size_t i = data.size(); i-- > 0;) number = number << 8 | static_cast<unsigned char>(data[i]);
    return number;
}

std::string hex_number(uint64_t number) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(number));
    return text;
}

std::string hex_bytes(std::string_view data) {
    std::string text;
    for (unsigned char byte : data) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

// The strings of a REG_MULTI_SZ up to its empty terminating one, joined by \0.
std::string joined_strings(std::string_view data) {
    std::string text;
    for (size_t start = 0; start < data.size();) {
        size_t end = std::min(data.find('\0', start), data.size());
        if (end == start) break;
        if (!text.empty()) text += "\\0";
        text.append(data.substr(start, end - start));
        start = end + 1;
    }
    return text;
}

std::string data_text(const RegFileValue &value) {
    std::string_view data = value.data;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return std::string(data.substr(0, data.find('\0')));
    case REG_MULTI_SZ: return joined_strings(data);
    case REG_DWORD:
        if (data.size() == 4) return hex_number(little_endian(data));
        break;
    case REG_DWORD_BIG_ENDIAN:
        if (data.size() == 4)
            return hex_number(static_cast<uint32_t>(__builtin_bswap32(static_cast<uint32_t>(little_endian(data)))));
        break;
    case REG_QWORD:
        if (data.size() == 8) return hex_number(little_endian(data));
        break;
    default: break;
    }
    return hex_bytes(data);
}

void print_value(const RegFileValue &value) {
    std::printf("    %s    %s    %s\n", value.name.empty() ? "(Default)" : value.name.c_str(), type_name(value.type).c_str(),
                data_text(value).c_str());
}

// The key's name line and its values, then its subkeys: as names, or with /s
// as keys of their own, each printed the same way.  A blank line ends each
// part.  As reg.exe does, a key without values shows no name line of its own
// unless /s is given, so its subkeys follow the first blank line directly.
void query_key(const Key &key, const std::string &name, bool recurse) {
    auto values = read_values(key);
    if (!values.empty() || recurse) std::printf("%s\n", name.c_str());
    for (const auto &value : values) print_value(value);
    if (!values.empty() || recurse) std::putchar('\n');
    auto subkeys = read_subkey_names(key);
    for (const auto &subkey : subkeys) {
        if (recurse)
            query_key(open_key(key, subkey, KEY_READ), name + "\\" + subkey, true);
        else
            std::printf("%s\\%s\n", name.c_str(), subkey.c_str());
    }
    if (!subkeys.empty() && !recurse) std::putchar('\n');
}

// Every key from `key` down that holds the value `value_name`; the count of them.
int search_value(const Key &key, const std::string &name, const std::string &value_name) {
    int matches = 0;
    if (auto value = read_value(key, value_name)) {
        std::printf("\n%s\n", name.c_str());
        print_value(*value);
        ++matches;
    }
    for (const auto &subkey : read_subkey_names(key))
        matches += search_value(open_key(key, subkey, KEY_READ), name + "\\" + subkey, value_name);
    return matches;
}

void run_query(const RegArgs &args) {
    RegPath path = key_argument(args);
    check_exclusive(args, {"/v", "/ve"});
    Key key = open_key(open_root(path), path.subkey, KEY_READ);
    std::string name = reg_path_text(path);
    bool recurse = args.has("/s");
    if (!args.has("/v") && !args.has("/ve")) {
        std::putchar('\n');
        return query_key(key, name, recurse);
    }
    std::string value_name = args.value("/v");
    if (recurse) {
        int matches = search_value(key, name, value_name);
        std::printf("\nEnd of search: %d match(es) found.\n", matches);
        if (matches == 0) fail(1, "");
        return;
    }
    auto value = read_value(key, value_name);
    // An unset default value shows as regedit shows it; a missing named one is an error.
    if (!value && args.has("/v")) throw RegCallError{static_cast<LONG>(ERROR_FILE_NOT_FOUND)};
    std::printf("\n%s\n", name.c_str());
    if (value)
        print_value(*value);
    else
        std::puts("    (Default)    REG_SZ    (value not set)");
    std::putchar('\n');
}

}  // namespace

const RegOperation query_operation = {"query", kHelp, 1, {{"/v", true}, {"/ve", false}, {"/s", false}}, run_query};

}  // namespace quarn::tool::reg
