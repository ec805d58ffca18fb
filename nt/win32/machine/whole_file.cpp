// Small files read whole with open(2) and read(2).
#include "machine/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace quarn::win32 {

std::optional<std::string> read_whole_file(const std::filesystem::path &file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char block[8192];
    for (;;) {
        ssize_t got = ::read(fd, block, sizeof block);
        if (got > 0) {
            text.append(block, static_cast<size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            int error = errno;
            ::close(fd);
            errno = error;
            return std::nullopt;
        }
    }
    ::close(fd);
    return text;
}

}  // namespace quarn::win32
