// _getch: one keystroke without echo.  The terminal is the console's (see
// kernel32/console_terminal.h), set to raw input for the one read and then
// back to the mode it had, through the guard that restores it on a signal.
// The terminal's erase character reads as 8 and Enter as 13, as console
// keystrokes do; the end of input reads as 13 so that a line reader stops.
// Without any terminal, standard input is read as it is.
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "kernel32/console_terminal.h"
#include "winbase.h"

extern "C" int _getch() {
    int fd = quarn::win32::console_terminal();
    termios saved{};
    bool terminal = fd >= 0 && tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL | ICANON));
        raw.c_iflag &= static_cast<tcflag_t>(~(ICRNL | INLCR));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        quarn::win32::set_terminal_mode(raw);
    } else {
        fd = STDIN_FILENO;
    }
    unsigned char c = 0;
    ssize_t n;
    do {
        n = read(fd, &c, 1);
    } while (n < 0 && errno == EINTR);
    if (terminal) quarn::win32::set_terminal_mode(saved);
    if (n <= 0) return 13;
    if (terminal && c == saved.c_cc[VERASE]) return 8;
    if (c == '\n') return 13;
    return c;
}
