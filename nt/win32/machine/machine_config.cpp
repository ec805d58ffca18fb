// Reading and checking machine.toml.  The schema below is the whole list of
// keys the file may hold; docs/machine.md documents each of them.
#include "machine/machine_config.h"

#include "advapi.h"
#include "rpc.h"

#include "machine/whole_file.h"
#include <sstream>
#include <toml++/toml.h>

namespace quarn::win32 {
namespace {

enum class Kind { text, integer, flag, texts, sid, guid, privileges, table_array };

struct KeyRule {
    const char *pattern;  // dotted key; "[]" marks an element of an array of tables
    Kind kind;
    int64_t min = 0;      // integers: range; texts: length range
    int64_t max = 0;
    const char *choices = nullptr;  // text: allowed values, '|'-separated, any case
};

constexpr int64_t kU32 = 0xFFFFFFFFll;

const KeyRule kSchema[] = {
    {"computer.name", Kind::text, 1, 15},
    {"windows.major", Kind::integer, 0, 255},
    {"windows.minor", Kind::integer, 0, 255},
    {"windows.build", Kind::integer, 0, 65535},
    {"windows.platform", Kind::text, 0, 0, "nt|windows|win32s"},
    {"windows.service_pack", Kind::text, 0, 127},
    {"windows.service_pack_major", Kind::integer, 0, 65535},
    {"windows.service_pack_minor", Kind::integer, 0, 65535},
    {"windows.product_type", Kind::text, 0, 0, "workstation|server|domain_controller"},
    {"windows.suites", Kind::texts, 0, 0, "terminal|single_user_ts|enterprise|datacenter|blade"},
    {"hardware.processor_type", Kind::integer, 0, kU32},
    {"token.user", Kind::sid},
    {"token.primary_group", Kind::sid},
    {"token.groups[]", Kind::table_array},
    {"token.groups[].sid", Kind::sid},
    {"token.groups[].attributes", Kind::integer, 0, kU32},
    {"token.privileges", Kind::privileges},
    {"token.logon_session", Kind::integer, 0, kU32},
    {"trusted[]", Kind::table_array},
    {"trusted[].posix_offset", Kind::integer, 0, kU32},
    {"machines[]", Kind::table_array},
    {"machines[].name", Kind::text, 1, 15},
    {"machines[].answers", Kind::flag},
    {"machines[].session_required", Kind::flag},
    {"machines[].domain", Kind::text, 1, 15},
    {"machines[].domain_sid", Kind::sid},
    {"network_cards[]", Kind::table_array},
    {"network_cards[].name", Kind::text, 1, 255},
    {"network_cards[].address", Kind::text, 0, 95},
    {"network_cards[].medium", Kind::text, 0, 0, "802.3|802.5|wan|loopback"},
};

// The keys of a domain: [domain] (the primary domain, or the workgroup) and
// every [[trusted]] element hold them.
const KeyRule kDomainSchema[] = {
    {"name", Kind::text, 1, 15},
    {"dns_name", Kind::text, 1, 255},
    {"sid", Kind::sid},
    {"controllers", Kind::texts},
    {"directory_service", Kind::flag},
    {"guid", Kind::guid},
    {"users[]", Kind::table_array},
    {"users[].name", Kind::text, 1, 20},
    {"users[].rid", Kind::integer, 0, kU32},
    {"users[].full_name", Kind::text, 0, 256},
    {"users[].comment", Kind::text, 0, 256},
    {"users[].home_dir", Kind::text, 0, 260},
    {"users[].primary_group", Kind::integer, 0, kU32},
    {"groups[]", Kind::table_array},
    {"groups[].name", Kind::text, 1, 256},
    {"groups[].rid", Kind::integer, 0, kU32},
    {"groups[].comment", Kind::text, 0, 256},
    {"groups[].members", Kind::texts},
};
constexpr const char *kDomainTables[] = {"domain.", "trusted[]."};

struct NamedRule {
    std::string pattern;
    KeyRule rule;
};

// The schema with the domain keys placed under each table that holds them.
const std::vector<NamedRule> &all_rules() {
    static const std::vector<NamedRule> rules = [] {
        std::vector<NamedRule> out;
        for (const auto &rule : kSchema) out.push_back({rule.pattern, rule});
        for (const char *table : kDomainTables)
            for (const auto &rule : kDomainSchema) out.push_back({table + std::string(rule.pattern), rule});
        return out;
    }();
    return rules;
}

const KeyRule *find_rule(const std::string &pattern) {
    for (const auto &named : all_rules())
        if (pattern == named.pattern) return &named.rule;
    return nullptr;
}

bool is_prefix_of_some_rule(const std::string &pattern) {
    std::string dotted = pattern + ".";
    for (const auto &named : all_rules())
        if (named.pattern.starts_with(dotted)) return true;
    return false;
}

bool matches_choice(const char *choices, const std::string &value) {
    std::string_view all(choices);
    while (!all.empty()) {
        auto bar = all.find('|');
        auto choice = all.substr(0, bar);
        if (choice.size() == value.size() &&
            std::equal(choice.begin(), choice.end(), value.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            return true;
        if (bar == std::string_view::npos) break;
        all.remove_prefix(bar + 1);
    }
    return false;
}

class Checker {
public:
    Checker(const std::string &origin, std::map<std::string, ConfigValue, std::less<>> &values,
            std::map<std::string, size_t, std::less<>> &counts, std::map<std::string, int64_t, std::less<>> &lines)
        : origin_(origin), values_(values), counts_(counts), lines_(lines) {}

    void table(const toml::table &t, const std::string &key, const std::string &pattern) {
        for (const auto &[name, node] : t) {
            std::string child_key = key.empty() ? std::string(name.str()) : key + "." + std::string(name.str());
            std::string child_pattern =
                pattern.empty() ? std::string(name.str()) : pattern + "." + std::string(name.str());
            value(node, child_key, child_pattern);
        }
    }

private:
    [[noreturn]] void fail(const toml::node &node, const std::string &key, const std::string &what) {
        std::ostringstream out;
        out << origin_ << ":" << node.source().begin.line << ": " << key << ": " << what;
        throw MachineConfigError(out.str());
    }

    void value(const toml::node &node, const std::string &key, const std::string &pattern) {
        lines_[key] = node.source().begin.line;
        if (find_rule(pattern + "[]")) {
            if (!node.is_array_of_tables()) fail(node, key, "expected an array of tables ([[" + key + "]])");
            array_of_tables(*node.as_array(), key, pattern + "[]");
            return;
        }
        const KeyRule *rule = find_rule(pattern);
        if (!rule) {
            if (!node.is_table() || !is_prefix_of_some_rule(pattern)) fail(node, key, "unknown key");
            table(*node.as_table(), key, pattern);
            return;
        }
        switch (rule->kind) {
        case Kind::text: {
            auto s = node.value<std::string>();
            if (!node.is_string()) fail(node, key, "expected a string");
            if (rule->choices && !matches_choice(rule->choices, *s))
                fail(node, key, std::string("expected one of ") + rule->choices);
            if (!rule->choices &&
                (static_cast<int64_t>(s->size()) < rule->min || static_cast<int64_t>(s->size()) > rule->max))
                fail(node, key,
                     "expected " + std::to_string(rule->min) + " to " + std::to_string(rule->max) +
                         " characters");
            values_[key] = *s;
            break;
        }
        case Kind::integer: {
            if (!node.is_integer()) fail(node, key, "expected an integer");
            int64_t v = *node.value<int64_t>();
            if (v < rule->min || v > rule->max)
                fail(node, key,
                     "expected an integer from " + std::to_string(rule->min) + " to " + std::to_string(rule->max));
            values_[key] = v;
            break;
        }
        case Kind::sid: {
            if (!node.is_string()) fail(node, key, "expected a SID text such as \"S-1-5-18\"");
            PSID sid = nullptr;
            if (!ConvertStringSidToSidA(node.value<std::string>()->c_str(), &sid))
                fail(node, key, "expected a SID text such as \"S-1-5-18\"");
            FreeSid(sid);
            values_[key] = *node.value<std::string>();
            break;
        }
        case Kind::guid: {
            UUID uuid;
            auto s = node.value<std::string>();
            if (!s || UuidFromStringA(reinterpret_cast<RPC_CSTR>(s->data()), &uuid) != RPC_S_OK)
                fail(node, key, "expected a GUID text such as \"5c9d4c8e-1b2a-4d3c-9e8f-0a1b2c3d4e5f\"");
            values_[key] = *s;
            break;
        }
        case Kind::flag:
            if (!node.is_boolean()) fail(node, key, "expected true or false");
            values_[key] = *node.value<bool>();
            break;
        case Kind::texts: {
            const toml::array *a = node.as_array();
            if (!a) fail(node, key, "expected an array of strings");
            std::vector<std::string> list;
            for (const auto &element : *a) {
                if (!element.is_string()) fail(element, key, "expected an array of strings");
                std::string s = *element.value<std::string>();
                if (rule->choices && !matches_choice(rule->choices, s))
                    fail(element, key, std::string("expected elements from ") + rule->choices);
                list.push_back(std::move(s));
            }
            values_[key] = std::move(list);
            break;
        }
        case Kind::privileges: {
            const toml::array *a = node.as_array();
            if (!a) fail(node, key, "expected an array of privilege names");
            std::vector<std::string> list;
            for (const auto &element : *a) {
                LUID luid;
                auto s = element.value<std::string>();
                if (!s || !LookupPrivilegeValueA(nullptr, s->c_str(), &luid))
                    fail(element, key, "expected privilege names such as \"SeChangeNotifyPrivilege\"");
                list.push_back(std::move(*s));
            }
            values_[key] = std::move(list);
            break;
        }
        case Kind::table_array:  // matched by the "[]" rule above
            break;
        }
    }

    void array_of_tables(const toml::array &a, const std::string &key, const std::string &pattern) {
        size_t index = 0;
        for (const auto &element : a) {
            if (!element.is_table()) fail(element, key, "expected a table");
            lines_[key + "." + std::to_string(index)] = element.source().begin.line;
            table(*element.as_table(), key + "." + std::to_string(index), pattern);
            ++index;
        }
        counts_[key] = index;
    }

    const std::string &origin_;
    std::map<std::string, ConfigValue, std::less<>> &values_;
    std::map<std::string, size_t, std::less<>> &counts_;
    std::map<std::string, int64_t, std::less<>> &lines_;
};

template <typename T>
std::optional<T> lookup(const std::map<std::string, ConfigValue, std::less<>> &values, const std::string &key) {
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    if (const T *v = std::get_if<T>(&it->second)) return *v;
    return std::nullopt;
}

}  // namespace

MachineConfig MachineConfig::load(const std::filesystem::path &file) {
    std::optional<std::string> text = read_whole_file(file);
    if (!text) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) return {};
        throw MachineConfigError(file.string() + ": cannot be read");
    }
    return parse(*text, file.string());
}

MachineConfig MachineConfig::parse(std::string_view text, const std::string &origin) {
    MachineConfig config;
    toml::table root;
    try {
        root = toml::parse(text, origin);
    } catch (const toml::parse_error &e) {
        std::ostringstream out;
        out << origin << ":" << e.source().begin.line << ": " << e.description();
        throw MachineConfigError(out.str());
    }
    config.origin_ = origin;
    Checker(origin, config.values_, config.counts_, config.lines_).table(root, "", "");
    for (size_t i = 0; i < config.count("token.groups"); ++i) {
        std::string key = "token.groups." + std::to_string(i);
        if (!config.text(key + ".sid")) config.fail(key, "needs a sid");
    }
    return config;
}

std::optional<std::string> MachineConfig::text(const std::string &key) const {
    return lookup<std::string>(values_, key);
}
std::optional<int64_t> MachineConfig::integer(const std::string &key) const {
    return lookup<int64_t>(values_, key);
}
std::optional<bool> MachineConfig::flag(const std::string &key) const { return lookup<bool>(values_, key); }
std::optional<std::vector<std::string>> MachineConfig::texts(const std::string &key) const {
    return lookup<std::vector<std::string>>(values_, key);
}
size_t MachineConfig::count(const std::string &key) const {
    auto it = counts_.find(key);
    return it == counts_.end() ? 0 : it->second;
}

void MachineConfig::fail(const std::string &key, const std::string &what) const {
    auto it = lines_.find(key);
    std::ostringstream out;
    out << origin_ << ":" << (it == lines_.end() ? 1 : it->second) << ": " << key << ": " << what;
    throw MachineConfigError(out.str());
}

}  // namespace quarn::win32
