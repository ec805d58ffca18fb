// nt_getpass: a password read from the console without echo, into one buffer
// shared by every call, doubled whenever it fills; only the first 8
// characters are kept.  The console stays without echo from the prompt to
// the end of the line, not only during each keystroke's read.
#include <cstdio>
#include <cstdlib>

#include "ntposix.h"
#include "win32.h"

namespace {

constexpr size_t kInitialSize = 1024;
constexpr size_t kPasswordLength = 8;
constexpr int kBackspace = 8;

char *password = nullptr;
size_t capacity = 0;

// The console's input without echo and line editing for the life of the
// object, then as it was.
class QuietConsole {
public:
    QuietConsole() : console_(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr)) {
        quiet_ = console_ != INVALID_HANDLE_VALUE && GetConsoleMode(console_, &mode_) &&
                 SetConsoleMode(console_, mode_ & ~(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT));
    }
    ~QuietConsole() {
        if (quiet_) SetConsoleMode(console_, mode_);
        if (console_ != INVALID_HANDLE_VALUE) CloseHandle(console_);
    }
    QuietConsole(const QuietConsole &) = delete;
    QuietConsole &operator=(const QuietConsole &) = delete;

private:
    HANDLE console_;
    DWORD mode_ = 0;
    bool quiet_ = false;
};

}  // namespace

extern "C" NT_API char *nt_getpass(const char *prompt) {
    if (prompt && *prompt) {
        std::printf("%s", prompt);
        std::fflush(stdout);
    }
    if (!password) {
        password = static_cast<char *>(std::malloc(kInitialSize));
        if (!password) return nullptr;
        capacity = kInitialSize;
    }
    size_t length = 0;
    QuietConsole quiet;
    for (;;) {
        int c = _getch();
        if (c == '\n' || c == '\r') break;
        if (c == kBackspace) {
            if (length) --length;
            continue;
        }
        if (length + 1 >= capacity) {  // always room for the terminator
            auto *bigger = static_cast<char *>(std::realloc(password, capacity * 2));
            if (!bigger) {
                std::free(password);
                password = nullptr;
                capacity = 0;
                return nullptr;
            }
            password = bigger;
            capacity *= 2;
        }
        password[length++] = static_cast<char>(c);
    }
    if (length > kPasswordLength) length = kPasswordLength;
    password[length] = 0;
    std::printf("\n");
    std::fflush(stdout);
    return password;
}
