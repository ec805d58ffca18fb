// nt_get_error_string: the readable text of a Win32 error, network-management
// message or NT status code, without its trailing line break, or a fallback
// sentence naming the code.
#include <cstring>

#include "frame/frame.h"
#include "nt.h"

namespace {

// A module handle that is not yet tried, distinct from null (tried and failed).
HMODULE const kNotTried = reinterpret_cast<HMODULE>(static_cast<intptr_t>(-1));

HMODULE netmsg_module = kNotTried;
HMODULE ntdll_module = kNotTried;

const char kFallbackFormat[] = "Error %1!d!: No additional description available for this system error.";
const char kFallbackText[] = "No additional description available for this system error.";

HMODULE message_module(HMODULE &cache, const char *name) {
    NtLibraryLock lock;
    if (cache == kNotTried) cache = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return cache;
}

bool ask_platform(DWORD flags, HMODULE module, DWORD code, char *buffer, int size) {
    DWORD n = FormatMessageA(flags | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0, buffer,
                             static_cast<DWORD>(size), nullptr);
    if (n == 0) return false;
    if (buffer[n - 1] == '\n') {
        buffer[--n] = 0;
        if (n > 0 && buffer[n - 1] == '\r') buffer[--n] = 0;
    }
    return true;
}

}  // namespace

extern "C" NT_API char *nt_get_error_string(DWORD code, int kind, int size, char *buffer) {
    if (!buffer || size <= 0) return buffer;
    HMODULE module = nullptr;
    DWORD flags = 0;
    bool lookup = true;
    switch (kind) {
    case NT_ERROR_KIND_WIN32:
        flags = FORMAT_MESSAGE_FROM_SYSTEM;
        if (code >= NERR_BASE && code <= MAX_NERR) module = message_module(netmsg_module, "netmsg.dll");
        break;
    case NT_ERROR_KIND_NETMSG:
        module = message_module(netmsg_module, "netmsg.dll");
        lookup = module != nullptr;
        break;
    case 2:
    case 3:
        module = message_module(ntdll_module, "ntdll.dll");
        lookup = module != nullptr;
        break;
    default:
        lookup = false;
    }
    if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    if (lookup && ask_platform(flags, module, code, buffer, size)) return buffer;

    DWORD_PTR arguments[1] = {static_cast<DWORD_PTR>(code)};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, kFallbackFormat, 0, 0, buffer,
                       static_cast<DWORD>(size), reinterpret_cast<va_list *>(arguments)))
        return buffer;
    std::strncpy(buffer, kFallbackText, static_cast<size_t>(size) - 1);
    buffer[size - 1] = 0;
    return buffer;
}
