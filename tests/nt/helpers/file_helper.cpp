// A second process for the file suites: it opens a file and holds it open,
// so that share modes and retries meet a real other process.
//   file_helper hold DOSPATH ACCESS SHARE MILLISECONDS   CreateFileW; ACCESS and SHARE
//                                                       are letters of "rwd" or "-"
//   file_helper open PATH MILLISECONDS                   unix_nt_open for reading
//   file_helper wide PATH                                prints nt_get_wide_path of PATH, or
//                                                       "fail <last error> <errno>"
// hold and open print "held" once the file is open (or "error N"), then waits the
// given time (0: until it is killed) and exits.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nt.h"
#include "ntposix.h"
#include "winnls.h"
#include "advapi.h"

namespace {

DWORD access_of(const char *letters) {
    DWORD access = 0;
    if (std::strchr(letters, 'r')) access |= GENERIC_READ;
    if (std::strchr(letters, 'w')) access |= GENERIC_WRITE;
    if (std::strchr(letters, 'd')) access |= DELETE;
    return access;
}

DWORD share_of(const char *letters) {
    DWORD share = 0;
    if (std::strchr(letters, 'r')) share |= FILE_SHARE_READ;
    if (std::strchr(letters, 'w')) share |= FILE_SHARE_WRITE;
    if (std::strchr(letters, 'd')) share |= FILE_SHARE_DELETE;
    return share;
}

int hold_for(const char *milliseconds) {
    std::printf("held\n");
    std::fflush(stdout);
    long wait = std::strtol(milliseconds, nullptr, 10);
    if (wait == 0) pause();
    else usleep(static_cast<useconds_t>(wait) * 1000);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 6 && !std::strcmp(argv[1], "hold")) {
        std::u16string path = quarn::win32::utf8_to_utf16(argv[2]);
        HANDLE file = CreateFileW(path.c_str(), access_of(argv[3]), share_of(argv[4]), nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::printf("error %u\n", static_cast<unsigned>(GetLastError()));
            return 1;
        }
        return hold_for(argv[5]);
    }
    if (argc == 4 && !std::strcmp(argv[1], "open")) {
        int fd = unix_nt_open(argv[2], O_RDONLY, 0);
        if (fd == -1) {
            std::printf("error %d\n", errno);
            return 1;
        }
        return hold_for(argv[3]);
    }
    if (argc == 3 && !std::strcmp(argv[1], "wide")) {
        char16_t wide[1024];
        if (nt_get_wide_path(argv[2], wide, sizeof wide) != 0) {
            std::printf("fail %u %d\n", static_cast<unsigned>(GetLastError()), errno);
            return 1;
        }
        std::printf("%s\n", quarn::win32::utf16_to_utf8(wide).c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: file_helper hold DOSPATH ACCESS SHARE MS | open PATH MS\n");
    return 2;
}
