// nt_probe: runs one libquarnnt call in a fresh process, linked against the
// shared library as a product program would be, and prints the answer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nt.h"
#include "ntposix.h"
#include "ntregy.h"
#include "ntx.h"

// "set-sz PATH NAME TEXT", "set-dword PATH NAME N" and "set-multi PATH NAME A|B"
// (under HKEY_LOCAL_MACHINE)
// before the command prepare the registry.
static void apply_settings(int &argc, char **&argv) {
    while (argc >= 5 && std::strncmp(argv[1], "set-", 4) == 0) {
        HKEY key = nullptr;
        if (std::strcmp(argv[1], "set-sz") == 0) {
            ntregy_create_value(HKEY_LOCAL_MACHINE, argv[2], argv[3], argv[4],
                                static_cast<DWORD>(std::strlen(argv[4]) + 1), REG_SZ, &key);
        } else if (std::strcmp(argv[1], "set-dword") == 0) {
            DWORD value = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 0));
            ntregy_create_value(HKEY_LOCAL_MACHINE, argv[2], argv[3], &value, sizeof value, REG_DWORD, &key);
        } else {
            std::string list = argv[4];
            for (char &c : list)
                if (c == '|') c = '\0';
            list.push_back('\0');
            ntregy_create_value(HKEY_LOCAL_MACHINE, argv[2], argv[3], list.data(), static_cast<DWORD>(list.size() + 1),
                                REG_MULTI_SZ, &key);
        }
        if (key) ntregy_close_key(key);
        argc -= 4;
        argv += 4;
    }
}

// The file name of the resource library mapped into this process.
static std::string mapped_resource_library() {
    FILE *maps = std::fopen("/proc/self/maps", "r");
    char line[4096];
    std::string found;
    while (maps && std::fgets(line, sizeof line, maps))
        if (const char *rsc = std::strstr(line, ".rsc\n")) {
            const char *name = std::strrchr(line, '/');
            found.assign(name + 1, rsc + 4);
        }
    if (maps) std::fclose(maps);
    return found;
}

int main(int argc, char **argv) {
    apply_settings(argc, argv);
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
    } else if (command == "wts") {
        int admin = static_cast<int>(0xdeadbeef);
        int answer = nt_is_terminal_server(&admin);
        std::printf("%d %d %d %d\n", answer, admin, nt_ob_has_global_prefix(), nt_is_citrix_metaframe());
    } else if (command == "ppid" && argc == 3) {
        std::printf("%u\n", ntx_get_ppid(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10))));
    } else if (command == "macs") {
        BYTE *addresses = reinterpret_cast<BYTE *>(0xdeadbeef);
        int count = ntx_my_mac_addresses(&addresses);
        std::printf("%d", count);
        for (int i = 0; i < count; ++i)
            for (int b = 0; b < 6; ++b) std::printf(b ? ":%02x" : " %02x", addresses[6 * i + b]);
        std::printf(count > 0 ? "\n" : addresses ? " (not cleared)\n" : "\n");
        std::free(addresses);
    } else if (command == "ui-language") {
        std::printf("%04x\n", nt_get_ui_language());
    } else if (command == "resdll" && argc == 3) {
        HMODULE library = nt_load_resource_dll(nullptr, std::atoi(argv[2]));
        std::printf("%s\n", library ? mapped_resource_library().c_str() : "null");
    } else if (command == "vb" && argc == 3) {
        char name[300];
        std::memset(name, 0xCC, sizeof name);
        int result = nt_find_vb_resource_app_name(argv[2], name);
        std::printf(result == 0 ? "%d %s\n" : "%d\n", result, name);
    } else if (command == "ping" && argc == 3) {
        std::printf("%d\n", ntx_ping_host(argv[2]));
    } else {
        return 2;
    }
    return 0;
}
