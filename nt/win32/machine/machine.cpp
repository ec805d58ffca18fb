// Building the machine: the prefix, machine.toml, and what Linux tells
// (host name, processor, /etc/machine-id).
#include "machine/machine.h"
#include "machine/network_adapters.h"
#include "machine/whole_file.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <mutex>

namespace quarn::win32 {
namespace {

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::string host_computer_name() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return "QUARN";
    std::string name(host);
    name = name.substr(0, name.find('.'));  // NetBIOS names carry no DNS suffix
    if (name.empty()) name = "QUARN";
    return upper(name.substr(0, MAX_COMPUTERNAME_LENGTH));
}

// a, b, c of the account domain from the first 24 hex digits of the machine id,
// so that every machine has its own domain and it survives reboots.  A host
// without a machine id falls back to a hash of its host name.
std::array<uint32_t, 3> derive_account_domain(const std::string &computer_name) {
    for (const char *file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::optional<std::string> text = read_whole_file(file);
        std::string id = text ? text->substr(0, text->find_first_of(" \t\r\n")) : std::string();
        if (id.size() >= 24 &&
            std::all_of(id.begin(), id.begin() + 24, [](unsigned char c) { return std::isxdigit(c); })) {
            std::array<uint32_t, 3> out{};
            for (int i = 0; i < 3; ++i) out[i] = static_cast<uint32_t>(std::stoul(id.substr(8 * i, 8), nullptr, 16));
            return out;
        }
    }
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : computer_name) h = (h ^ c) * 1099511628211ull;
    return {static_cast<uint32_t>(h), static_cast<uint32_t>(h >> 32), static_cast<uint32_t>(h * 31 + 7)};
}

WORD suite_bit(const std::string &name) {
    std::string n = upper(name);
    if (n == "TERMINAL") return VER_SUITE_TERMINAL;
    if (n == "SINGLE_USER_TS") return VER_SUITE_SINGLEUSERTS;
    if (n == "ENTERPRISE") return 0x0002;
    if (n == "DATACENTER") return 0x0080;
    return 0x0400;  // blade
}

WindowsVersion read_version(const MachineConfig &config) {
    WindowsVersion v;
    if (auto x = config.integer("windows.major")) v.major = static_cast<DWORD>(*x);
    if (auto x = config.integer("windows.minor")) v.minor = static_cast<DWORD>(*x);
    if (auto x = config.integer("windows.build")) v.build = static_cast<DWORD>(*x);
    if (auto x = config.text("windows.platform")) {
        std::string p = upper(*x);
        v.platform_id = p == "NT" ? VER_PLATFORM_WIN32_NT
                        : p == "WINDOWS" ? VER_PLATFORM_WIN32_WINDOWS
                                         : VER_PLATFORM_WIN32s;
    }
    if (auto x = config.text("windows.service_pack")) v.service_pack = *x;
    if (auto x = config.integer("windows.service_pack_major")) v.service_pack_major = static_cast<WORD>(*x);
    if (auto x = config.integer("windows.service_pack_minor")) v.service_pack_minor = static_cast<WORD>(*x);
    if (auto x = config.text("windows.product_type")) {
        std::string p = upper(*x);
        v.product_type = p == "WORKSTATION" ? VER_NT_WORKSTATION
                         : p == "SERVER"     ? VER_NT_SERVER
                                             : VER_NT_DOMAIN_CONTROLLER;
    }
    if (auto suites = config.texts("windows.suites"))
        for (const auto &s : *suites) v.suite_mask |= suite_bit(s);
    return v;
}

struct CurrentMachine {
    std::once_flag once;
    const Machine *machine = nullptr;
    std::string error;
};

CurrentMachine &current_machine() {
    static auto *instance = new CurrentMachine;  // lives for the process, like the host
    return *instance;
}

}  // namespace

std::filesystem::path Machine::default_prefix() {
    if (const char *p = std::getenv("QUARN_PREFIX"); p && *p) return p;
    if (const char *x = std::getenv("XDG_DATA_HOME"); x && *x) return std::filesystem::path(x) / "quarn";
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd *pw = getpwuid(getuid())) home = pw->pw_dir;
    }
    return std::filesystem::path(home ? home : "/") / ".local/share/quarn";
}

Machine::Machine(std::filesystem::path prefix)
    : prefix_(std::move(prefix)), config_(MachineConfig::load(prefix_ / "machine.toml")) {
    computer_name_ = upper(config_.text("computer.name").value_or(host_computer_name()));
    version_ = read_version(config_);
    utsname u{};
    uname(&u);
    std::string arch = u.machine;
    if (arch == "x86_64") {
        processor_type_ = PROCESSOR_AMD_X8664;
        processor_architecture_ = PROCESSOR_ARCHITECTURE_AMD64;
    } else if (arch == "aarch64") {
        processor_type_ = PROCESSOR_ARM;
        processor_architecture_ = PROCESSOR_ARCHITECTURE_ARM64;
    } else if (arch == "i486") {
        processor_type_ = PROCESSOR_INTEL_486;
    } else if (arch == "i386") {
        processor_type_ = PROCESSOR_INTEL_386;
    }
    if (auto x = config_.integer("hardware.processor_type")) processor_type_ = static_cast<DWORD>(*x);
    account_domain_ = derive_account_domain(computer_name_);
    directory_.emplace(config_, computer_name_, account_domain_);
    check_network_cards(config_);
}

const Machine *Machine::current() {
    auto &state = current_machine();
    std::call_once(state.once, [&state] {
        try {
            state.machine = new Machine(default_prefix());
        } catch (const MachineConfigError &e) {
            state.error = e.what();
            std::fprintf(stderr, "quarn: %s\n", e.what());
        } catch (const std::exception &e) {
            state.error = e.what();
            std::fprintf(stderr, "quarn: the machine cannot be built: %s\n", e.what());
        }
    });
    if (!state.machine) SetLastError(ERROR_BAD_CONFIGURATION);
    return state.machine;
}

std::string Machine::configuration_error() {
    current();
    return current_machine().error;
}

}  // namespace quarn::win32
