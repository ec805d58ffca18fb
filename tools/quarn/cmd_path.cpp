// quarn path full|wide|thin|ob|unix PATH and quarn path kernel KPATH: the
// library's conversions of one path, for an administrator checking where a
// program's path lands.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "commands.h"
#include "kernel32/dos_path.h"
#include "nt.h"
#include "ntx.h"
#include "winnls.h"

namespace quarn::tool {
namespace {

constexpr size_t kPathBytes = 2048;

[[noreturn]] void conversion_failed(const std::string &what, DWORD error) {
    char text[512];
    nt_get_error_string(error, NT_ERROR_KIND_WIN32, sizeof text, text);
    fail(1, what + ": " + text);
}

std::string convert(const std::string &form, const std::string &path, bool expand) {
    char thin[kPathBytes];
    char16_t wide[kPathBytes / 2];
    if (form == "full") {
        if (nt_get_full_path(path.c_str(), thin, sizeof thin) != 0) conversion_failed(path, GetLastError());
        return thin;
    }
    if (form == "wide") {
        if (nt_get_wide_path(path.c_str(), wide, sizeof wide) != 0) conversion_failed(path, GetLastError());
        return win32::utf16_to_utf8(wide);
    }
    if (form == "thin") {
        std::u16string given = win32::utf8_to_utf16(path);
        if (nt_get_thin_path(given.c_str(), thin, sizeof thin) != 0) conversion_failed(path, GetLastError());
        return thin;
    }
    if (form == "ob") {
        if (ntx_cvt_to_ob_pname(path.c_str(), expand, sizeof thin, thin) != 0) conversion_failed(path, GetLastError());
        return thin;
    }
    if (form == "unix") {
        auto unix_path = win32::unix_path_of_dos(win32::utf8_to_utf16(path));
        if (!unix_path) conversion_failed(path, GetLastError());
        return *unix_path;
    }
    char *user = nullptr;
    DWORD error = nt_kernel_to_dosdevice_user_path(path.c_str(), &user);
    if (error) conversion_failed(path, error);
    std::string result = user;
    std::free(user);
    return result;
}

}  // namespace

void add_path_command(CLI::App &app) {
    auto *path = app.add_subcommand("path", "Print a path as the library converts it");
    static std::string form, text;
    static bool expand = false;
    path->add_option("FORM", form,
                     "full (absolute), wide (extended-length), thin (prefix removed), ob (object-manager name), "
                     "unix (the file behind it), kernel (a kernel path back to a user path)")
        ->required();
    path->add_option("PATH", text, "The path")->required();
    path->add_flag("--expand", expand, "With ob: follow symbolic links down to the device");
    path->callback([] {
        static const std::set<std::string> forms{"full", "wide", "thin", "ob", "unix", "kernel"};
        if (!forms.count(form)) fail(2, "not a form of path: " + form);
        if (expand && form != "ob") fail(2, "--expand goes with ob only");
        std::printf("%s\n", convert(form, text, expand).c_str());
    });
}

}  // namespace quarn::tool
