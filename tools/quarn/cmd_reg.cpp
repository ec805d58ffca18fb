// quarn reg: the registry from the command line, with the syntax, output and
// messages of Windows reg.exe.  CLI11 takes everything after "reg" as it
// stands, since reg.exe's /switches are not options it knows; this file reads
// them per operation and hands them to the operation's file.
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <iostream>

#include "cmd_reg.h"
#include "commands.h"

namespace quarn::tool {
namespace reg {
namespace {

const RegOperation *const kOperations[] = {&query_operation, &add_operation, &delete_operation, &export_operation,
                                           &import_operation};

constexpr const char *kOverview = R"(Operations, each with --help (or /?) of its own:
  quarn reg query KEY [/v NAME | /ve] [/s]
  quarn reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
  quarn reg delete KEY [/v NAME | /ve | /va] [/f]
  quarn reg export KEY FILE [/y]
  quarn reg import FILE
Switches begin with / or -.  KEY is [\\MACHINE\]ROOT[\SUBKEY] with ROOT one of HKLM, HKEY_LOCAL_MACHINE,
HKCU, HKEY_CURRENT_USER; another machine's registry is the prefix's
machines/MACHINE/ and offers HKLM only.  Exit code 0 on success, 1 on failure.)";

bool is_help(const std::string &arg) { return arg == "/?" || arg == "-?" || arg == "--help" || arg == "-h"; }

const RegOperation *find_operation(const std::string &name) {
    for (const RegOperation *operation : kOperations)
        if (strcasecmp(operation->name, name.c_str()) == 0) return operation;
    return nullptr;
}

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Positional arguments first, then switches in any order, each at most once.
// nullopt when help was asked for.
std::optional<RegArgs> read_args(const RegOperation &operation, const std::vector<std::string> &args) {
    RegArgs parsed;
    parsed.operation = operation.name;
    size_t i = 0;
    for (; i < args.size() && i < operation.positionals; ++i) {
        if (is_help(args[i])) return std::nullopt;
        parsed.positionals.push_back(args[i]);
    }
    if (parsed.positionals.size() < operation.positionals) fail_syntax(parsed);
    for (; i < args.size(); ++i) {
        if (is_help(args[i])) return std::nullopt;
        // Windows' own tools take -v as well as /v.
        std::string name = lower(args[i]);
        if (name.size() > 1 && name[0] == '-') name[0] = '/';
        const Switch *known = nullptr;
        for (const Switch &candidate : operation.switches)
            if (name == candidate.name) known = &candidate;
        if (!known || parsed.has(name)) fail_syntax(parsed);
        if (known->takes_value && ++i == args.size()) fail_syntax(parsed);
        parsed.switches[name] = known->takes_value ? args[i] : "";
    }
    return parsed;
}

void run(const std::vector<std::string> &args) {
    if (!args.empty() && is_help(args[0])) {
        std::puts(kOverview);
        return;
    }
    const RegOperation *operation = args.empty() ? nullptr : find_operation(args[0]);
    if (!operation) fail_with("Invalid syntax.\nType \"quarn reg --help\" for usage.");
    auto parsed = read_args(*operation, std::vector<std::string>(args.begin() + 1, args.end()));
    if (!parsed) {
        std::fputs(operation->help, stdout);
        return;
    }
    require_prefix();
    try {
        operation->run(*parsed);
    } catch (const RegCallError &error) {
        fail_with(error_text(error.code));
    }
}

}  // namespace

std::string RegArgs::value(const std::string &name) const {
    auto found = switches.find(name);
    return found == switches.end() ? "" : found->second;
}

void fail_with(const std::string &message) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: %s\n", message.c_str());
    fail(1, "");
}

void fail_syntax(const RegArgs &args, const std::string &detail) {
    fail_with((detail.empty() ? "Invalid syntax." : "Invalid syntax. " + detail) + "\nType \"quarn reg " + args.operation +
              " --help\" for usage.");
}

RegPath key_argument(const RegArgs &args) {
    auto path = parse_reg_path(args.positionals.at(0));
    if (!path) fail_with("Invalid key name.\nType \"quarn reg " + args.operation + " --help\" for usage.");
    return *path;
}

void check_exclusive(const RegArgs &args, const std::vector<std::string> &names) {
    int given = 0;
    for (const auto &name : names) given += args.has(name);
    if (given > 1) fail_syntax(args);
}

bool confirm(const std::string &question) {
    for (;;) {
        std::fputs(question.c_str(), stdout);
        std::fflush(stdout);
        std::string answer;
        if (!std::getline(std::cin, answer)) {
            std::fputc('\n', stdout);
            return false;
        }
        answer = lower(answer);
        if (!answer.empty() && answer.back() == '\r') answer.pop_back();
        if (answer == "y" || answer == "yes") return true;
        if (answer == "n" || answer == "no") return false;
    }
}

void cancelled() {
    std::puts("The operation was canceled by the user.");
    fail(1, "");
}

void print_success() { std::puts("The operation completed successfully."); }

}  // namespace reg

void add_reg_command(CLI::App &app) {
    auto *command = app.add_subcommand("reg", "Query and change the registry, export and import .reg files (reg.exe's syntax)");
    command->prefix_command();
    command->footer(reg::kOverview);
    command->callback([command] { reg::run(command->remaining()); });
}

}  // namespace quarn::tool
