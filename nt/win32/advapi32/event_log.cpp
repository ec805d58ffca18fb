// The event log.  Events go to syslog under the source's name as ident
// (errors LOG_ERR, warnings LOG_WARNING, the rest LOG_INFO), written straight
// to /dev/log so the host program's own openlog() settings are left alone.
// With $QUARN_EVENTLOG set they are appended to that file instead, one line
// each (docs/prefix.md describes the line).
#include <fcntl.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "advapi.h"
#include "kernel32/kernel_object.h"
#include "machine/machine.h"

namespace {

class EventSource final : public quarn::win32::KernelObject {
public:
    explicit EventSource(std::string name) : name(std::move(name)) {}
    const std::string name;
};

const char *type_name(WORD type) {
    switch (type) {
    case EVENTLOG_ERROR_TYPE: return "error";
    case EVENTLOG_WARNING_TYPE: return "warning";
    case EVENTLOG_INFORMATION_TYPE: return "information";
    case EVENTLOG_AUDIT_SUCCESS: return "audit-success";
    case EVENTLOG_AUDIT_FAILURE: return "audit-failure";
    default: return "success";
    }
}

int severity(WORD type) {
    switch (type) {
    case EVENTLOG_ERROR_TYPE: return LOG_ERR;
    case EVENTLOG_WARNING_TYPE: return LOG_WARNING;
    default: return LOG_INFO;
    }
}

// Line breaks and backslashes are escaped so that one event is one line.
std::string escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

bool send_to_syslog(const std::string &ident, int priority, const std::string &message) {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    char stamp[32];
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    std::string packet = "<" + std::to_string(LOG_USER | priority) + ">" + stamp + " " + ident + "[" +
                         std::to_string(getpid()) + "]: " + message;
    bool sent = sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&address),
                       sizeof address) == static_cast<ssize_t>(packet.size());
    close(fd);
    return sent;
}

bool append_to_file(const char *path, const std::string &line) {
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return written;
}

}  // namespace

extern "C" {

HANDLE OpenEventLogA(LPCSTR server, LPCSTR source) {
    if (!source || !*source) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (server && *server) {
        const auto *machine = quarn::win32::Machine::current();
        std::string name = server;
        while (!name.empty() && name.front() == '\\') name.erase(name.begin());
        if (!machine || strcasecmp(name.c_str(), machine->computer_name().c_str()) != 0) {
            SetLastError(RPC_S_SERVER_UNAVAILABLE);  // no other machine's log can be reached
            return nullptr;
        }
    }
    return quarn::win32::make_handle(std::make_shared<EventSource>(source));
}

BOOL ReportEventA(HANDLE log, WORD type, WORD category, DWORD event_id, PSID user, WORD string_count, DWORD,
                  LPCSTR *strings, LPVOID) {
    auto source = quarn::win32::typed_object<EventSource>(log);
    if (!source) return FALSE;
    std::string text;
    for (WORD i = 0; i < string_count; ++i) {
        if (i) text += ' ';
        text += strings[i] ? strings[i] : "";
    }
    std::string user_text = "-";
    if (user) {
        char *sid_text = nullptr;
        if (ConvertSidToStringSidA(user, &sid_text)) {
            user_text = sid_text;
            LocalFree(sid_text);
        }
    }
    std::string fields = std::string(type_name(type)) + " category=" + std::to_string(category) +
                         " id=" + std::to_string(event_id) + " user=" + user_text + ": " + escaped(text);
    if (const char *file = std::getenv("QUARN_EVENTLOG"); file && *file) {
        char stamp[32];
        time_t now = time(nullptr);
        tm utc{};
        gmtime_r(&now, &utc);
        strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
        if (append_to_file(file, std::string(stamp) + " " + source->name + "[" + std::to_string(getpid()) + "] " +
                                     fields + "\n"))
            return TRUE;
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    if (send_to_syslog(source->name, severity(type), fields)) return TRUE;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);  // no syslog daemon listens
    return FALSE;
}

BOOL CloseEventLog(HANDLE log) {
    if (!quarn::win32::typed_object<EventSource>(log)) return FALSE;
    return CloseHandle(log);
}

}  // extern "C"
