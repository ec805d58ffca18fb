// Kernel paths back to user paths: nt_kernel_to_dosdevice_user_path finds the
// DOS device ("C:", "UNC") whose target begins the kernel path.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "nt.h"
#include "ntposix.h"
#include "paths/paths.h"

namespace {

constexpr size_t kFirstListSize = 6760;
constexpr DWORD kTargetSize = MAX_PATH;
constexpr char kDosDevices[] = "\\DosDevices\\";

bool is_drive_name(const char *name) {
    char c = name[0];
    return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && name[1] == ':' && name[2] == '\0';
}

// The kernel path continues the target at a separator or ends with it, so
// "\Device\HarddiskVolume1" does not claim "\Device\HarddiskVolume10\x".
bool continues(const char *kernel_path, const char *target) {
    size_t length = std::strlen(target);
    if (length == 0 || nt_strncasecmp(kernel_path, target, length) != 0) return false;
    return kernel_path[length] == '\0' || kernel_path[length] == '\\';
}

}  // namespace

extern "C" NT_API DWORD nt_kernel_to_dosdevice_user_path(const char *kernel_path, char **out) {
    *out = nullptr;
    size_t prefix = std::strlen(kDosDevices);
    const char *rest = nt_strncasecmp(kernel_path, kDosDevices, prefix) == 0 ? kernel_path + prefix : "";
    std::vector<char> names;
    for (size_t size = kFirstListSize;; size *= 2) {
        try {
            names.assign(size, '\0');
        } catch (const std::bad_alloc &) {
            return ERROR_OUTOFMEMORY;
        }
        DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(size));
        if (length == 0 && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return GetLastError();
        if (length != 0 && length + MAX_PATH < size) break;
    }
    std::string answer;
    for (const char *name = names.data(); *name && answer.empty(); name += std::strlen(name) + 1) {
        if (*rest && nt_strncasecmp(name, rest, 2) == 0 && std::strlen(name) == 2) {
            answer = rest;
            break;
        }
        char target[kTargetSize];
        if (!QueryDosDeviceA(name, target, kTargetSize) || !continues(kernel_path, target)) continue;
        const char *after = kernel_path + std::strlen(target);
        if (nt_strcasecmp(name, "UNC") == 0) answer = std::string("\\") + after;
        else if (is_drive_name(name)) answer = std::string(name) + after;
    }
    if (answer.empty()) return ERROR_PATH_NOT_FOUND;
    *out = static_cast<char *>(std::malloc(answer.size() + 1));
    if (!*out) return ERROR_OUTOFMEMORY;
    std::memcpy(*out, answer.c_str(), answer.size() + 1);
    return 0;
}
