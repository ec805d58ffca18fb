// quarn setup's move of a hive an older prefix kept at registry/users/SID.db
// (with its -wal and -shm) into the user's own folder as SID/ntuser.db.  The
// files go one by one into a staging folder of root's, which then replaces
// the user's empty folder in one rename: a crash at any moment leaves every
// file in exactly one place, and no half-moved hive is ever seen, and the
// next setup finishes the move.  A hive that does not belong to the user
// whose SID names it is left where it is and named in a warning event.
#include "setup_hive_moves.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "commands.h"
#include "machine/owned_files.h"

namespace quarn::tool {
namespace fs = std::filesystem;
namespace {

constexpr const char *kSuffixes[] = {"-wal", "-shm", ""};  // the hive itself last

std::string why(int error) { return std::error_code(error, std::generic_category()).message(); }

// Whose the old hive's files are, or why they are not `user`'s.
std::string distrust(const fs::path &old_hive, const win32::LocalUser &user) {
    for (const char *suffix : kSuffixes) {
        fs::path file = old_hive.string() + suffix;
        struct stat st {};
        if (lstat(file.c_str(), &st) != 0) continue;
        if (!S_ISREG(st.st_mode)) return "\"" + file.string() + "\" is not a regular file";
        if (st.st_uid != user.uid)
            return "\"" + file.string() + "\" is owned by uid " + std::to_string(st.st_uid) + ", not by uid " +
                   std::to_string(user.uid);
    }
    return {};
}

bool empty_folder(const fs::path &folder) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(folder, error)) && fs::is_empty(folder, error);
}

}  // namespace

void move_old_user_hive(const fs::path &users, const std::string &sid, const win32::LocalUser &user) {
    fs::path old_hive = users / (sid + ".db");
    fs::path staging = users / ("." + sid + ".moving");
    fs::path folder = users / sid;
    struct stat st {};
    bool old_present = lstat(old_hive.c_str(), &st) == 0 || lstat((old_hive.string() + "-wal").c_str(), &st) == 0;
    bool staged = lstat(staging.c_str(), &st) == 0;
    if (!old_present && !staged) return;
    if (old_present) {
        if (std::string refused = distrust(old_hive, user); !refused.empty()) {
            win32::report_warning("Left " + old_hive.string() + " where it is: " + refused);
            return;
        }
    }
    if (lstat(folder.c_str(), &st) == 0 && !empty_folder(folder)) {
        win32::report_warning("Left " + old_hive.string() + " where it is: " + folder.string() + " is not empty");
        return;
    }
    if (!staged && mkdir(staging.c_str(), 0700) != 0)
        fail(1, "cannot create " + staging.string() + ": " + why(errno));
    if (lstat(staging.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_uid != 0 && st.st_uid != user.uid))
        fail(1, staging.string() + " is not a folder of root's or of its user");
    for (const char *suffix : kSuffixes) {
        fs::path from = old_hive.string() + suffix;
        fs::path to = staging / ("ntuser.db" + std::string(suffix));
        if (rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT)
            fail(1, "cannot move " + from.string() + ": " + why(errno));
    }
    for (const char *suffix : kSuffixes) {
        fs::path file = staging / ("ntuser.db" + std::string(suffix));
        // Through a descriptor that never follows a link: a staging folder of
        // the user's own may hold a link the user put there since.
        int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) continue;
        if (fd < 0) fail(1, "cannot open " + file.string() + ": " + why(errno));
        bool given = fchown(fd, user.uid, user.gid) == 0 && fchmod(fd, 0600) == 0;
        int error = errno;
        close(fd);
        if (!given) fail(1, "cannot give " + file.string() + " to " + user.name + ": " + why(error));
    }
    if (chown(staging.c_str(), user.uid, user.gid) != 0 || chmod(staging.c_str(), 0700) != 0)
        fail(1, "cannot give " + staging.string() + " to " + user.name + ": " + why(errno));
    // Replaces the user's folder when it is empty (a setup made it), or takes its place.
    if (rename(staging.c_str(), folder.c_str()) != 0)
        fail(1, "cannot move " + staging.string() + " to " + folder.string() + ": " + why(errno));
    std::printf("moved %s to %s\n", old_hive.c_str(), (folder / "ntuser.db").c_str());
}

}  // namespace quarn::tool
