// nt_trace: one line of at most 1023 characters, the process-and-thread prefix
// first, to the debugger channel.  It never fails and takes no lock.
#include "frame/trace.h"

#include <cstdarg>
#include <cstdio>

namespace {
constexpr int kLineSize = 1024;
}

void nt_trace(const char *format, ...) {
    char line[kLineSize];
    int prefix = std::snprintf(line, sizeof line, "NtUtilX(pid: %u, tid: %u) ", GetCurrentProcessId(),
                               GetCurrentThreadId());
    if (prefix < 0) prefix = 0;
    va_list arguments;
    va_start(arguments, format);
    // vsnprintf cuts and terminates, so a long message fills the line exactly.
    std::vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix), format, arguments);
    va_end(arguments);
    OutputDebugStringA(line);
}
