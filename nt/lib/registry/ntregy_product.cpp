// Machine-wide product facts: the per-computer privilege override, the
// product information list, the registry password, the server type, and
// the removal of the product's keys.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/frame.h"
#include "registry/ntregy_internal.h"
#include "phash.h"

namespace {

constexpr int kProductInfoKeys = 6;

struct CachedAnswer {
    std::atomic<bool> computed{false};
    int answer = 0;
};

CachedAnswer admins_privileged;
CachedAnswer zngroup_privileged;  // never computed: always 0

// "AdminsArePrivileged_" and the hash of this computer's NetBIOS name.
int read_admins_override() {
    char computer[16];
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size)) return 0;
    char name[46];
    int length = std::snprintf(name, sizeof name, "%s_%d", "AdminsArePrivileged",
                               static_cast<int>(phash_str_hash_fn(computer)));
    if (length < 1 || length > 45) return 0;
    DWORD value = 0;
    HKEY key = nullptr;
    LONG status = ntregy_get_value(HKEY_LOCAL_MACHINE, ntregy_get_common_key(), name, &value, sizeof value, &key);
    quarn::nt::close_handed_key(key);
    return status == ERROR_SUCCESS && value != 0 ? 1 : 0;
}

std::string security_key() { return std::string(ntregy_get_common_key()) + "\\Security"; }

}  // namespace

extern "C" {

NT_API int ntregy_admins_are_privileged(void) {
    if (admins_privileged.computed.load(std::memory_order_acquire)) return admins_privileged.answer;
    NtLibraryLock lock;
    if (!admins_privileged.computed.load(std::memory_order_relaxed)) {
        admins_privileged.answer = read_admins_override();
        admins_privileged.computed.store(true, std::memory_order_release);
    }
    return admins_privileged.answer;
}

NT_API int ntregy_zngroup_is_privileged(void) {
    if (!zngroup_privileged.computed.load(std::memory_order_acquire)) NtLibraryLock lock;
    return zngroup_privileged.answer;
}

NT_API LONG ntregy_update_product_info_keys(const char *text, const char *machine) {
    size_t size = std::strlen(text) + 2;
    auto *list = static_cast<char *>(std::malloc(size + 1));
    if (!list) return ERROR_NOT_ENOUGH_MEMORY;
    size_t kept = 0;
    for (const char *p = text; *p; ++p) {
        if (*p == '\n') {
            list[kept++] = '\0';
        } else if (std::isprint(static_cast<signed char>(*p))) {
            list[kept++] = *p;
        }
    }
    // Lines end in NULs and the list in one more.
    if (kept == 0 || list[kept - 1] != '\0') list[kept++] = '\0';
    list[kept++] = '\0';
    LONG status = ntregy_set_param(kProductInfoKeys, list, machine);
    std::free(list);
    return status;
}

NT_API LONG ntregy_get_rgy_passwd(char *buffer, DWORD size, const char *machine) {
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    HKEY key = nullptr;
    LONG status = ntregy_get_value(root.key(), security_key().c_str(), "RegPasswd", buffer, size, &key);
    quarn::nt::close_handed_key(key);
    return status;
}

NT_API LONG ntregy_set_rgy_passwd(const char *password, const char *machine) {
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    HKEY key = nullptr;
    LONG status = ntregy_create_value(root.key(), security_key().c_str(), "RegPasswd", password,
                                      static_cast<DWORD>(std::strlen(password) + 1), REG_SZ, &key);
    quarn::nt::close_handed_key(key);
    return status;
}

NT_API LONG ntregy_del_rgy_svrtype(const char *machine) {
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    LONG status = ntregy_del_value(root.key(), ntregy_get_common_key(), "ServerType");
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

NT_API LONG ntregy_del_zendrel_tree(const char *machine) {
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    char path[256];
    std::snprintf(path, sizeof path, "%s\\Security", ntregy_get_common_key());
    // From the bottom up, stopping at the first key that still holds others.
    while (true) {
        char *last = std::strrchr(path, '\\');
        if (!last || std::strcmp(path, "\\Software") == 0) return ERROR_SUCCESS;
        LONG status = ntregy_del_key(root.key(), path);
        if (status == ERROR_ACCESS_DENIED) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
        *last = '\0';
    }
}

}  // extern "C"
