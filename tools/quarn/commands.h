// The families of the quarn tool: each file adds its own subcommands to the
// application, and follows the tool's conventions through the helpers here.
//
// Exit codes: kExitSuccess when the command did what it was asked,
// kExitFailed when the operation failed, kExitUsage for a bad command line
// (an unknown option, a missing or malformed argument).  Errors go to standard
// error in words, naming the file, key or account concerned.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace quarn::tool {

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A command's end: "quarn: message" on standard error (nothing when the
// message is empty, because the command has already said why) and the exit
// code `code`.
struct Failure {
    int code;
    std::string message;
};
[[noreturn]] void fail(int code, const std::string &message);

// The platform's text for a Win32 error code, in words and with its number:
// "Access is denied. (5)".  For messages that say what failed.
std::string error_words(unsigned long code);

// For every command that works on the prefix, except `quarn setup`: a
// missing prefix ends the command (kExitFailed) with a message that names
// it and says to run `quarn setup`, so that nothing creates one by reading;
// then require_machine().
void require_prefix();
// A machine.toml that cannot be used ends the command (kExitFailed) with the
// one error that names the file, line and key.
void require_machine();

void add_setup_command(CLI::App &app);
void add_config_command(CLI::App &app);
void add_error_command(CLI::App &app);
void add_reg_command(CLI::App &app);
void add_mime_command(CLI::App &app);
void add_charset_command(CLI::App &app);
void add_cache_command(CLI::App &app);
void add_identity_commands(CLI::App &app);
void add_path_command(CLI::App &app);
void add_ls_command(CLI::App &app);
void add_host_commands(CLI::App &app);
void add_whoami_command(CLI::App &app);
void add_creds_command(CLI::App &app);
void add_group_command(CLI::App &app);

}  // namespace quarn::tool
