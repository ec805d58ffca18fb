// The console's input: "CONIN$", GetConsoleMode and SetConsoleMode over the
// terminal's line discipline, and the guard that puts the terminal back when
// a signal ends or stops the process in the middle of a change.
//
//   the terminal     which one, opened once
//   the guard        signal handlers armed while the mode is changed
//   the calls        CONIN$ handles and their modes
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "kernel32/console_terminal.h"
#include "kernel32/kernel_object.h"
#include "winbase.h"
#include "winerror.h"

namespace quarn::win32 {
namespace {

// ---- the terminal ------------------------------------------------------------------

int terminal_fd = -1;
std::once_flag terminal_once;

bool same_mode(const termios &a, const termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// ---- the guard ----------------------------------------------------------------------

// Those of readpassphrase(3): every signal whose default ends or stops the
// process and that a terminal or a user sends.
constexpr int kGuarded[] = {SIGALRM, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int kGuardedCount = sizeof kGuarded / sizeof *kGuarded;

std::mutex guard_mutex;  // changes of the mode; never taken by the handler
bool armed = false;
termios found{};    // the mode the process found
termios changed{};  // the mode it set
struct sigaction previous[kGuardedCount];

void on_signal(int signal) {
    int saved_errno = errno;
    tcsetattr(terminal_fd, TCSANOW, &found);
    int slot = 0;
    while (kGuarded[slot] != signal) ++slot;
    // The program's own action, for this one delivery: raised while blocked
    // in this handler, the signal acts as soon as it is unblocked.
    struct sigaction mine;
    sigaction(signal, &previous[slot], &mine);
    sigset_t only, before;
    sigemptyset(&only);
    sigaddset(&only, signal);
    raise(signal);
    pthread_sigmask(SIG_UNBLOCK, &only, &before);
    // Still here: the process was continued, or its handler returned.
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    sigaction(signal, &mine, nullptr);
    tcsetattr(terminal_fd, TCSANOW, &changed);
    errno = saved_errno;
}

void arm() {
    if (armed) return;
    struct sigaction guard {};
    guard.sa_handler = on_signal;
    sigfillset(&guard.sa_mask);  // one handler at a time, and nothing else in between
    for (int i = 0; i < kGuardedCount; ++i) sigaction(kGuarded[i], &guard, &previous[i]);
    armed = true;
}

void disarm() {
    if (!armed) return;
    for (int i = 0; i < kGuardedCount; ++i) sigaction(kGuarded[i], &previous[i], nullptr);
    armed = false;
}

// ---- the calls ----------------------------------------------------------------------------

class ConsoleInput final : public KernelObject {};

}  // namespace

int console_terminal() {
    std::call_once(terminal_once, [] {
        if (isatty(STDIN_FILENO)) {
            terminal_fd = STDIN_FILENO;
            return;
        }
        terminal_fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    });
    return terminal_fd;
}

bool set_terminal_mode(const termios &mode) {
    int fd = console_terminal();
    if (fd < 0) return false;
    std::lock_guard lock(guard_mutex);
    if (!armed && tcgetattr(fd, &found) != 0) return false;
    if (same_mode(mode, found)) {
        bool done = tcsetattr(fd, TCSANOW, &mode) == 0;
        disarm();
        return done;
    }
    // The handlers read `changed` and `found`, so signals wait while they change.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    changed = mode;
    arm();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return tcsetattr(fd, TCSANOW, &mode) == 0;
}

HANDLE open_console_input() {
    if (console_terminal() < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    try {
        HANDLE handle = make_handle(std::make_shared<ConsoleInput>());
        SetLastError(ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

}  // namespace quarn::win32

using namespace quarn::win32;

namespace {

// The terminal behind a console input handle, or -1 with the last error set.
int terminal_of(HANDLE handle) {
    if (!typed_object<ConsoleInput>(handle)) return -1;
    int fd = console_terminal();
    if (fd < 0) SetLastError(ERROR_INVALID_HANDLE);
    return fd;
}

}  // namespace

extern "C" {

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    int fd = terminal_of(console);
    termios now;
    if (fd < 0) return FALSE;
    if (!mode || tcgetattr(fd, &now) != 0) {
        SetLastError(mode ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *mode = (now.c_lflag & ISIG ? ENABLE_PROCESSED_INPUT : 0) | (now.c_lflag & ICANON ? ENABLE_LINE_INPUT : 0) |
            (now.c_lflag & ECHO ? ENABLE_ECHO_INPUT : 0);
    return TRUE;
}

BOOL SetConsoleMode(HANDLE console, DWORD mode) {
    int fd = terminal_of(console);
    termios next;
    if (fd < 0) return FALSE;
    // Echo is a feature of line input, as on Windows.
    if ((mode & ENABLE_ECHO_INPUT) && !(mode & ENABLE_LINE_INPUT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (tcgetattr(fd, &next) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto flag = [&next](bool on, tcflag_t bits) {
        next.c_lflag = on ? next.c_lflag | bits : next.c_lflag & ~bits;
    };
    flag(mode & ENABLE_PROCESSED_INPUT, ISIG);
    flag(mode & ENABLE_LINE_INPUT, ICANON);
    if (mode & ENABLE_ECHO_INPUT)
        flag(true, ECHO);
    else
        flag(false, ECHO | ECHONL);
    if (!set_terminal_mode(next)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
