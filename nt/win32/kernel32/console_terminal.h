// The console's terminal: standard input when it is one, else the process's
// controlling terminal.  Its mode is changed only through set_terminal_mode,
// which keeps a signal from leaving the terminal changed: while the mode
// differs from the one the process found, a signal that would end or stop
// the process first finds the terminal as it was, then acts as it would
// have, and a process that carries on gets the changed mode back.
#pragma once

#include <termios.h>

#include "winbase.h"

namespace quarn::win32 {

// The terminal's descriptor, opened once and kept; -1 without a terminal.
int console_terminal();

// A handle to the console's input, as CreateFileA("CONIN$") opens it.
HANDLE open_console_input();

// Applies `mode` to the console's terminal; false when that fails.
bool set_terminal_mode(const termios &mode);

}  // namespace quarn::win32
