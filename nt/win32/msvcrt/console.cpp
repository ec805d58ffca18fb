// _getch: one keystroke without echo.  The terminal is standard input when it
// is one, else /dev/tty.  The terminal's erase character reads as 8 and Enter
// as 13, as console keystrokes do; the end of input reads as 13 so that a line
// reader stops.  Without any terminal, standard input is read as it is.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "winbase.h"

extern "C" int _getch() {
    int fd = STDIN_FILENO;
    int opened = -1;
    if (!isatty(fd)) {
        opened = open("/dev/tty", O_RDONLY | O_CLOEXEC);
        if (opened >= 0) fd = opened;
    }
    termios saved{};
    bool terminal = tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL | ICANON));
        raw.c_iflag &= static_cast<tcflag_t>(~(ICRNL | INLCR));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &raw);
    }
    unsigned char c = 0;
    ssize_t n;
    do {
        n = read(fd, &c, 1);
    } while (n < 0 && errno == EINTR);
    if (terminal) tcsetattr(fd, TCSANOW, &saved);
    if (opened >= 0) close(opened);
    if (n <= 0) return 13;
    if (terminal && c == saved.c_cc[VERASE]) return 8;
    if (c == '\n') return 13;
    return c;
}
