// quarn: the command-line tool over libquarnnt and libquarni18n.  This file
// holds the tool's conventions: the exit codes, the error line, the version,
// and the check that everything written to standard output arrived.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "machine/machine.h"
#include "nt.h"

#ifndef QUARN_VERSION
#error "the build gives the tool its version"
#endif

namespace quarn::tool {

void fail(int code, const std::string &message) { throw Failure{code, message}; }

std::string error_words(unsigned long code) {
    char text[512];
    nt_get_error_string(static_cast<DWORD>(code), NT_ERROR_KIND_WIN32, sizeof text, text);
    std::string words = text;
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) words.pop_back();
    return words + " (" + std::to_string(code) + ")";
}

void require_prefix() {
    std::filesystem::path prefix = win32::Machine::default_prefix();
    std::error_code ec;
    if (std::filesystem::is_directory(prefix, ec)) return require_machine();
    if (ec && ec != std::errc::no_such_file_or_directory)
        fail(kExitFailed, "cannot open the prefix " + prefix.string() + ": " + ec.message());
    fail(kExitFailed, "there is no prefix at " + prefix.string() + "; run `quarn setup` to create it");
}

void require_machine() {
    // The machine has already said why, naming machine.toml, its line and key.
    if (!win32::Machine::current()) fail(kExitFailed, "");
}

namespace {

// Standard output is buffered, so a full disk or a closed pipe shows only
// when the buffer is written: flush it and look before calling the run a success.
int finish_output(int code) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
    int error = errno;
    std::fprintf(stderr, "quarn: cannot write to standard output: %s\n",
                 error ? std::strerror(error) : "the write failed");
    return code == kExitSuccess ? kExitFailed : code;
}

}  // namespace
}  // namespace quarn::tool

int main(int argc, char **argv) {
    using namespace quarn::tool;
    CLI::App app{"quarn: the state of the emulated Windows host of libquarnnt, and the charset tools of libquarni18n"};
    app.name("quarn");
    app.set_version_flag("--version", "quarn " QUARN_VERSION);
    app.require_subcommand(1);
    app.footer("Exit codes: 0 success, 1 a failed operation, 2 a bad command line.");
    add_setup_command(app);
    add_config_command(app);
    add_error_command(app);
    add_reg_command(app);
    add_mime_command(app);
    add_charset_command(app);
    add_cache_command(app);
    add_identity_commands(app);
    add_path_command(app);
    add_ls_command(app);
    add_host_commands(app);
    add_whoami_command(app);
    add_creds_command(app);
    add_group_command(app);
    int code = kExitSuccess;
    try {
        // CLI11 would only say that a command is required.
        if (argc > 1 && argv[1][0] != '-' &&
            app.get_subcommands([&](CLI::App *command) { return command->check_name(argv[1]); }).empty())
            fail(kExitUsage, std::string("unknown command: ") + argv[1] + "; `quarn --help` lists the commands");
        app.parse(argc, argv);
    } catch (const Failure &failure) {
        std::fflush(stdout);
        if (!failure.message.empty()) std::fprintf(stderr, "quarn: %s\n", failure.message.c_str());
        code = failure.code;
    } catch (const CLI::ParseError &e) {
        // Help and the version are answers (CLI11 gives them code 0); every
        // other complaint of the parser is a bad command line, whatever
        // number CLI11 gives it.
        if (e.get_exit_code() == 0) {
            app.exit(e);
        } else {
            std::fprintf(stderr, "quarn: %s\nRun the command with --help for its usage.\n", e.what());
            code = kExitUsage;
        }
    }
    return finish_output(code);
}
