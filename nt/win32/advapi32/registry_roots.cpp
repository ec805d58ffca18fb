// Locating and caching the hives.  One connection per hive file per process,
// kept for the life of the process.  A user's hive lives in a folder of that
// user's own (registry/users/<SID>/), which nobody else can write, so nobody
// can plant a hive for another user or keep them from theirs.
#include "advapi32/registry_roots.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "advapi.h"
#include "machine/machine.h"
#include "machine/owned_files.h"
#include "advapi32/registry_names.h"
#include "winerror.h"

namespace quarn::win32::registry {

namespace {

constexpr mode_t kMachineHiveMode = 0644;   // every user reads HKEY_LOCAL_MACHINE
constexpr mode_t kSecurityHiveMode = 0600;  // but not the keys Windows keeps from them
constexpr mode_t kUserHiveMode = 0600;      // HKEY_CURRENT_USER is its user's alone
constexpr mode_t kUserFolderMode = 0700;    // and so is the folder it lives in
constexpr mode_t kUsersFolderMode = 0755;   // only the prefix's owner adds users' folders
constexpr char kUserHiveName[] = "ntuser.db";

std::mutex hives_mutex;
std::map<std::string, std::shared_ptr<Hive>> hives;

// Makes `folder` (and its parents) when missing; false when it cannot be made.
bool ensure_folder(const std::filesystem::path &folder, mode_t mode) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return true;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) return false;
    chmod(folder.c_str(), mode);  // not narrowed by the umask
    return true;
}

std::shared_ptr<Hive> cached_hive(const std::filesystem::path &file, mode_t mode, LONG &status,
                                  uid_t owner = static_cast<uid_t>(-1)) {
    std::lock_guard lock(hives_mutex);
    auto found = hives.find(file.string());
    if (found != hives.end()) {
        status = ERROR_SUCCESS;
        return found->second;
    }
    auto hive = Hive::open(file, true, mode, status, owner);
    if (hive) hives.emplace(file.string(), hive);
    return hive;
}

std::shared_ptr<Hive> machine_hive_of(const std::filesystem::path &prefix, LONG &status) {
    auto folder = prefix / "registry";
    ensure_folder(folder, 0755);
    return cached_hive(folder / "machine.db", kMachineHiveMode, status);
}

// The text of the process token's user SID, or empty with `status` set.
std::string token_user_text(LONG &status) {
    static std::mutex mutex;
    static pid_t owner = 0;
    static std::string text;
    std::lock_guard lock(mutex);
    if (owner == getpid() && !text.empty()) return text;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        status = static_cast<LONG>(GetLastError());
        return {};
    }
    alignas(8) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    char *sid_text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &sid_text)) {
        text = sid_text;
        owner = getpid();
        LocalFree(sid_text);
    } else {
        status = static_cast<LONG>(GetLastError());
    }
    CloseHandle(token);
    return text;
}

// Says once per process why the user has no HKEY_CURRENT_USER, and what
// makes one.
void report_missing_user_folder(const std::filesystem::path &folder) {
    static std::once_flag reported;
    std::call_once(reported, [&] {
        report_warning("No HKEY_CURRENT_USER for uid " + std::to_string(geteuid()) + ": its folder \"" +
                       folder.string() + "\" is missing; root's \"quarn setup\" makes it");
    });
}

}  // namespace

std::filesystem::path user_hive_folder(const std::filesystem::path &prefix, const std::string &sid) {
    return prefix / "registry" / "users" / sid;
}

std::shared_ptr<Hive> local_machine_hive(LONG &status) {
    // Looked up once: every HKEY_LOCAL_MACHINE call comes here.
    static std::mutex mutex;
    static std::shared_ptr<Hive> hive;
    std::lock_guard lock(mutex);
    if (hive) {
        status = ERROR_SUCCESS;
        return hive;
    }
    const Machine *machine = Machine::current();
    if (!machine) {
        status = ERROR_BAD_CONFIGURATION;
        return nullptr;
    }
    hive = machine_hive_of(machine->prefix(), status);
    return hive;
}

const char kSecurityMountPath[] = "SOFTWARE\\QUARN\\ZENDREL\\CURRENTVERSION\\SECURITY";

bool holds_security_mount(const Hive &hive) {
    LONG status = ERROR_SUCCESS;
    auto machine = local_machine_hive(status);
    return machine.get() == &hive;
}

std::shared_ptr<Hive> security_hive(LONG &status) {
    const Machine *machine = Machine::current();
    if (!machine) {
        status = ERROR_BAD_CONFIGURATION;
        return nullptr;
    }
    auto folder = machine->prefix() / "registry";
    ensure_folder(folder, 0755);
    return cached_hive(folder / "security.db", kSecurityHiveMode, status);
}

std::shared_ptr<Hive> current_user_hive(LONG &status) {
    const Machine *machine = Machine::current();
    if (!machine) {
        status = ERROR_BAD_CONFIGURATION;
        return nullptr;
    }
    std::string sid = token_user_text(status);
    if (sid.empty()) return nullptr;
    auto folder = user_hive_folder(machine->prefix(), sid);
    ensure_folder(folder.parent_path().parent_path(), 0755);
    ensure_folder(folder.parent_path(), kUsersFolderMode);
    if (!ensure_owned_folder(folder, kUserFolderMode, geteuid())) {
        // No folder, and none can be made here: there is no hive to find
        // (`quarn setup` makes every user's).  One that fails its check is refused.
        std::error_code error;
        bool present = std::filesystem::symlink_status(folder, error).type() != std::filesystem::file_type::not_found;
        status = present ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        if (!present) report_missing_user_folder(folder);
        return nullptr;
    }
    return cached_hive(folder / kUserHiveName, kUserHiveMode, status, geteuid());
}

std::shared_ptr<Hive> remote_machine_hive(const char *name, LONG &status) {
    const Machine *machine = Machine::current();
    if (!machine) {
        status = ERROR_BAD_CONFIGURATION;
        return nullptr;
    }
    std::string_view wanted(name);
    while (!wanted.empty() && wanted.front() == '\\') wanted.remove_prefix(1);
    std::string folded = fold_name(wanted);
    if (folded.empty() || folded == fold_name(machine->computer_name())) return local_machine_hive(status);
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(machine->prefix() / "machines", error)) {
        if (entry.is_directory(error) && fold_name(entry.path().filename().string()) == folded)
            return machine_hive_of(entry.path(), status);
    }
    status = ERROR_BAD_NETPATH;
    return nullptr;
}

}  // namespace quarn::win32::registry
