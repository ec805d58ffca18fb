// _splitpath: a Windows path in its drive, directory, base name and extension.
#include <cstring>

#include "winbase.h"

namespace {

// Copies [begin, end) into `to` (room bytes, terminated) when `to` is given.
void put_part(char *to, size_t room, const char *begin, const char *end) {
    if (!to) return;
    size_t n = static_cast<size_t>(end - begin);
    if (n >= room) n = room - 1;
    std::memcpy(to, begin, n);
    to[n] = 0;
}

}  // namespace

extern "C" void _splitpath(const char *path, char *drive, char *dir, char *fname, char *ext) {
    if (!path) path = "";
    const char *p = path;
    const char *drive_end = (p[0] && p[1] == ':') ? p + 2 : p;
    put_part(drive, _MAX_DRIVE, p, drive_end);
    const char *name = drive_end;
    for (const char *q = drive_end; *q; ++q)
        if (*q == '\\' || *q == '/') name = q + 1;
    put_part(dir, _MAX_DIR, drive_end, name);
    const char *end = name + std::strlen(name);
    const char *dot = std::strrchr(name, '.');
    if (!dot) dot = end;
    put_part(fname, _MAX_FNAME, name, dot);
    put_part(ext, _MAX_EXT, dot, end);
}
