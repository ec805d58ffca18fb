// quarn: the command-line tool over libquarnnt and libquarni18n.
#include <cstdio>

#include "commands.h"

namespace quarn::tool {

void fail(int code, const std::string &message) {
    throw CLI::RuntimeError(message, code);
}

}  // namespace quarn::tool

int main(int argc, char **argv) {
    using namespace quarn::tool;
    CLI::App app{"quarn: the state of the emulated Windows host of libquarnnt, and the charset tools of libquarni18n"};
    app.require_subcommand(1);
    add_setup_command(app);
    add_error_command(app);
    add_reg_command(app);
    add_mime_command(app);
    add_charset_command(app);
    add_cache_command(app);
    add_identity_commands(app);
    add_whoami_command(app);
    add_creds_command(app);
    add_group_command(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError &e) {
        if (*e.what()) std::fprintf(stderr, "quarn: %s\n", e.what());
        return e.get_exit_code();
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    return 0;
}
