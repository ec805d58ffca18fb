// nt_probe: runs one libquarnnt call in a fresh process, linked against the
// shared library as a product program would be, and prints the answer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nt.h"
#include "ntposix.h"

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    std::string command = argv[1];
    if (command == "osinfo") {
        std::printf("%d %d\n", nt_osinfo(), nt_win32_platform());
    } else if (command == "getpass" && argc == 3) {
        char *password = nt_getpass(argv[2]);
        std::printf("[%s]\n", password ? password : "(null)");
    } else if (command == "log-event" && argc == 4) {
        nt_log_event(std::atoi(argv[2]), "%s", argv[3]);
    } else if (command == "uname") {
        nt_utsname u;
        nt_uname(&u);
        std::printf("%s|%s|%s|%s|%s\n", u.sysname, u.nodename, u.release, u.version, u.machine);
    } else if (command == "timezone") {
        nt_timeval tv;
        nt_timezone tz{-1, -1};
        nt_gettimeofday(&tv, &tz);
        std::printf("%d %d\n", tz.tz_minuteswest, tz.tz_dsttime);
    } else if (command == "user-sid") {
        PSID sid = nullptr;
        if (!nt_get_user_sid(&sid)) return 1;
        const auto *b = static_cast<const unsigned char *>(sid);
        for (int i = 0; i < 8 + 4 * b[1]; ++i) std::printf("%02x", b[i]);
        std::printf("\n");
    } else {
        return 2;
    }
    return 0;
}
