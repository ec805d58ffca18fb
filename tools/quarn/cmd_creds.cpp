// quarn creds NAME: the credentials record a server of the product would get
// for a user: name, SID, primary group and every group with its SID.
#include <cstdio>
#include <string>

#include "commands.h"
#include "nt.h"
#include "winnls.h"

namespace quarn::tool {
namespace {

std::string sid_text(PSID sid) {
    char text[200];
    return sid && nt_sid_to_str(sid, text, sizeof text) ? text : "-";
}

std::string narrow(const WCHAR *text) { return text ? win32::utf16_to_utf8(text) : ""; }

}  // namespace

void add_creds_command(CLI::App &app) {
    auto *creds = app.add_subcommand("creds", "Print the network credentials record of a user");
    static std::string name;
    creds->add_option("NAME", name, "The user: bare, DOMAIN\\name or a UPN the account database knows")->required();
    creds->callback([] {
        nt_init();
        nt_credentials *record = nullptr;
        if (nt_user_get_credentials(name.c_str(), &record) != 0)
            fail(1, "no credentials for " + name + ": not a user, or its domain cannot be reached");
        std::printf("user: %s %s\nprimary group: %s\ngroups: %d\n", narrow(record->user_name).c_str(),
                    sid_text(record->user_sid).c_str(), sid_text(record->primary_group_sid).c_str(),
                    record->group_count);
        for (int i = 0; i < record->group_count; ++i)
            std::printf("group: %s %s\n", sid_text(record->group_sids[i]).c_str(),
                        narrow(record->group_names[i]).c_str());
        nt_user_free_credentials(record);
    });
}

}  // namespace quarn::tool
