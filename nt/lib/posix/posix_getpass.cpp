// nt_getpass: a password read from the console without echo, into one buffer
// shared by every call, doubled whenever it fills; only the first 8
// characters are kept.
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
