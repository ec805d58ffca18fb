// What the NSS answers are checked against: the identity of the two account
// files, whose change the next look-up sees.
#include "machine/nss_answers.h"

#include <sys/stat.h>

namespace quarn::win32 {
namespace {

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec changed{};

    static FileStamp of(const char *path) {
        FileStamp stamp;
        struct stat st {};
        if (stat(path, &st) != 0) return stamp;  // a missing file has a stamp of its own
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.changed = st.st_ctim;
        return stamp;
    }
    bool operator==(const FileStamp &other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

}  // namespace

uint64_t account_files_generation() {
    static std::mutex mutex;
    static FileStamp passwd, group;
    static uint64_t generation = 0;
    FileStamp passwd_now = FileStamp::of("/etc/passwd");
    FileStamp group_now = FileStamp::of("/etc/group");
    std::lock_guard lock(mutex);
    if (generation == 0 || !(passwd_now == passwd) || !(group_now == group)) {
        passwd = passwd_now;
        group = group_now;
        ++generation;
    }
    return generation;
}

}  // namespace quarn::win32
