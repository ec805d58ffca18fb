// The families of the quarn tool: each file adds its own subcommands to the application.
#pragma once

#include <CLI/CLI.hpp>

namespace quarn::tool {

// A command's failure: the message goes to standard error and the tool exits with `code`.
[[noreturn]] void fail(int code, const std::string &message);

void add_setup_command(CLI::App &app);
void add_error_command(CLI::App &app);
void add_reg_command(CLI::App &app);
void add_mime_command(CLI::App &app);
void add_charset_command(CLI::App &app);
void add_cache_command(CLI::App &app);
void add_identity_commands(CLI::App &app);
void add_whoami_command(CLI::App &app);
void add_creds_command(CLI::App &app);
void add_group_command(CLI::App &app);

}  // namespace quarn::tool
