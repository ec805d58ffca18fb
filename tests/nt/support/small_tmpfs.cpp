// Mounting, filling and unmounting a test's small tmpfs.
#include "small_tmpfs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace quarn::test {

SmallTmpfs::SmallTmpfs(std::filesystem::path where, size_t bytes) : where_(std::move(where)) {
    std::filesystem::create_directories(where_);
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("tmpfs", where_.c_str(), "tmpfs", MS_NOSUID, options.c_str()) != 0)
        refusal_ = std::string("mounting a tmpfs was refused: ") + std::strerror(errno);
}

SmallTmpfs::~SmallTmpfs() {
    if (mounted()) umount2(where_.c_str(), MNT_DETACH);
}

void SmallTmpfs::fill() const {
    int fd = open((where_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    std::vector<char> block(4096, 'f');
    for (size_t size = block.size(); size > 0;) {
        if (write(fd, block.data(), size) < 0) size /= 2;  // the last page may take less than a block
    }
    close(fd);
}

}  // namespace quarn::test
