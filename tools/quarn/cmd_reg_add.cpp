// quarn reg add: creates a key, and sets a value from /t TYPE and /d DATA as
// reg.exe reads them, asking before it overwrites a value unless /f.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "cmd_reg.h"

namespace quarn::tool::reg {
namespace {

constexpr const char *kHelp = R"text(quarn reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]

  KEY    [\\MACHINE\]ROOT[\SUBKEY], created with any missing keys above it
  /v     the value to set
  /ve    set the default value, "(Default)"
  /t     REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD
         (or REG_DWORD_LITTLE_ENDIAN), REG_DWORD_BIG_ENDIAN, REG_QWORD,
         REG_BINARY, REG_NONE or REG_FULL_RESOURCE_DESCRIPTOR
  /s     the character between the strings of REG_MULTI_SZ data; \0 unless given
  /d     the data: text for the string types, a decimal or 0x hex number for
         REG_DWORD and REG_QWORD, hex digits for the binary types
  /f     overwrite an existing value without asking

Without /v or /ve only the key is created.
)text";

std::string little_endian(uint64_t number, size_t size) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(number >> (8 * i));
    return bytes;
}

// A decimal or 0x hexadecimal number no larger than `max`.
std::optional<uint64_t> number_of(const std::string &text, uint64_t max) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    bool hex = text.starts_with("0x") || text.starts_with("0X");
    char *end = nullptr;
    errno = 0;
    unsigned long long number = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (*end || errno || number > max || (hex && text.size() == 2)) return std::nullopt;
    return number;
}

std::optional<std::string> bytes_of_hex(const std::string &text) {
    if (text.size() % 2) return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) || !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            return std::nullopt;
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// REG_MULTI_SZ data from strings joined by `separator` ("\0" or one
// character): each string with its NUL, then the empty one that ends the list.
// An empty string inside the list would end it early, so it is refused.
std::optional<std::string> string_list(const std::string &text, const std::string &separator) {
    std::string data;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find(separator, start), text.size());
        if (end == start) return std::nullopt;
        data.append(text, start, end - start).push_back('\0');
        start = end + separator.size();
    }
    data.push_back('\0');
    return data;
}

std::string value_data(const RegArgs &args, uint32_t type) {
    std::string text = args.value("/d");
    std::optional<std::string> data;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return text + '\0';
    case REG_MULTI_SZ:
        data = string_list(text, args.has("/s") ? args.value("/s") : "\\0");
        if (!data) fail_syntax(args, "The strings of REG_MULTI_SZ data cannot be empty.");
        return *data;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        auto number = number_of(text.empty() ? "0" : text, type == REG_QWORD ? UINT64_MAX : UINT32_MAX);
        if (!number) fail_syntax(args, "Specify a valid numeric value for '/d'.");
        if (type == REG_DWORD_BIG_ENDIAN) return little_endian(__builtin_bswap32(static_cast<uint32_t>(*number)), 4);
        return little_endian(*number, type == REG_QWORD ? 8 : 4);
    }
    default:
        data = bytes_of_hex(text);
        if (!data) fail_syntax(args, "Specify valid hexadecimal data for '/d'.");
        return *data;
    }
}

uint32_t value_type(const RegArgs &args) {
    if (!args.has("/t")) return REG_SZ;
    auto type = type_of_name(args.value("/t"));
    constexpr uint32_t kAddable[] = {REG_SZ,       REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                                     REG_QWORD,    REG_BINARY,    REG_NONE,     REG_FULL_RESOURCE_DESCRIPTOR};
    if (!type || std::find(std::begin(kAddable), std::end(kAddable), *type) == std::end(kAddable))
        fail_syntax(args, "Unsupported type '" + args.value("/t") + "' for '/t'.");
    return *type;
}

void run_add(const RegArgs &args) {
    RegPath path = key_argument(args);
    check_exclusive(args, {"/v", "/ve"});
    bool names_value = args.has("/v") || args.has("/ve");
    if (!names_value && (args.has("/t") || args.has("/d") || args.has("/s"))) fail_syntax(args);
    uint32_t type = value_type(args);
    if (args.has("/s") && (type != REG_MULTI_SZ || args.value("/s").size() != 1)) fail_syntax(args);
    RegFileValue value{args.value("/v"), false, type, names_value ? value_data(args, type) : ""};
    Key root = open_root(path);
    if (!names_value) {
        create_key(root, path.subkey, KEY_QUERY_VALUE | KEY_SET_VALUE);
        return print_success();
    }
    HKEY existing = nullptr;
    if (!args.has("/f") && RegOpenKeyExA(root.get(), path.subkey.c_str(), 0, KEY_QUERY_VALUE, &existing) == ERROR_SUCCESS &&
        read_value(Key(existing, true), value.name)) {
        std::string shown = value.name.empty() ? "(Default)" : value.name;
        if (!confirm("Value " + shown + " exists, overwrite(Yes/No)? ")) cancelled();
    }
    // The missing keys and the value are one change: a failure keeps neither.
    check(RegSetKeyValueA(root.get(), path.subkey.c_str(), value.name.c_str(), value.type, value.data.data(),
                          static_cast<DWORD>(value.data.size())));
    print_success();
}

}  // namespace

const RegOperation add_operation = {
    "add", kHelp, 1, {{"/v", true}, {"/ve", false}, {"/t", true}, {"/s", true}, {"/d", true}, {"/f", false}}, run_add};

}  // namespace quarn::tool::reg
