// Support of the path and file suites (file_support.h).
#include "file_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include "machine/machine.h"
#include "temp_prefix.h"
#include "winnls.h"

namespace quarn::test {

std::filesystem::path drive_c_folder(const std::string &name) {
    auto folder = process_prefix().path() / "drive_c" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    // Other users of the machine reach the drive, as they would on Windows.
    using std::filesystem::perms;
    for (const auto &open : {process_prefix().path(), process_prefix().path() / "drive_c", folder})
        std::filesystem::permissions(open, perms::owner_all | perms::group_read | perms::group_exec |
                                               perms::others_read | perms::others_exec);
    return std::filesystem::canonical(folder);
}

std::u16string wide(const std::string &utf8) { return quarn::win32::utf8_to_utf16(utf8); }
std::string thin(const std::u16string &utf16) { return quarn::win32::utf16_to_utf8(utf16); }

int in_child(const std::function<int()> &body) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid == -1 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

int as_other_user(const std::function<int()> &body) {
    return in_child([&] {
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) return 99;
        return body();
    });
}

std::vector<std::string> file_helper(const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{QUARN_FILE_HELPER};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

}  // namespace quarn::test
