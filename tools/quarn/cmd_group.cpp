// quarn group name|scramble|unscramble: the product group's name and SID,
// and switching the stored name between plain and scrambled form.
#include <cstdio>
#include <string>

#include "commands.h"
#include "nt.h"

namespace quarn::tool {

void add_group_command(CLI::App &app) {
    auto *group = app.add_subcommand("group", "Show the product group or switch how its name is stored");
    group->require_subcommand(1);
    group->add_subcommand("name", "Print the product group's name and SID")->callback([] {
        nt_init();
        char text[200] = "-";
        PSID sid = nt_get_enum_sid(NT_ENUM_SID_ZENDREL_GROUP);
        if (sid) nt_sid_to_str(sid, text, sizeof text);
        std::printf("%s %s\n", nt_get_zendrel_group_name(), text);
        if (!sid) fail(1, "the product group's name resolves to no account");
    });
    group->add_subcommand("scramble", "Store the group name scrambled")->callback([] {
        if (!nt_install_update(1)) fail(1, "the name cannot be stored scrambled (no installation, or too long)");
    });
    group->add_subcommand("unscramble", "Store the group name plain")->callback([] {
        if (!nt_install_update(0)) fail(1, "the stored name cannot be unscrambled (no installation, or damaged)");
    });
}

}  // namespace quarn::tool
