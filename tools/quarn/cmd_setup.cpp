// quarn setup: creates the prefix, or completes one that exists: its folders
// and the drive links c: -> ../drive_c and z: -> /.  Running it again changes
// nothing that is already there.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "machine.h"

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

void run_setup() {
    fs::path prefix = win32::Machine::default_prefix();
    make_directory(prefix / "drive_c" / "windows" / "system32");
    make_directory(prefix / "registry");
    make_directory(prefix / "machines");
    make_directory(prefix / "dosdevices");
    make_drive_link(prefix / "dosdevices", "c:", "../drive_c");
    make_drive_link(prefix / "dosdevices", "z:", "/");
    std::printf("prefix: %s\n", prefix.c_str());
}

}  // namespace

void add_setup_command(CLI::App &app) {
    auto *setup = app.add_subcommand("setup", "Create or upgrade the prefix ($QUARN_PREFIX): folders and drives");
    setup->callback(run_setup);
}

}  // namespace quarn::tool
