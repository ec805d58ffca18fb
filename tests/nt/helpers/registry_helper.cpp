// registry_helper: writes to the registry from a process of its own, for
// the suites that run writers side by side or kill one in mid-write.
//   values KEY PREFIX COUNT   sets COUNT numbers PREFIX<i> = i under HKLM\KEY
//   chains KEY                creates KEY\<i>\l1\...\l9 for ever, saying "ready" after the first
//   get KEY NAME              prints the number, or "error <code>"
//   set KEY NAME NUMBER       sets one number, creating the key; prints "ok" or "error <code>"
//   blob KEY NAME BYTES       sets BYTES bytes of binary data the same way
// KEY is under HKLM, or under HKCU when it begins with "HKCU\".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32.h"

namespace {

int write_values(const char *path, const char *prefix, int count) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return 1;
    for (DWORD i = 0; i < static_cast<DWORD>(count); ++i) {
        std::string name = prefix + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i), sizeof i)) return 1;
    }
    return RegCloseKey(key) ? 1 : 0;
}

int create_chains(const char *path) {
    for (unsigned i = 0;; ++i) {
        if (i == 1) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
        std::string chain = std::string(path) + "\\" + std::to_string(i) + "\\l1\\l2\\l3\\l4\\l5\\l6\\l7\\l8\\l9";
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, chain.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
            return 1;
        RegCloseKey(key);
    }
}

// The root a KEY argument names, and the path below it.
HKEY root_of(const char *&path) {
    constexpr char kUser[] = "HKCU\\";
    if (std::strncmp(path, kUser, sizeof kUser - 1) != 0) return HKEY_LOCAL_MACHINE;
    path += sizeof kUser - 1;
    return HKEY_CURRENT_USER;
}

int get_number(const char *path, const char *name) {
    HKEY key = nullptr;
    HKEY root = root_of(path);
    LONG status = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
    DWORD value = 0, size = sizeof value;
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
    if (status != ERROR_SUCCESS) {
        std::printf("error %ld\n", static_cast<long>(status));
        return 1;
    }
    std::printf("%lu\n", static_cast<unsigned long>(value));
    return 0;
}

int set_value(const char *path, const char *name, DWORD type, const std::string &data) {
    HKEY key = nullptr;
    HKEY root = root_of(path);
    LONG status = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(data.data()),
                                static_cast<DWORD>(data.size()));
    if (key) RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        std::printf("error %ld\n", static_cast<long>(status));
        return 1;
    }
    std::printf("ok\n");
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "values" && argc == 5) return write_values(argv[2], argv[3], std::atoi(argv[4]));
    if (command == "chains" && argc == 3) return create_chains(argv[2]);
    if (command == "get" && argc == 4) return get_number(argv[2], argv[3]);
    if (command == "set" && argc == 5) {
        DWORD number = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
        return set_value(argv[2], argv[3], REG_DWORD, std::string(reinterpret_cast<const char *>(&number), sizeof number));
    }
    if (command == "blob" && argc == 5) return set_value(argv[2], argv[3], REG_BINARY, std::string(std::atoi(argv[4]), 'b'));
    std::fprintf(stderr, "usage: registry_helper values KEY PREFIX COUNT | chains KEY | get KEY NAME | set KEY NAME NUMBER | "
                         "blob KEY NAME BYTES\n");
    return 2;
}
