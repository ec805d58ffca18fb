// quarn setup: creates the prefix, or completes one that exists: its folders,
// the drive links c: -> ../drive_c and z: -> /, the installation in the
// registry (ProductHome, HostData and its folders, the driver's defaults),
// the network adapters under NetworkCards, for every user the folders of
// their own registry hive (moved there from an older prefix's layout) and
// private cache, and the global area's file,
// which the product group's members write; an older prefix's \Security key
// moves out of the machine hive.  Running it again changes
// nothing that is already there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "commands.h"
#include "setup_hive_moves.h"
#include "advapi32/registry_roots.h"
#include "machine/dos_paths.h"
#include "machine/local_accounts.h"
#include "machine/machine.h"
#include "machine/network_adapters.h"
#include "ntdll/object_namespace.h"
#include "nt.h"
#include "ntregy.h"
#include "shmem.h"
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

std::string common_key() { return std::string("HKEY_LOCAL_MACHINE") + ntregy_get_common_key(); }

// The setting's text; when it is not there yet, `fallback` is written first.
std::string ensure_setting(int setting, const char *name, const char *fallback) {
    char value[1024] = {};
    LONG status = ntregy_get_param(setting, sizeof value - 1, value, nullptr);
    if (status == ERROR_FILE_NOT_FOUND) {
        status = ntregy_set_param(setting, fallback, nullptr);
        if (status != ERROR_SUCCESS)
            fail(kExitFailed, "cannot write " + std::string(name) + " to " + common_key() + ": " + error_words(status));
        return fallback;
    }
    if (status != ERROR_SUCCESS)
        fail(kExitFailed, "cannot read " + std::string(name) + " from " + common_key() + ": " + error_words(status));
    return value;
}

fs::path unix_path_of_dos(const std::string &dos_path) {
    const auto *machine = win32::Machine::current();
    if (!machine) fail(kExitFailed, "");  // the machine has said why
    auto unix_path = win32::dos_to_unix_path(*machine, dos_path);
    if (!unix_path) fail(1, "no drive for " + dos_path);
    return *unix_path;
}

// Makes a folder named by a Windows path, through the drive table.
void make_dos_directory(const std::string &dos_path) { make_directory(unix_path_of_dos(dos_path)); }

// The SID text of a local user's token: LocalSystem for root.
std::string user_sid_text(const win32::Machine &machine, const win32::LocalUser &user) {
    if (user.uid == 0) return "S-1-5-18";
    auto rid = win32::user_rid(user.uid);
    if (!rid) return {};
    const auto &domain = machine.account_domain();
    return "S-1-5-21-" + std::to_string(domain[0]) + "-" + std::to_string(domain[1]) + "-" +
           std::to_string(domain[2]) + "-" + std::to_string(*rid);
}

// A folder that only `user` (and root) may enter; one that exists stays as it is.
void make_user_folder(const fs::path &folder, const win32::LocalUser &user) {
    if (mkdir(folder.c_str(), 0700) != 0) {
        if (errno == EEXIST) return;
        std::string why = std::error_code(errno, std::generic_category()).message();
        // A user of a prefix that root installed waits for root's setup.
        if (errno == EACCES && geteuid() != 0) {
            std::fprintf(stderr, "quarn: cannot create %s: %s; root's quarn setup makes it\n", folder.c_str(),
                         why.c_str());
            return;
        }
        fail(1, "cannot create " + folder.string() + ": " + why);
    }
    if (chmod(folder.c_str(), 0700) != 0 || chown(folder.c_str(), user.uid, user.gid) != 0)
        fail(1, "cannot give " + folder.string() + " to " + user.name + ": " +
                std::error_code(errno, std::generic_category()).message());
}

// Each user's HKEY_CURRENT_USER and private cache live in folders of their
// own, which nobody else can write.  Only root can make them for everybody;
// anybody else makes their own.
void make_users_folders(const fs::path &prefix, const fs::path &cache) {
    const auto *machine = win32::Machine::current();
    if (!machine) fail(kExitFailed, "");  // the machine has said why
    fs::path users = prefix / "registry" / "users";
    make_directory(users);
    // Only the prefix's owner adds folders here (older prefixes had it open to all).
    struct stat st {};
    if (stat(users.c_str(), &st) == 0 && st.st_uid == geteuid()) chmod(users.c_str(), 0755);
    for (const auto &user : win32::local_users()) {
        if (geteuid() != 0 && user.uid != geteuid()) continue;
        std::string sid = user_sid_text(*machine, user);
        if (sid.empty()) continue;
        make_user_folder(win32::registry::user_hive_folder(prefix, sid), user);
        if (geteuid() == 0) move_old_user_hive(users, sid, user);
        make_user_folder(cache / sid, user);
    }
}

// Root makes the global area's file (the library gives it to the product
// group, 0664), and gives one an older setup made to the group when the group
// is known: its members write the global tables.
void give_global_area_to_product_group(const fs::path &cache) {
    if (geteuid() != 0) return;
    shmem_area *area = nullptr;
    if (shmem_create_area(0, 1, &area)) shmem_free_area(area);
    gid_t group = win32::gid_of_group(nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP));
    if (group == win32::kNoGroup) return;
    fs::path file = cache / "ZNshmemV3";
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 &&
        (fchown(fd, static_cast<uid_t>(-1), group) != 0 || fchmod(fd, 0664) != 0))
        std::fprintf(stderr, "quarn: cannot give %s to the product group: %s\n", file.c_str(),
                     std::error_code(errno, std::generic_category()).message().c_str());
    close(fd);
}

// An older prefix kept the \Security key of the common key in the machine
// hive, which everybody may read; root moves it into the security hive.
void move_security_key_apart() {
    if (geteuid() != 0) return;
    LONG status = win32::registry::move_security_out_of_machine_hive();
    if (status != ERROR_SUCCESS)
        fail(kExitFailed, "cannot move the Security key out of the machine hive: " + error_words(status));
}

void install_product(const fs::path &prefix) {
    std::string home = ensure_setting(kSettingProductHome, "ProductHome", "C:\\Program Files\\Quarn\\Zendrel");
    std::string host_data = ensure_setting(kSettingHostData, "HostData", "C:\\ProgramData\\Quarn\\Zendrel");
    make_dos_directory(home);
    for (const char *folder : {"\\var\\cache", "\\var\\log", "\\bin"}) make_dos_directory(host_data + folder);
    fs::path cache = unix_path_of_dos(host_data + "\\var\\cache");
    make_users_folders(prefix, cache);
    give_global_area_to_product_group(cache);
    move_security_key_apart();
    for (int parameter = 0; parameter < kDriverParameters; ++parameter) {
        if (!ntregy_should_install_default_kelfs_param(parameter)) continue;
        char value[256];
        if (ntregy_get_kelfs_param(parameter, value, sizeof value, nullptr) != ERROR_FILE_NOT_FOUND) continue;
        LONG status = ntregy_default_kelfs_param(parameter, nullptr);
        if (status != ERROR_SUCCESS)
            fail(kExitFailed, "cannot write the file-system driver's default parameter " + std::to_string(parameter) +
                                  ": " + error_words(status));
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
    require_machine();
    install_product(prefix);
    publish_adapters();
}

}  // namespace

void add_setup_command(CLI::App &app) {
    auto *setup = app.add_subcommand("setup", "Create or upgrade the prefix ($QUARN_PREFIX): folders, drives and the installation");
    setup->callback(run_setup);
}

}  // namespace quarn::tool
