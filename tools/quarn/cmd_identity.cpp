// quarn id, getent, sid and cache dump: who an account is to libquarnnt, its
// SIDs, uids and records, and the identity caches that every process shares.
//   id [-u|-g|-G [-n]] [NAME|UID]   the user, primary group and groups of a token, as id(1)
//   getent passwd|group [KEY...]     passwd(5) and group(5) lines, getent(1)'s exit codes
//   sid TEXT|NAME|UID                a SID's text, account, type, domain class and uid
//   cache dump                       the trusted-domain tables and the name caches
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "machine/dos_paths.h"
#include "machine/machine.h"
#include "nt.h"
#include "ntx.h"
#include "win32.h"

namespace quarn::tool {
namespace {

constexpr size_t kSidTextSize = 100;
constexpr DWORD kAccountNameSize = 257;  // the platform's account-name length and its terminator
constexpr DWORD kDomainNameSize = 65;
constexpr int kGetentKeyNotFound = 2;  // getent(1)'s code for a key without a record
constexpr const char *kShell = "/bin/sh";

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
        fail(kExitFailed, "cannot read the token: " + error_words(GetLastError()));
    std::unique_ptr<T, Freed> block(static_cast<T *>(std::malloc(size)));
    if (!block || !GetTokenInformation(token, information_class, block.get(), size, &size))
        fail(kExitFailed, "cannot read the token: " + error_words(GetLastError()));
    return block;
}

// A uid as id(1) and getent(1) take one: nothing but decimal digits.
std::optional<DWORD> uid_argument(const std::string &text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    unsigned long long number = std::stoull(text);
    if (number > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<DWORD>(number);
}

using OwnedSid = std::unique_ptr<void, Freed>;

// The SID of a uid, or null when the uid belongs to no domain.
OwnedSid sid_of_uid(DWORD uid) {
    PSID sid = nullptr;
    return OwnedSid(ntx_uid_to_sid(uid, &sid) == 0 ? sid : nullptr);
}

// The token of NAME's (or the uid's account's) interactive logon, or the current token.
HANDLE token_for(const std::string &name) {
    HANDLE token = nullptr;
    if (name.empty()) {
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
            !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            fail(kExitFailed, "cannot open the current token: " + error_words(GetLastError()));
        return token;
    }
    std::string account = name;
    if (auto uid = uid_argument(name)) {
        OwnedSid sid = sid_of_uid(*uid);
        SID_NAME_USE use = SidTypeUnknown;
        if (sid) account = name_of(sid.get(), &use);
        if (!sid || use != SidTypeUser) fail(kExitFailed, "no such user: " + name);
    }
    if (!win32::logon_account(account.c_str(), &token)) fail(kExitFailed, "no such user: " + name);
    return token;
}

// What id(1) reports: the token's user, the library's effective primary
// group and its ordered group list (the primary group last, the logon SID
// never), copied, since the library's own copies go with the identity flush.
struct Identity {
    std::unique_ptr<TOKEN_USER, Freed> user;
    std::vector<BYTE> primary;
    std::vector<std::vector<BYTE>> groups;

    PSID user_sid() const { return user->User.Sid; }
    PSID group_sid() const { return const_cast<BYTE *>(primary.data()); }
    std::vector<PSID> group_sids() const {
        std::vector<PSID> sids;
        for (const auto &group : groups) sids.push_back(const_cast<BYTE *>(group.data()));
        return sids;
    }
    // The primary group first, then every other group, as id -G lists them.
    std::vector<PSID> all_groups() const {
        std::vector<PSID> all{group_sid()};
        for (PSID sid : group_sids())
            if (!EqualSid(sid, group_sid())) all.push_back(sid);
        return all;
    }
};

std::vector<BYTE> copy_of(PSID sid) {
    auto *bytes = static_cast<const BYTE *>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

// The library answers for the calling thread, so another account's groups
// are read while the thread acts as that account's logon.
Identity identity_of(const std::string &name) {
    HANDLE token = token_for(name);
    Identity identity{token_information<TOKEN_USER>(token, TokenUser), {}, {}};
    bool acting = !name.empty();
    if (acting && !ImpersonateLoggedOnUser(token)) {
        CloseHandle(token);
        fail(kExitFailed, "cannot act as " + name + " to read its groups");
    }
    if (acting) nt_impersonate_user();
    PSID primary = nullptr;
    int count = nt_getgroups_sid(0, nullptr);
    std::vector<PSID> sids(count > 0 ? static_cast<size_t>(count) : 0);
    bool read = nt_getgroup_sid(&primary) && count >= 0 && nt_getgroups_sid(count, sids.data()) == count;
    if (read) {
        identity.primary = copy_of(primary);
        for (PSID sid : sids) identity.groups.push_back(copy_of(sid));
    }
    if (acting) {
        RevertToSelf();
        nt_revert_to_self();
    }
    CloseHandle(token);
    if (!read) fail(kExitFailed, "cannot read the groups of " + (acting ? name : std::string("the current user")));
    return identity;
}

std::string number_and_name(PSID sid) { return std::to_string(number_of(sid)) + "(" + name_of(sid) + ")"; }

// id's default form, then one line for each SID with its number, text and
// name (a name may hold spaces, so it comes last).
void print_full_id(const Identity &identity) {
    std::string line = "uid=" + number_and_name(identity.user_sid()) + " gid=" + number_and_name(identity.group_sid()) +
                       " groups=";
    std::string details;
    bool first = true;
    for (PSID sid : identity.group_sids()) {
        line += (first ? "" : ",") + number_and_name(sid);
        first = false;
        details += "group: " + std::to_string(number_of(sid)) + " " + text_of(sid) + " " + name_of(sid) + "\n";
    }
    std::printf("%s\nuser: %lld %s %s\nprimary: %lld %s %s\n%s", line.c_str(), number_of(identity.user_sid()),
                text_of(identity.user_sid()).c_str(), name_of(identity.user_sid()).c_str(),
                number_of(identity.group_sid()), text_of(identity.group_sid()).c_str(),
                name_of(identity.group_sid()).c_str(), details.c_str());
}

struct IdOptions {
    bool user = false, group = false, groups = false, names = false;
    std::string account;
};

void print_id(const IdOptions &options) {
    if (options.names && !options.user && !options.group && !options.groups)
        fail(kExitUsage, "-n needs -u, -g or -G");
    Identity identity = identity_of(options.account);
    if (!options.user && !options.group && !options.groups) return print_full_id(identity);
    std::vector<PSID> sids = options.user    ? std::vector<PSID>{identity.user_sid()}
                             : options.group ? std::vector<PSID>{identity.group_sid()}
                                             : identity.all_groups();
    std::string line;
    for (PSID sid : sids)
        line += (line.empty() ? "" : " ") + (options.names ? name_of(sid) : std::to_string(number_of(sid)));
    std::printf("%s\n", line.c_str());
}

// The home directory as a Unix path through the drive table; empty when it
// is not set or its drive is unknown.
std::string unix_home(const char *dir) {
    const auto *machine = win32::Machine::current();
    if (!dir || !*dir || !machine) return "";
    return win32::dos_to_unix_path(*machine, dir).value_or("");
}

// name:x:uid:gid:gecos:dir:shell, the gecos field as Cygwin fills it: the
// full name when there is one, then U-DOMAIN\name and the SID.  Neither a
// name, a gecos text (cut before any colon) nor a SID holds a colon.
void print_passwd(const nt_passwd *pw) {
    std::string gecos = pw->pw_gecos && *pw->pw_gecos ? std::string(pw->pw_gecos) + "," : "";
    gecos += "U-" + std::string(pw->pw_name) + "," + text_of(pw->pw_sid);
    std::printf("%s:x:%lld:%lld:%s:%s:%s\n", pw->pw_name, number_of(pw->pw_sid),
                pw->pw_primary_group ? number_of(pw->pw_primary_group) : -1LL, gecos.c_str(),
                unix_home(pw->pw_dir).c_str(), kShell);
}

// name:x:gid:members; the library keeps no member lists, so members is empty.
void print_group(const nt_group *gr) { std::printf("%s:x:%lld:\n", gr->gr_name, number_of(gr->gr_sid)); }

nt_passwd *find_passwd(const std::string &key) {
    if (auto uid = uid_argument(key)) {
        OwnedSid sid = sid_of_uid(*uid);
        return sid ? nt_getpwsid_sid(sid.get()) : nullptr;
    }
    return nt_getpwnam_sid(key.c_str());
}

nt_group *find_group(const std::string &key) {
    if (auto gid = uid_argument(key)) {
        OwnedSid sid = sid_of_uid(*gid);
        return sid ? nt_getgrsid_sid(sid.get()) : nullptr;
    }
    return nt_getgrnam_sid(key.c_str());
}

// The record of each key in turn; without keys the current user's, or the
// current token's primary group's, since the account database cannot be
// enumerated.  Exit code 2 when a key has no record, as getent(1) does.
void print_getent(const std::string &database, const std::vector<std::string> &keys) {
    bool missing = false;
    if (keys.empty()) {
        Identity identity = identity_of("");
        if (database == "passwd") {
            if (const nt_passwd *pw = nt_getpwsid_sid(identity.user_sid()))
                print_passwd(pw);
            else
                missing = true;
        } else if (const nt_group *gr = nt_getgrsid_sid(identity.group_sid())) {
            print_group(gr);
        } else {
            missing = true;
        }
    }
    for (const auto &key : keys) {
        if (database == "passwd") {
            if (const nt_passwd *pw = find_passwd(key))
                print_passwd(pw);
            else
                missing = true;
        } else if (const nt_group *gr = find_group(key)) {
            print_group(gr);
        } else {
            missing = true;
        }
    }
    if (missing) fail(kGetentKeyNotFound, "");
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
    OwnedSid of_uid;
    if (strncasecmp(argument.c_str(), "S-", 2) == 0) {
        if (nt_str_to_sid(argument.c_str(), &parsed) != 0) fail(kExitFailed, "not a SID: " + argument);
        sid = parsed;
    } else if (auto uid = uid_argument(argument)) {
        of_uid = sid_of_uid(*uid);
        if (!of_uid) fail(kExitFailed, "no domain gives out the uid " + argument);
        sid = of_uid.get();
    } else {
        char domain[kDomainNameSize], qualified[NT_QUALIFIED_NAME_SIZE];
        int use = 0;
        if (!nt_lookup_account_name(argument.c_str(), buffer, sizeof buffer, domain, sizeof domain, &use, qualified))
            fail(kExitFailed, "no such account: " + argument);
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
    static IdOptions id_options;
    static std::string getent_database, sid_argument;
    static std::vector<std::string> getent_keys;

    auto *id = app.add_subcommand("id", "Print the uid, gid and groups of a user (default: the current token)");
    auto *user = id->add_flag("-u,--user", id_options.user, "Only the uid");
    auto *group = id->add_flag("-g,--group", id_options.group, "Only the primary group's gid");
    auto *groups = id->add_flag("-G,--groups", id_options.groups, "Every gid, the primary group's first");
    user->excludes(group, groups);
    group->excludes(groups);
    id->add_flag("-n,--name", id_options.names, "Names instead of numbers, with -u, -g or -G");
    id->add_option("NAME", id_options.account,
                   "A user (DOMAIN\\name or a bare name) or a uid; its interactive logon's groups");
    id->callback([] {
        require_prefix();
        nt_init();
        print_id(id_options);
    });

    auto *getent = app.add_subcommand("getent", "Print passwd(5) or group(5) lines; exit code 2 for a key without one");
    getent->add_option("DATABASE", getent_database, "passwd or group")
        ->required()
        ->check(CLI::IsMember({"passwd", "group"}));
    getent->add_option("KEY", getent_keys,
                       "Names or numbers (default: the current user, or the current token's primary group)");
    getent->callback([] {
        require_prefix();
        nt_init();
        print_getent(getent_database, getent_keys);
    });

    auto *sid = app.add_subcommand("sid", "Print a SID's text, account, type, domain class and uid");
    sid->add_option("SID_OR_NAME", sid_argument, "S-1-... text, an account name, or a uid")->required();
    sid->callback([] {
        require_prefix();
        nt_init();
        print_sid(sid_argument);
    });

    auto *dump = cache_command(app)->add_subcommand("dump", "Print the trusted-domain tables and the name caches");
    dump->callback([] {
        require_prefix();
        nt_init();
        ntx_dump_cache();
        nt_dump_cache();
    });
}

}  // namespace quarn::tool
