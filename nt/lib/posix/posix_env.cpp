// Environment access serialised by the library lock.
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/frame.h"
#include "nt.h"

extern "C" NT_API char *nt_getenv_safe(const char *name, char *buffer, size_t size, size_t *needed) {
    NtLibraryLock lock;
    const char *value = std::getenv(name);
    if (!value) {
        if (needed) *needed = 0;
        return nullptr;
    }
    size_t length = std::strlen(value);
    if (buffer && size) {
        size_t n = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, value, n);
        buffer[n] = 0;
    }
    if (needed) *needed = length + 1;
    return buffer;
}

// As the Windows runtime's _putenv: "NAME=value" sets, "NAME=" removes; the
// text is copied, so the caller's buffer may be reused.
extern "C" NT_API int nt_putenv_safe(const char *assignment) {
    NtLibraryLock lock;
    const char *equals = assignment ? std::strchr(assignment, '=') : nullptr;
    if (!equals || equals == assignment) return -1;
    std::string name(assignment, equals);
    int result = equals[1] ? setenv(name.c_str(), equals + 1, 1) : unsetenv(name.c_str());
    return result == 0 ? 0 : -1;
}
