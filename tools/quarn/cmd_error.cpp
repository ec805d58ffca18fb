// quarn error CODE [--kind K]: the text of an error code and the errno value
// it maps to, for an administrator reading a log.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "nt.h"

namespace quarn::tool {
namespace {

DWORD parse_code(const std::string &text) {
    // Decimal, 0x hexadecimal, or a negative decimal as NT status codes are often logged.
    char *end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end || errno || value < INT32_MIN || value > UINT32_MAX)
        fail(2, "not a 32-bit error code: " + text);
    return static_cast<DWORD>(value);
}

}  // namespace

void add_error_command(CLI::App &app) {
    auto *error = app.add_subcommand("error", "Print the text of an error code and its errno mapping");
    static std::string code_text;
    static int kind = NT_ERROR_KIND_WIN32;
    error->add_option("CODE", code_text, "The code: decimal, 0x hexadecimal, or negative decimal")->required();
    error->add_option("--kind", kind,
                      "0 Win32 error (2100-2999 network management first), 1 network management, 2 or 3 NT status");
    error->callback([] {
        DWORD code = parse_code(code_text);
        char text[1024];
        nt_get_error_string(code, kind, sizeof text, text);
        int mapped = nt_win32error2errno(code);
        const char *name = mapped ? strerrorname_np(mapped) : "0";
        std::printf("code: %u (0x%X)\nkind: %d\ntext: %s\nerrno: %s (%d)\n", code, code, kind, text,
                    name ? name : "?", mapped);
    });
}

}  // namespace quarn::tool
