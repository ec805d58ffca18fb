// Checked files and folders: created exclusively with their final mode,
// opened with O_NOFOLLOW, and refused when another user owns them or may
// write them, so that nobody can plant a file another user will trust.  A
// file of a trusted group may be anyone's in that group: only its members
// (and root) can give a file that group.
#include "machine/owned_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "advapi.h"

namespace quarn::win32 {
namespace {

constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

void report_refused(const std::filesystem::path &path, const std::string &why) {
    report_warning("Refused \"" + path.string() + "\": " + why);
}

// Why `st` may not be trusted as `owner`'s (or `group`'s), or empty when it may.
std::string distrust(const struct stat &st, mode_t kind, uid_t owner, gid_t group = kNoGroup) {
    if ((st.st_mode & S_IFMT) != kind) return kind == S_IFDIR ? "not a folder" : "not a regular file";
    bool groups = group != kNoGroup && st.st_gid == group;
    if (owner != static_cast<uid_t>(-1) && st.st_uid != owner && st.st_uid != 0 && !groups)
        return "owned by uid " + std::to_string(st.st_uid) + ", not by uid " + std::to_string(owner);
    if (st.st_mode & (groups ? S_IWOTH : kOthersWrite)) return "writable by other users";
    return {};
}

bool refuse(const std::filesystem::path &path, const std::string &why) {
    report_refused(path, why);
    errno = EACCES;
    return false;
}

}  // namespace

void report_warning(const std::string &text) {
    HANDLE log = OpenEventLogA(nullptr, "Zendrel");
    if (!log) return;
    LPCSTR strings[] = {text.c_str()};
    ReportEventA(log, EVENTLOG_WARNING_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    CloseEventLog(log);
}

bool ensure_owned_folder(const std::filesystem::path &folder, mode_t mode, uid_t owner) {
    if (mkdir(folder.c_str(), mode) == 0) {
        // The umask must not narrow it, and a folder made in a sticky parent
        // is ours: only its mode needs setting.
        int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            fchmod(fd, mode);
            close(fd);
        }
    } else if (errno != EEXIST) {
        return false;
    }
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0) return false;
    std::string why = S_ISLNK(st.st_mode) ? std::string("a link") : distrust(st, S_IFDIR, owner);
    return why.empty() || refuse(folder, why);
}

bool owned_file_is_sound(int fd, const std::filesystem::path &file, uid_t owner, gid_t group) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    std::string why = distrust(st, S_IFREG, owner, group);
    return why.empty() || refuse(file, why);
}

bool set_created_mode(int fd, mode_t mode, gid_t group) {
    if (group != kNoGroup && fchown(fd, static_cast<uid_t>(-1), group) != 0) return false;
    return fchmod(fd, mode) == 0;
}

int open_owned_file(const std::filesystem::path &file, int flags, bool create, mode_t mode, uid_t owner,
                    bool &created, gid_t group) {
    created = false;
    // O_NONBLOCK: a planted FIFO must not hang the opener.
    int common = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = open(file.c_str(), flags | common);
        if (fd >= 0) {
            if (owned_file_is_sound(fd, file, owner, group)) return fd;
            close(fd);
            return -1;
        }
        if (errno == ELOOP) {
            refuse(file, "a link");
            return -1;
        }
        if (errno != ENOENT || !create) return -1;
        fd = open(file.c_str(), flags | common | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            if (!set_created_mode(fd, mode, group)) {
                int error = errno;
                close(fd);
                unlink(file.c_str());
                errno = error;
                return -1;
            }
            created = true;
            return fd;
        }
        if (errno != EEXIST) return -1;  // somebody made it meanwhile: check theirs
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace quarn::win32
