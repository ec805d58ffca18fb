// Files and folders that belong to one user inside folders other users may
// reach: made with their final mode, never reached through a link, and
// checked before use.  Whatever fails a check is named in a warning event and
// left as it is.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace quarn::win32 {

constexpr gid_t kNoGroup = static_cast<gid_t>(-1);

// One warning event under the product's source.
void report_warning(const std::string &text);

// Makes `folder` with `mode` when it is missing (its parent must exist), and
// then requires a real folder owned by `owner` or root that nobody else may
// write.  False with errno set (EACCES for a folder that fails the check).
bool ensure_owned_folder(const std::filesystem::path &folder, mode_t mode, uid_t owner);

// Opens `file` with `flags` (O_RDONLY, O_RDWR ...) without following a link.
// When it is missing and `create` is set it is made exclusively with `mode`
// (and `group`, unless kNoGroup); `created` tells.  An existing file must be a
// regular file owned by `owner` (or root; any owner when `owner` is -1) that
// nobody else may write, or one of `group`, which its members may write and
// nobody else.  A descriptor, or -1 with errno set (EACCES for a file that
// fails the check, EPERM when the caller may not give a file to `group`).
int open_owned_file(const std::filesystem::path &file, int flags, bool create, mode_t mode, uid_t owner,
                    bool &created, gid_t group = kNoGroup);

// Checks a descriptor as open_owned_file checks its file; names `file` in an
// event when it fails.
bool owned_file_is_sound(int fd, const std::filesystem::path &file, uid_t owner, gid_t group = kNoGroup);

// Gives a file just made its group (unless kNoGroup) and then `mode`, which
// the umask must not narrow.  False with errno set (EPERM: the caller is
// neither root nor a member of `group`).
bool set_created_mode(int fd, mode_t mode, gid_t group);

}  // namespace quarn::win32
