// object_helper: one Win32 named-object step in a process of its own, for
// the cross-process tests of the layer: holding or waiting for a named
// mutex, reading a named section, opening a file without sharing.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "win32.h"

namespace {

void announce(const char *what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

int run(int argc, char **argv) {
    std::string command = argv[1];
    if (command == "hold-mutex" && argc == 3) {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[2]);
        if (!mutex || (GetLastError() == ERROR_ALREADY_EXISTS && WaitForSingleObject(mutex, INFINITE) == WAIT_FAILED))
            return 1;
        announce("held");
        for (;;) pause();
    }
    if (command == "wait-mutex" && argc == 4) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[2]);
        if (!mutex) return 1;
        std::printf("%u\n", WaitForSingleObject(mutex, static_cast<DWORD>(std::atoi(argv[3]))));
        return 0;
    }
    if (command == "read-section" && argc == 3) {
        HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, argv[2]);
        if (!section) {
            std::printf("error %u\n", GetLastError());
            return 0;
        }
        const char *view = static_cast<const char *>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0));
        std::printf("%.16s\n", view ? view : "(no view)");
        return 0;
    }
    if (command == "open-file" && argc == 3) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        std::printf("%u\n", file == INVALID_HANDLE_VALUE ? GetLastError() : 0u);
        return 0;
    }
    return 2;
}

}  // namespace

int main(int argc, char **argv) { return argc < 2 ? 2 : run(argc, argv); }
