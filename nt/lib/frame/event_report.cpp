// nt_log_event: one event under the source "Zendrel", its text prefixed with
// the program's path and the process and thread ids, reported with the
// calling user's SID.
#include <cstdarg>
#include <cstdio>

#include "nt.h"
#include "frame/trace.h"

namespace {
constexpr int kEventTextSize = 1324;
constexpr int kProgramPathSize = 1024;
constexpr WORD kEventCategory = 8;
constexpr DWORD kEventId = 1024;
}  // namespace

extern "C" NT_API void nt_log_event(int type, const char *format, ...) {
    char program[kProgramPathSize];
    if (GetModuleFileNameA(nullptr, program, sizeof program) == 0) std::snprintf(program, sizeof program, "Unknown");
    char text[kEventTextSize];
    int prefix = std::snprintf(text, sizeof text, "%s (pid: %u, tid: %u) ", program, GetCurrentProcessId(),
                               GetCurrentThreadId());
    if (prefix < 0) prefix = 0;
    if (prefix < kEventTextSize - 1) {
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text + prefix, sizeof text - static_cast<size_t>(prefix), format, arguments);
        va_end(arguments);
    }

    PSID user = nullptr;
    if (!nt_get_user_sid(&user)) user = nullptr;

    HANDLE log = OpenEventLogA(nullptr, "Zendrel");
    if (!log) {
        nt_trace("OpenEventLog(): %u", GetLastError());
        nt_trace("%s", text);
        return;
    }
    LPCSTR strings[1] = {text};
    if (!ReportEventA(log, static_cast<WORD>(type), kEventCategory, kEventId, user, 1, 0, strings, nullptr)) {
        nt_trace("ReportEvent(): %u", GetLastError());
        nt_trace("%s", text);
    }
    CloseEventLog(log);
}
