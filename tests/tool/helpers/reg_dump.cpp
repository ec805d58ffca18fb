// reg_dump ROOT SUBKEY [MACHINE]: prints a key tree with every value's type
// and exact bytes, straight from the Win32 layer, so tests of quarn reg can
// compare registry contents without trusting the tool's own output.
//   [SUBKEY]
//   NAME|TYPE|HEX BYTES
// Exit code 2 when the key does not exist, 1 on any other failure.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win32.h"

namespace {

int dump(HKEY key, const std::string &path) {
    std::printf("[%s]\n", path.c_str());
    std::vector<char> name(70000);
    std::vector<BYTE> data(1 << 20);
    for (DWORD index = 0;; ++index) {
        DWORD name_length = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
        LONG status = RegEnumValueA(key, index, name.data(), &name_length, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return 1;
        std::printf("%s|%u|", std::string(name.data(), name_length).c_str(), type);
        for (DWORD i = 0; i < size; ++i) std::printf("%02x", data[i]);
        std::printf("\n");
    }
    for (DWORD index = 0;; ++index) {
        DWORD name_length = static_cast<DWORD>(name.size());
        LONG status = RegEnumKeyExA(key, index, name.data(), &name_length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return 1;
        std::string child(name.data(), name_length);
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) return 1;
        int result = dump(sub, path.empty() ? child : path + "\\" + child);
        RegCloseKey(sub);
        if (result) return result;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return 1;
    HKEY root = std::strcmp(argv[1], "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (argc > 3 && RegConnectRegistryA(argv[3], root, &root) != ERROR_SUCCESS) return 1;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, argv[2], 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND) return 2;
    if (status != ERROR_SUCCESS) return 1;
    int result = dump(key, argv[2]);
    RegCloseKey(key);
    return result;
}
