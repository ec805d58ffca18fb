// nt_get_my_homedir: the current user's profile folder, else HOME, else
// HOMEDRIVE followed by HOMEPATH (or by "\").
#include <cstring>

#include "nt.h"
#include "shell.h"

namespace {

constexpr size_t kHomeDirSize = MAX_PATH + 1;  // 261
constexpr size_t kHomePartSize = MAX_PATH + 1;  // each variable at most 260 characters

}  // namespace

extern "C" NT_API char *nt_get_my_homedir(char *dst, size_t dst_len) {
    if (!dst || dst_len < kHomeDirSize) return nullptr;
    if (SHGetFolderPathA(nullptr, CSIDL_PROFILE | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, dst) == S_OK)
        return dst;
    if (nt_getenv_safe("HOME", dst, dst_len, nullptr)) return dst;
    char drive[kHomePartSize], path[kHomePartSize] = "\\";
    if (!nt_getenv_safe("HOMEDRIVE", drive, sizeof drive, nullptr)) return nullptr;
    nt_getenv_safe("HOMEPATH", path, sizeof path, nullptr);
    size_t a = std::strlen(drive), b = std::strlen(path);
    if (a > dst_len - 1) a = dst_len - 1;
    if (b > dst_len - 1 - a) b = dst_len - 1 - a;
    std::memcpy(dst, drive, a);
    std::memcpy(dst + a, path, b);
    dst[a + b] = '\0';
    return dst;
}
