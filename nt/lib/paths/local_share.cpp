// nt_get_local_sharename_path: the directory that a share of this machine
// exports, from its "Path=" line under LanmanServer\Shares.
#include <cerrno>
#include <cstring>

#include "nt.h"
#include "ntregy.h"
#include "win32.h"

namespace {

constexpr char kSharesKey[] = "\\System\\CurrentControlSet\\Services\\LanmanServer\\Shares";
constexpr DWORD kListBuffer = 500;
constexpr char kPathLine[] = "Path=";

}  // namespace

extern "C" NT_API int nt_get_local_sharename_path(const char *share, char *out, size_t size) {
    char list[kListBuffer] = {};
    HKEY key = nullptr;
    // One byte of the buffer stays free for the list's final terminator.
    LONG status = ntregy_get_value(HKEY_LOCAL_MACHINE, kSharesKey, share, list, kListBuffer - 1, &key);
    if (key) ntregy_close_key(key);
    if (status != ERROR_SUCCESS) return nt_win32error2errno(static_cast<DWORD>(status));
    if (!list[0]) return -1;
    for (const char *line = list; *line && line < list + kListBuffer; line += std::strlen(line) + 1) {
        if (std::strncmp(line, kPathLine, std::strlen(kPathLine)) != 0) continue;
        const char *directory = line + std::strlen(kPathLine);
        size_t length = std::strlen(directory);
        if (length + 1 > size) return ENAMETOOLONG;
        std::memcpy(out, directory, length + 1);
        return 0;
    }
    return -1;
}
