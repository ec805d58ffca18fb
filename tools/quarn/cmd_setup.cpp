// quarn setup: creates the prefix, or completes one that exists: its folders,
// the drive links c: -> ../drive_c and z: -> /, the installation in the
// registry (ProductHome, HostData and its folders, the driver's defaults) and
// the network adapters under NetworkCards.
// Running it again changes nothing that is already there.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "commands.h"
#include "machine/dos_paths.h"
#include "machine/machine.h"
#include "machine/network_adapters.h"
#include "ntregy.h"
#include "win32.h"

namespace quarn::tool {
namespace fs = std::filesystem;
namespace {

void make_directory(const fs::path &path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) fail(1, "cannot create " + path.string() + ": " + ec.message());
}

void make_drive_link(const fs::path &devices, const std::string &drive, const fs::path &target) {
    fs::path link = devices / drive;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec))) return;  // an administrator's own choice stays
    fs::create_directory_symlink(target, link, ec);
    if (ec) fail(1, "cannot create the drive " + link.string() + ": " + ec.message());
}

constexpr int kSettingProductHome = 8;
constexpr int kSettingHostData = 16;
constexpr int kDriverParameters = 57;

// The setting's text; when it is not there yet, `fallback` is written first.
std::string ensure_setting(int setting, const char *fallback) {
    char value[1024] = {};
    LONG status = ntregy_get_param(setting, sizeof value - 1, value, nullptr);
    if (status == ERROR_FILE_NOT_FOUND) {
        status = ntregy_set_param(setting, fallback, nullptr);
        if (status != ERROR_SUCCESS) fail(1, "cannot write the installation: Win32 error " + std::to_string(status));
        return fallback;
    }
    if (status != ERROR_SUCCESS) fail(1, "cannot read the installation: Win32 error " + std::to_string(status));
    return value;
}

// Makes a folder named by a Windows path, through the drive table.
void make_dos_directory(const std::string &dos_path) {
    const auto *machine = win32::Machine::current();
    if (!machine) fail(1, "the machine is not usable: " + win32::Machine::configuration_error());
    auto unix_path = win32::dos_to_unix_path(*machine, dos_path);
    if (!unix_path) fail(1, "no drive for " + dos_path);
    make_directory(*unix_path);
}

void install_product() {
    std::string home = ensure_setting(kSettingProductHome, "C:\\Program Files\\Quarn\\Zendrel");
    std::string host_data = ensure_setting(kSettingHostData, "C:\\ProgramData\\Quarn\\Zendrel");
    make_dos_directory(home);
    for (const char *folder : {"\\var\\cache", "\\var\\log", "\\bin"}) make_dos_directory(host_data + folder);
    for (int parameter = 0; parameter < kDriverParameters; ++parameter) {
        if (!ntregy_should_install_default_kelfs_param(parameter)) continue;
        char value[256];
        if (ntregy_get_kelfs_param(parameter, value, sizeof value, nullptr) != ERROR_FILE_NOT_FOUND) continue;
        LONG status = ntregy_default_kelfs_param(parameter, nullptr);
        if (status != ERROR_SUCCESS)
            fail(1, "cannot write the driver's defaults: Win32 error " + std::to_string(status));
    }
    std::printf("ProductHome: %s\nHostData: %s\n", home.c_str(), host_data.c_str());
}

// The adapters as they are now, under NetworkCards.
void publish_adapters() {
    const auto *machine = win32::Machine::current();
    if (!machine) fail(1, "the machine is not usable: " + win32::Machine::configuration_error());
    LONG status = win32::publish_network_cards(*machine);
    if (status != ERROR_SUCCESS) fail(1, "cannot write the network cards: Win32 error " + std::to_string(status));
}

void run_setup() {
    fs::path prefix = win32::Machine::default_prefix();
    make_directory(prefix / "drive_c" / "windows" / "system32");
    make_directory(prefix / "registry");
    make_directory(prefix / "machines");
    make_directory(prefix / "dosdevices");
    make_drive_link(prefix / "dosdevices", "c:", "../drive_c");
    make_drive_link(prefix / "dosdevices", "z:", "/");
    std::printf("prefix: %s\n", prefix.c_str());
    install_product();
    publish_adapters();
}

}  // namespace

void add_setup_command(CLI::App &app) {
    auto *setup = app.add_subcommand("setup", "Create or upgrade the prefix ($QUARN_PREFIX): folders, drives and the installation");
    setup->callback(run_setup);
}

}  // namespace quarn::tool
