// An anonymous (null-session) connection to a server's IPC$ share, made for
// the calls that a server answers only over one and cancelled at the end of
// its scope.
#pragma once

#include <string>

#include "win32.h"
#include "wnet.h"

class AnonymousIpcSession {
public:
    AnonymousIpcSession() = default;
    ~AnonymousIpcSession();
    AnonymousIpcSession(const AnonymousIpcSession &) = delete;
    AnonymousIpcSession &operator=(const AnonymousIpcSession &) = delete;

    // Connects to `server`, a name that begins with two backslashes; true when connected.
    bool connect(LPCWSTR server);
    // Connects to the machine `name` (no backslashes), as "\\name\IPC$".
    bool connect(const char *name);

private:
    std::u16string wide_;  // the remote name connected with WNetAddConnection2W
    std::string narrow_;   // or with WNetAddConnection2A
};
