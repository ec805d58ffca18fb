// Drive letters as symlinks under <prefix>/dosdevices, as Wine keeps them.  A
// prefix that has not been set up yet still has the two default drives.
#include "machine/dos_paths.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

namespace quarn::win32 {
namespace fs = std::filesystem;
namespace {

using DriveRoots = std::map<char, fs::path>;

// Drive letter (lower case) -> the canonical Unix directory it stands for.
DriveRoots read_drive_roots(const Machine &machine) {
    DriveRoots roots;
    std::error_code ec;
    fs::path devices = machine.prefix() / "dosdevices";
    for (const auto &entry : fs::directory_iterator(devices, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0]))) continue;
        fs::path target = fs::weakly_canonical(entry.path(), ec);
        if (!ec) roots[static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])))] = target;
    }
    if (!roots.count('c')) roots['c'] = fs::weakly_canonical(machine.prefix() / "drive_c", ec);
    if (!roots.count('z')) roots['z'] = "/";
    return roots;
}

// What a folder looked like: any entry added, removed or renamed in it
// changes its modification time. A folder that is missing is all zeros.
struct FolderState {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};

    bool operator==(const FolderState &o) const {
        return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

// A folder changed in the last two seconds may change again within the same
// timestamp, so what was read from it is not kept.
constexpr time_t kSettledSeconds = 2;

std::optional<FolderState> settled_state(const fs::path &folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return errno == ENOENT ? std::optional<FolderState>(FolderState{}) : std::nullopt;
    if (time(nullptr) - st.st_mtim.tv_sec < kSettledSeconds) return std::nullopt;
    return FolderState{st.st_dev, st.st_ino, st.st_mtim};
}

// The drive table as last read, with the states of the prefix (where
// dosdevices and drive_c come and go) and of dosdevices (where the links do).
struct CachedRoots {
    fs::path prefix;
    FolderState prefix_state, devices_state;
    std::shared_ptr<const DriveRoots> roots;
};

// Shared, so that a look-up copies nothing.
std::shared_ptr<const DriveRoots> drive_roots(const Machine &machine) {
    static std::mutex lock;
    static std::optional<CachedRoots> cached;
    const fs::path &prefix = machine.prefix();
    auto prefix_state = settled_state(prefix);
    auto devices_state = settled_state(prefix / "dosdevices");
    bool settled = prefix_state && devices_state;
    {
        std::lock_guard guard(lock);
        if (settled && cached && cached->prefix == prefix && cached->prefix_state == *prefix_state &&
            cached->devices_state == *devices_state)
            return cached->roots;
    }
    auto roots = std::make_shared<const DriveRoots>(read_drive_roots(machine));
    if (settled) {
        std::lock_guard guard(lock);
        cached = CachedRoots{prefix, *prefix_state, *devices_state, roots};
    }
    return roots;
}

}  // namespace

std::map<char, fs::path> drive_table(const Machine &machine) { return *drive_roots(machine); }

std::optional<std::string> unix_to_dos_path(const Machine &machine, const std::string &unix_path) {
    std::error_code ec;
    fs::path path = fs::weakly_canonical(fs::absolute(unix_path, ec), ec);
    if (ec) return std::nullopt;
    return canonical_unix_to_dos_path(machine, path.generic_string());
}

std::optional<std::string> canonical_unix_to_dos_path(const Machine &machine, const std::string &text) {
    char best = 0;
    size_t best_length = 0;
    auto roots = drive_roots(machine);
    for (const auto &[letter, root] : *roots) {
        std::string r = root.generic_string();
        if (r.size() > 1 && r.back() == '/') r.pop_back();
        bool inside = r == "/" || text == r || (text.starts_with(r) && text[r.size()] == '/');
        size_t length = r == "/" ? 0 : r.size();
        if (inside && (!best || length > best_length)) {
            best = letter;
            best_length = length;
        }
    }
    if (!best) return std::nullopt;
    std::string rest = text.substr(best_length);
    for (char &c : rest)
        if (c == '/') c = '\\';
    if (rest.empty() || rest.front() != '\\') rest.insert(rest.begin(), '\\');
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(best)))) + ":" + rest;
}

std::optional<std::string> dos_to_unix_path(const Machine &machine, const std::string &dos_path) {
    if (dos_path.size() < 2 || dos_path[1] != ':' || !std::isalpha(static_cast<unsigned char>(dos_path[0])))
        return std::nullopt;
    auto roots = drive_roots(machine);
    auto it = roots->find(static_cast<char>(std::tolower(static_cast<unsigned char>(dos_path[0]))));
    if (it == roots->end()) return std::nullopt;
    std::string rest = dos_path.substr(2);
    for (char &c : rest)
        if (c == '\\') c = '/';
    while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
    return (it->second / rest).string();
}

}  // namespace quarn::win32
