// NSS look-ups for the account domain.  The re-entrant calls grow their buffer
// on ERANGE, and their answers are kept (machine/nss_answers.h); the
// case-blind fall-back walks the database under one lock, because getpwent
// and getgrent keep a single cursor per process.
#include "machine/local_accounts.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>

#include "machine/directory.h"
#include "machine/nss_answers.h"

namespace quarn::win32 {
namespace {

constexpr DWORD kFirstUserRid = 1000;
constexpr DWORD kFirstGroupRid = 1001;

using std::chrono_literals::operator""s;

NssAnswers<LocalUser> &user_answers() {
    static NssAnswers<LocalUser> answers(600s, 20s);
    return answers;
}

NssAnswers<LocalGroup> &group_answers() {
    static NssAnswers<LocalGroup> answers(3600s, 60s);
    return answers;
}

std::mutex &enumeration_lock() {
    static std::mutex lock;
    return lock;
}

LocalUser user_of(const passwd &pw) {
    return {pw.pw_name, pw.pw_uid, pw.pw_gid, pw.pw_gecos ? pw.pw_gecos : "", pw.pw_dir ? pw.pw_dir : ""};
}

LocalGroup group_of(const group &gr) {
    LocalGroup g{gr.gr_name, gr.gr_gid, {}};
    for (char **m = gr.gr_mem; m && *m; ++m) g.members.emplace_back(*m);
    return g;
}

// Calls a getpw*_r / getgr*_r function with a buffer that grows until the
// record fits, and converts the record before the buffer goes.
template <typename Record, typename Call, typename Convert>
auto nss_get(Call call, Convert convert) -> std::optional<decltype(convert(std::declval<const Record &>()))> {
    std::vector<char> buffer(1024);
    for (;;) {
        Record record{};
        Record *result = nullptr;
        int rc = call(&record, buffer.data(), buffer.size(), &result);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (rc != 0 || !result) return std::nullopt;
        return convert(record);
    }
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// `name` as given, then in lower case (Linux's usual spelling), then by a walk
// of the whole database without regard to case.
template <typename Exact, typename Walk>
auto find_named(std::string_view name, Exact exact, Walk walk) -> decltype(exact(std::string())) {
    if (name.empty()) return std::nullopt;
    if (auto found = exact(std::string(name))) return found;
    if (auto found = exact(lower(name))) return found;
    std::lock_guard lock(enumeration_lock());
    return walk();
}

std::optional<LocalUser> user_named_exactly(const std::string &name) {
    return user_answers().get("n" + name, [&] {
        return nss_get<passwd>([&](passwd *pw, char *buf, size_t size,
                                   passwd **result) { return getpwnam_r(name.c_str(), pw, buf, size, result); },
                               user_of);
    });
}

std::optional<LocalGroup> group_named_exactly(const std::string &name) {
    return group_answers().get("n" + name, [&] {
        return nss_get<group>([&](group *gr, char *buf, size_t size,
                                  group **result) { return getgrnam_r(name.c_str(), gr, buf, size, result); },
                              group_of);
    });
}

}  // namespace

std::optional<LocalUser> local_user_named(std::string_view name) {
    return find_named(name, user_named_exactly, [name] {
        std::optional<LocalUser> found;
        setpwent();
        while (const passwd *pw = getpwent())
            if (same_name(pw->pw_name, name)) {
                found = user_of(*pw);
                break;
            }
        endpwent();
        return found;
    });
}

std::vector<LocalUser> local_users() {
    std::lock_guard lock(enumeration_lock());
    std::vector<LocalUser> users;
    setpwent();
    while (const passwd *pw = getpwent()) users.push_back(user_of(*pw));
    endpwent();
    return users;
}

std::optional<LocalUser> local_user_with_uid(uid_t uid) {
    return user_answers().get("#" + std::to_string(uid), [uid] {
        return nss_get<passwd>([uid](passwd *pw, char *buf, size_t size,
                                     passwd **result) { return getpwuid_r(uid, pw, buf, size, result); },
                               user_of);
    });
}

std::optional<LocalGroup> local_group_named(std::string_view name) {
    return find_named(name, group_named_exactly, [name] {
        std::optional<LocalGroup> found;
        setgrent();
        while (const group *gr = getgrent())
            if (same_name(gr->gr_name, name)) {
                found = group_of(*gr);
                break;
            }
        endgrent();
        return found;
    });
}

std::optional<LocalGroup> local_group_with_gid(gid_t gid) {
    return group_answers().get("#" + std::to_string(gid), [gid] {
        return nss_get<group>([gid](group *gr, char *buf, size_t size,
                                    group **result) { return getgrgid_r(gid, gr, buf, size, result); },
                              group_of);
    });
}

std::vector<LocalGroup> local_groups_of(const LocalUser &user) {
    std::vector<LocalGroup> out;
    if (auto primary = local_group_with_gid(user.gid)) out.push_back(*primary);
    std::lock_guard lock(enumeration_lock());
    setgrent();
    while (const group *gr = getgrent()) {
        if (gr->gr_gid == user.gid) continue;
        for (char **m = gr->gr_mem; m && *m; ++m)
            if (user.name == *m) {
                out.push_back(group_of(*gr));
                break;
            }
    }
    endgrent();
    return out;
}

std::optional<DWORD> user_rid(uid_t uid) {
    uint64_t rid = kFirstUserRid + 2ull * uid;
    if (rid > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<DWORD>(rid);
}

std::optional<DWORD> group_rid(gid_t gid) {
    uint64_t rid = kFirstGroupRid + 2ull * gid;
    if (rid > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<DWORD>(rid);
}

LocalAccount local_account_with_rid(DWORD rid) {
    LocalAccount out;
    if (rid < kFirstUserRid) return out;
    if ((rid - kFirstUserRid) % 2 == 0)
        out.user = local_user_with_uid(static_cast<uid_t>((rid - kFirstUserRid) / 2));
    else
        out.group = local_group_with_gid(static_cast<gid_t>((rid - kFirstGroupRid) / 2));
    return out;
}

std::string full_name_of(const LocalUser &user) { return user.gecos.substr(0, user.gecos.find(',')); }

}  // namespace quarn::win32
