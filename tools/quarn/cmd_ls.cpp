// quarn ls PATH: a directory through the library's directory stream and
// status calls, one line per entry: mode (octal), size, modification time
// (UTC) and name, so that a long path can be looked at from the shell.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "commands.h"
#include "ntposix.h"

namespace quarn::tool {
namespace {

std::string utc_text(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    tm utc{};
    char text[32];
    if (!gmtime_r(&t, &utc) || !strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc)) return "-";
    return text;
}

}  // namespace

void add_ls_command(CLI::App &app) {
    auto *ls = app.add_subcommand("ls", "List a directory: mode, size, UTC modification time, name");
    static std::string folder;
    ls->add_option("PATH", folder, "The directory, in DOS or Unix form")->required();
    ls->callback([] {
        NT_DIR *dir = nt_opendir(folder.c_str());
        if (!dir) fail(1, folder + ": " + std::strerror(errno));
        std::string base = folder;
        if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
        int failures = 0;
        while (struct nt_dirent *entry = nt_readdir(dir)) {
            struct nt_stat64 st;
            std::string path = base + entry->d_name;
            if (unix_nt_stati64(path.c_str(), &st) != 0) {
                std::fprintf(stderr, "quarn: %s: %s\n", path.c_str(), std::strerror(errno));
                ++failures;
                continue;
            }
            std::printf("%06o %12lld %s %s\n", static_cast<unsigned>(st.st_mode), static_cast<long long>(st.st_size),
                        utc_text(st.st_mtime64).c_str(), entry->d_name);
        }
        nt_closedir(dir);
        if (failures) fail(1, "");
    });
}

}  // namespace quarn::tool
