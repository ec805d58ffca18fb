// The machine: the Windows host that Linux presents, one object per process,
// built on first use from the prefix ($QUARN_PREFIX), its machine.toml and
// Linux itself.  After that it changes only where Windows would change too.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "machine/directory.h"
#include "machine/machine_config.h"
#include "winbase.h"

namespace quarn::win32 {

struct WindowsVersion {
    DWORD major = 6;
    DWORD minor = 1;
    DWORD build = 7601;
    DWORD platform_id = VER_PLATFORM_WIN32_NT;
    std::string service_pack = "Service Pack 1";
    WORD service_pack_major = 1;
    WORD service_pack_minor = 0;
    WORD suite_mask = 0;
    BYTE product_type = VER_NT_WORKSTATION;
};

class Machine {
public:
    // The machine of this process, or null with ERROR_BAD_CONFIGURATION when
    // machine.toml is bad (its one error is written to standard error once).
    static const Machine *current();
    // The error that made current() fail, or empty.
    static std::string configuration_error();

    // Builds a machine for `prefix` (tests and the tool's setup use this directly).
    explicit Machine(std::filesystem::path prefix);

    const std::filesystem::path &prefix() const { return prefix_; }
    const MachineConfig &config() const { return config_; }
    const std::string &computer_name() const { return computer_name_; }
    const WindowsVersion &version() const { return version_; }
    DWORD processor_type() const { return processor_type_; }
    WORD processor_architecture() const { return processor_architecture_; }
    // The sub-authorities a, b, c of this machine's account domain S-1-5-21-a-b-c.
    const std::array<uint32_t, 3> &account_domain() const { return account_domain_; }
    // The domains this machine knows, their accounts and the other machines.
    const Directory &directory() const { return *directory_; }

    // The prefix that applies to this process: $QUARN_PREFIX, else
    // $XDG_DATA_HOME/quarn, else ~/.local/share/quarn.
    static std::filesystem::path default_prefix();

private:
    std::filesystem::path prefix_;
    MachineConfig config_;
    std::string computer_name_;
    WindowsVersion version_;
    DWORD processor_type_ = PROCESSOR_INTEL_PENTIUM;
    WORD processor_architecture_ = PROCESSOR_ARCHITECTURE_INTEL;
    std::array<uint32_t, 3> account_domain_{};
    std::optional<Directory> directory_;
};

}  // namespace quarn::win32
