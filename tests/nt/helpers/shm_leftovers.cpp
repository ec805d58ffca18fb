// The suite's check that it leaves /dev/shm as it found it: files of this
// system there that appeared since the mark and that nobody holds any more
// (no open file description locks them), which the suite should have
// removed.  Files that some live process holds, of a suite running beside
// this one, are not counted.
//   shm_leftovers mark FILE    writes the mark before the first test
//   shm_leftovers check FILE   after the last: prints each leftover, exits 1 if any
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool held(const fs::path &file) {
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) return false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_len = 0;  // any byte: a named object's holders lock byte 0, share modes lie at the end
    bool locked = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    close(fd);
    return locked;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    fs::path mark = argv[2];
    if (!std::strcmp(argv[1], "mark")) return std::ofstream(mark) ? 0 : 1;
    struct stat marked {};
    if (std::strcmp(argv[1], "check") || stat(mark.c_str(), &marked) != 0) return 2;
    int leftovers = 0;
    for (const auto &entry : fs::directory_iterator("/dev/shm")) {
        if (entry.path().filename().string().rfind("quarn-", 0) != 0) continue;
        struct stat st {};
        if (lstat(entry.path().c_str(), &st) != 0 || st.st_ctim.tv_sec < marked.st_mtim.tv_sec) continue;
        if (held(entry.path())) continue;
        std::printf("left in /dev/shm: %s\n", entry.path().c_str());
        ++leftovers;
    }
    return leftovers ? 1 : 0;
}
