// quarn id, getent, sid and cache dump: who an account is to libquarnnt, its
// SIDs, uids and records, and the identity caches that every process shares.
//   id [NAME]                  the user, primary group and groups of a token
//   getent passwd|group [NAME] passwd and group records, one line each
//   sid TEXT|NAME              a SID's text, account, type, domain class and uid
//   cache dump                 the trusted-domain tables and the name caches
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "commands.h"
#include "nt.h"
#include "ntx.h"
#include "win32.h"

namespace quarn::tool {
namespace {

constexpr size_t kSidTextSize = 100;
constexpr DWORD kAccountNameSize = 257;  // the platform's account-name length and its terminator
constexpr DWORD kDomainNameSize = 65;

std::string text_of(PSID sid) {
    char text[kSidTextSize];
    return sid && nt_sid_to_str(sid, text, sizeof text) ? text : "-";
}

// The uid as id(1) prints it; -1 for none.
long long number_of(PSID sid) {
    DWORD uid = nt_sid_to_uid(sid);
    return uid == NT_NO_UID ? -1 : static_cast<long long>(uid);
}

// DOMAIN\name of a SID on this machine, or its text when nobody knows it.
std::string name_of(PSID sid, SID_NAME_USE *use = nullptr) {
    char name[kAccountNameSize], domain[kDomainNameSize];
    DWORD name_size = sizeof name, domain_size = sizeof domain;
    SID_NAME_USE found;
    if (!LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &found)) return text_of(sid);
    if (use) *use = found;
    return domain[0] ? std::string(domain) + "\\" + name : std::string(name);
}

struct Freed {
    void operator()(void *block) const { std::free(block); }
};
// One class of a token's information, asked for its size first as Windows requires.
template <typename T>
std::unique_ptr<T, Freed> token_information(HANDLE token, TOKEN_INFORMATION_CLASS information_class) {
    DWORD size = 0;
    if (!GetTokenInformation(token, information_class, nullptr, 0, &size) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        fail(1, "cannot read the token");
    std::unique_ptr<T, Freed> block(static_cast<T *>(std::malloc(size)));
    if (!block || !GetTokenInformation(token, information_class, block.get(), size, &size))
        fail(1, "cannot read the token");
    return block;
}

// The token of NAME's interactive logon, or the current token.
HANDLE token_for(const std::string &name) {
    HANDLE token = nullptr;
    if (name.empty()) {
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
            !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            fail(1, "cannot open the current token");
    } else if (!win32::logon_account(name.c_str(), &token)) {
        fail(1, "no such user: " + name);
    }
    return token;
}

void print_id(const std::string &name) {
    HANDLE token = token_for(name);
    auto user = token_information<TOKEN_USER>(token, TokenUser);
    auto primary = token_information<TOKEN_PRIMARY_GROUP>(token, TokenPrimaryGroup);
    auto groups = token_information<TOKEN_GROUPS>(token, TokenGroups);
    CloseHandle(token);
    PSID user_sid = user->User.Sid, group_sid = primary->PrimaryGroup;
    std::string line = "uid=" + std::to_string(number_of(user_sid)) + "(" + name_of(user_sid) + ") gid=" +
                       std::to_string(number_of(group_sid)) + "(" + name_of(group_sid) + ") groups=";
    std::string details;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        PSID sid = groups->Groups[i].Sid;
        std::string entry = std::to_string(number_of(sid)) + "(" + name_of(sid) + ")";
        line += (i ? "," : "") + entry;
        details += "group: " + std::to_string(number_of(sid)) + " " + text_of(sid) + " " + name_of(sid) + "\n";
    }
    std::printf("%s\nuser: %lld %s %s\nprimary: %lld %s %s\n%s", line.c_str(), number_of(user_sid),
                text_of(user_sid).c_str(), name_of(user_sid).c_str(), number_of(group_sid),
                text_of(group_sid).c_str(), name_of(group_sid).c_str(), details.c_str());
}

void print_passwd(const nt_passwd *pw) {
    std::printf("%s:%lld:%lld:%s:%s:%s\n", pw->pw_name, number_of(pw->pw_sid),
                pw->pw_primary_group ? number_of(pw->pw_primary_group) : -1LL, pw->pw_gecos, pw->pw_dir,
                text_of(pw->pw_sid).c_str());
}

void print_group(const nt_group *gr) {
    std::printf("%s:%lld:%s\n", gr->gr_name, number_of(gr->gr_sid), text_of(gr->gr_sid).c_str());
}

PSID current_user() {
    PSID user = nullptr;
    if (!nt_get_user_sid(&user)) fail(1, "cannot read the current user");
    return user;
}

void print_getent(const std::string &database, const std::string &name) {
    if (database == "passwd") {
        nt_passwd *pw = name.empty() ? nt_getpwsid_sid(current_user()) : nt_getpwnam_sid(name.c_str());
        if (!pw) fail(1, "no such user: " + (name.empty() ? text_of(current_user()) : name));
        print_passwd(pw);
        return;
    }
    nt_group *gr = nullptr;
    if (name.empty()) {
        HANDLE token = token_for("");
        auto primary = token_information<TOKEN_PRIMARY_GROUP>(token, TokenPrimaryGroup);
        CloseHandle(token);
        gr = nt_getgrsid_sid(primary->PrimaryGroup);
        if (!gr) fail(1, "no such group: " + text_of(primary->PrimaryGroup));
    } else if (!(gr = nt_getgrnam_sid(name.c_str()))) {
        fail(1, "no such group: " + name);
    }
    print_group(gr);
}

const char *class_name(int type) {
    switch (type) {
    case NTX_DOMAIN_BUILTIN:
        return "builtin";
    case NTX_DOMAIN_PRIMARY:
        return "primary";
    case NTX_DOMAIN_ACCOUNT:
        return "account";
    case NTX_DOMAIN_TRUSTED:
        return "trusted";
    case NTX_DOMAIN_TRUSTED_NO_OFFSET:
        return "trusted without offset";
    default:
        return "none";
    }
}

// The class of the SID's own domain; a domain SID is classified itself.
int domain_class(PSID sid) {
    PSID domain = nullptr;
    if (ntx_get_sid_domain(sid, &domain) != 0) return ntx_get_domain_sid_type(sid, nullptr);
    int type = ntx_get_domain_sid_type(domain, nullptr);
    std::free(domain);
    return type == NTX_DOMAIN_NONE ? ntx_get_domain_sid_type(sid, nullptr) : type;
}

void print_sid(const std::string &argument) {
    BYTE buffer[NTX_SID_SIZE];
    PSID sid = buffer;
    PSID parsed = nullptr;
    if (strncasecmp(argument.c_str(), "S-", 2) == 0) {
        if (nt_str_to_sid(argument.c_str(), &parsed) != 0) fail(1, "not a SID: " + argument);
        sid = parsed;
    } else {
        char domain[kDomainNameSize], qualified[NT_QUALIFIED_NAME_SIZE];
        int use = 0;
        if (!nt_lookup_account_name(argument.c_str(), buffer, sizeof buffer, domain, sizeof domain, &use, qualified))
            fail(1, "no such account: " + argument);
    }
    SID_NAME_USE use = SidTypeUnknown;
    std::string name = name_of(sid, &use);
    const char *type = use == SidTypeUnknown && name == text_of(sid) ? "-" : nt_sid_name_use_to_str(use);
    long long uid = number_of(sid);
    std::printf("sid: %s\nname: %s\ntype: %s\nclass: %s\nuid: ", text_of(sid).c_str(),
                name == text_of(sid) ? "-" : name.c_str(), type ? type : "-", class_name(domain_class(sid)));
    if (uid < 0)
        std::printf("none\n");
    else
        std::printf("%lld (0x%llx)\n", uid, uid);
    if (parsed) FreeSid(parsed);
}

// "dump" joins the cache command of the tool when there is one.
CLI::App *cache_command(CLI::App &app) {
    auto found = app.get_subcommands([](CLI::App *sub) { return sub->get_name() == "cache"; });
    if (!found.empty()) return found.front();
    auto *cache = app.add_subcommand("cache", "Show the shared identity caches");
    cache->require_subcommand(1);
    return cache;
}

}  // namespace

void add_identity_commands(CLI::App &app) {
    static std::string id_name, getent_database, getent_name, sid_argument;

    auto *id = app.add_subcommand("id", "Print the uid, gid and groups of a user (default: the current token)");
    id->add_option("NAME", id_name, "A user, DOMAIN\\name or a bare name; its interactive logon's groups");
    id->callback([] {
        nt_init();
        print_id(id_name);
    });

    auto *getent = app.add_subcommand("getent", "Print the passwd or group record of a name");
    getent->add_option("DATABASE", getent_database, "passwd or group")
        ->required()
        ->check(CLI::IsMember({"passwd", "group"}));
    getent->add_option("NAME", getent_name, "The account (default: the current user, or its primary group)");
    getent->callback([] {
        nt_init();
        print_getent(getent_database, getent_name);
    });

    auto *sid = app.add_subcommand("sid", "Print a SID's text, account, type, domain class and uid");
    sid->add_option("SID_OR_NAME", sid_argument, "S-1-... text, or an account name")->required();
    sid->callback([] {
        nt_init();
        print_sid(sid_argument);
    });

    auto *dump = cache_command(app)->add_subcommand("dump", "Print the trusted-domain tables and the name caches");
    dump->callback([] {
        nt_init();
        ntx_dump_cache();
        nt_dump_cache();
    });
}

}  // namespace quarn::tool
