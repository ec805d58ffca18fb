// Delivery of debugger output.  Each text is written with one write(2), so
// lines from several processes appending to one file never interleave, and
// ends a line there, as a debugger shows each message on a line of its own.
#include "kernel32/debug_channel.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "winbase.h"

namespace quarn::win32 {
namespace {

enum class Sink { none, stderr_stream, syslog, file };

struct Channel {
    Sink sink = Sink::none;
    int fd = -1;
    std::function<void(std::string_view)> listener;
};

Channel &channel() {
    static auto *instance = [] {
        auto *c = new Channel;  // kept for the process: threads may trace during exit
        const char *target = std::getenv("QUARN_TRACE");
        if (!target || !*target) return c;
        if (std::strcmp(target, "stderr") == 0) {
            c->sink = Sink::stderr_stream;
        } else if (std::strcmp(target, "syslog") == 0) {
            c->sink = Sink::syslog;
        } else {
            c->fd = open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (c->fd >= 0) c->sink = Sink::file;
        }
        return c;
    }();
    return *instance;
}

// The text as one line: its own line feed, or one more.
void write_line(int fd, std::string_view text) {
    std::string ended;
    if (!text.ends_with('\n')) {
        ended.reserve(text.size() + 1);
        ended.append(text).push_back('\n');
        text = ended;
    }
    int saved_errno = errno;  // tracing never changes an outcome
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n <= 0) break;
        text.remove_prefix(static_cast<size_t>(n));
    }
    errno = saved_errno;
}

}  // namespace

void set_debug_listener(std::function<void(std::string_view)> listener) {
    channel().listener = std::move(listener);
}

}  // namespace quarn::win32

extern "C" void OutputDebugStringA(LPCSTR text) {
    if (!text) return;
    auto &c = quarn::win32::channel();
    std::string_view line(text);
    if (c.listener) c.listener(line);
    switch (c.sink) {
    case quarn::win32::Sink::none:
        break;
    case quarn::win32::Sink::stderr_stream:
        quarn::win32::write_line(STDERR_FILENO, line);
        break;
    case quarn::win32::Sink::syslog:
        syslog(LOG_DEBUG, "%.*s", static_cast<int>(line.size()), line.data());
        break;
    case quarn::win32::Sink::file:
        quarn::win32::write_line(c.fd, line);
        break;
    }
}
