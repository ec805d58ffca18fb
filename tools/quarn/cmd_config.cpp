// quarn config list | get | set | unset: the product settings by their value
// names, so that an administrator needs to know neither a setting's key, nor
// its root, nor its type.  The settings table gives all three.
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "ntregy.h"
#include "registry/ntregy_internal.h"

namespace quarn::tool {
namespace {

using nt::SettingRow;

struct Named {
    int number;
    SettingRow row;
};

const char *root_name(HKEY root) { return root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }
const char *root_word(HKEY root) { return root == HKEY_CURRENT_USER ? "user" : "machine"; }
const char *type_word(DWORD type) {
    return type == REG_DWORD ? "number" : type == REG_MULTI_SZ ? "string list" : "string";
}

std::string where(const SettingRow &row) { return std::string(root_name(row.root)) + ntregy_get_common_key(); }

std::vector<Named> all_settings() {
    std::vector<Named> all;
    for (int number = 0; number < nt::kSettingCount; ++number)
        if (auto row = nt::setting_row(number)) all.push_back({number, *row});
    return all;
}

// NAME in any case, or the setting's number.  Two settings share a name
// under different roots; then --hkcu or --hklm says which.
Named find_setting(const std::string &key, const std::string &root) {
    std::vector<Named> matches;
    char *end = nullptr;
    long number = std::strtol(key.c_str(), &end, 10);
    for (const Named &setting : all_settings()) {
        bool named = !key.empty() && *end == '\0' ? setting.number == number
                                                 : strcasecmp(setting.row.name, key.c_str()) == 0;
        if (named && (root.empty() || root == root_word(setting.row.root))) matches.push_back(setting);
    }
    if (matches.size() == 1) return matches.front();
    if (matches.empty()) fail(kExitUsage, "no product setting is named " + key + "; `quarn config list` shows them all");
    fail(kExitUsage, key + " names two settings, " + std::to_string(matches[0].number) + " for the " +
                         root_word(matches[0].row.root) + " and " + std::to_string(matches[1].number) + " for the " +
                         root_word(matches[1].row.root) + "; give --hkcu or --hklm");
}

// The stored value as text: a number in decimal, a list's items each on a
// line of their own (`separator` between them).  nullopt when it is not set.
std::optional<std::string> read_setting(const Named &setting, const char *separator) {
    std::vector<char> buffer(1024);
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        // Two bytes short: a list gets one more NUL, and every text ends in one.
        LONG status = ntregy_get_param(setting.number, static_cast<DWORD>(buffer.size() - 2), buffer.data(), nullptr);
        if (status == ERROR_MORE_DATA && buffer.size() < (1u << 24)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (status != ERROR_SUCCESS)
            fail(kExitFailed, "cannot read " + std::string(setting.row.name) + " from " + where(setting.row) + ": " +
                                  error_words(status));
        break;
    }
    if (setting.row.type == REG_DWORD) {
        DWORD number;
        std::memcpy(&number, buffer.data(), sizeof number);
        return std::to_string(number);
    }
    if (setting.row.type == REG_SZ) return std::string(buffer.data());
    std::string items;
    for (const char *item = buffer.data(); *item; item += std::strlen(item) + 1)
        items += (items.empty() ? "" : separator) + std::string(item);
    return items;
}

DWORD parse_number(const Named &setting, const std::string &text) {
    char *end = nullptr;
    errno = 0;
    unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end || errno || number > 0xFFFFFFFFull)
        fail(kExitUsage, std::string(setting.row.name) + " takes a number from 0 to 4294967295 (decimal or 0x hex), not " +
                             text);
    return static_cast<DWORD>(number);
}

void write_setting(const Named &setting, const std::vector<std::string> &values) {
    const char *name = setting.row.name;
    if (setting.row.type != REG_MULTI_SZ && values.size() != 1)
        fail(kExitUsage, std::string(name) + " takes one value, a " + type_word(setting.row.type));
    LONG status;
    if (setting.row.type == REG_DWORD) {
        DWORD number = parse_number(setting, values[0]);
        status = ntregy_set_param(setting.number, &number, nullptr);
    } else if (setting.row.type == REG_SZ) {
        status = ntregy_set_param(setting.number, values[0].c_str(), nullptr);
    } else {
        std::string list;
        for (const auto &item : values) {
            if (item.empty()) fail(kExitUsage, std::string(name) + ": an item of a string list cannot be empty");
            list += item + '\0';
        }
        list += '\0';
        status = ntregy_set_param(setting.number, list.data(), nullptr);
    }
    if (status != ERROR_SUCCESS)
        fail(kExitFailed, "cannot write " + std::string(name) + " to " + where(setting.row) + ": " + error_words(status));
}

void remove_setting(const Named &setting) {
    LONG status = ntregy_del_param(setting.number, nullptr);
    // A setting that is not there is what was asked for.
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        fail(kExitFailed,
             "cannot remove " + std::string(setting.row.name) + " from " + where(setting.row) + ": " + error_words(status));
}

void list_settings() {
    for (const Named &setting : all_settings()) {
        auto value = read_setting(setting, "\\0");
        std::printf("%d\t%s\t%s\t%s\t%s\n", setting.number, setting.row.name, root_word(setting.row.root),
                    type_word(setting.row.type), value ? value->c_str() : "(value not set)");
    }
}

}  // namespace

void add_config_command(CLI::App &app) {
    auto *config = app.add_subcommand("config", "Show and change the product settings by their names");
    config->require_subcommand(1);
    static std::string name, root;
    static std::vector<std::string> values;
    auto add_root_flags = [](CLI::App *command) {
        auto *user = command->add_flag_callback("--hkcu", [] { root = "user"; }, "The user's setting of a shared name");
        command->add_flag_callback("--hklm", [] { root = "machine"; }, "The machine's setting of a shared name")
            ->excludes(user);
    };

    config->add_subcommand("list", "Every setting: number, name, root, type and value, TAB-separated")
        ->callback([] {
            require_prefix();
            list_settings();
        });

    auto *get = config->add_subcommand("get", "Print a setting's value (a list one item a line)");
    get->add_option("NAME", name, "The setting's value name, in any case, or its number")->required();
    add_root_flags(get);
    get->callback([] {
        require_prefix();
        Named setting = find_setting(name, root);
        auto value = read_setting(setting, "\n");
        if (!value) fail(kExitFailed, std::string(setting.row.name) + " is not set in " + where(setting.row));
        std::printf("%s\n", value->c_str());
    });

    auto *set = config->add_subcommand("set", "Write a setting (a string list takes one VALUE per item)");
    set->add_option("NAME", name, "The setting's value name, in any case, or its number")->required();
    set->add_option("VALUE", values, "A number (decimal or 0x hex), a string, or a list's items")->required();
    add_root_flags(set);
    set->callback([] {
        require_prefix();
        Named setting = find_setting(name, root);
        write_setting(setting, values);
    });

    auto *unset = config->add_subcommand("unset", "Remove a setting, so that its default applies");
    unset->add_option("NAME", name, "The setting's value name, in any case, or its number")->required();
    add_root_flags(unset);
    unset->callback([] {
        require_prefix();
        remove_setting(find_setting(name, root));
    });
}

}  // namespace quarn::tool
