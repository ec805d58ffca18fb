// Passwd records by name and by SID: the account database says who the user
// is, the domain's user information gives the full name, home directory and
// primary group.  Each thread has one record for each function, in its heap.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "identity/identity.h"
#include "nt.h"
#include "ntregy.h"
#include "ntx.h"
#include "identity/user_info.h"
#include "winnls.h"

namespace {

constexpr int kDisableGecos = 66;
constexpr size_t kGecosSize = 257;
constexpr size_t kDirSize = MAX_PATH + 1;

bool gecos_disabled() {
    DWORD value = 0;
    return ntregy_get_param(kDisableGecos, sizeof value, &value, nullptr) == ERROR_SUCCESS && value == 1;
}

// The record's buffers, made on the thread's first call; the primary group
// of the previous call is released.
nt_passwd *prepare(nt_thread_context *context, nt_passwd &record) {
    nt_thread_free(context, record.pw_primary_group);
    record.pw_primary_group = nullptr;
    if (!record.pw_name) {
        auto *name = static_cast<char *>(nt_thread_alloc(context, kQualifiedNameSize));
        auto *sid = nt_thread_alloc(context, kSidSize);
        auto *gecos = static_cast<char *>(nt_thread_alloc(context, kGecosSize));
        auto *dir = static_cast<char *>(nt_thread_alloc(context, kDirSize));
        if (!name || !sid || !gecos || !dir) {
            nt_thread_free(context, name);
            nt_thread_free(context, sid);
            nt_thread_free(context, gecos);
            nt_thread_free(context, dir);
            return nullptr;
        }
        record = {name, sid, nullptr, gecos, dir};
    }
    return &record;
}

// The domain SID with one more RID, in the thread's heap, so that it goes with
// the thread like the rest of the record.
PSID thread_sid_with_rid(nt_thread_context *context, PSID domain_sid, DWORD rid) {
    PSID sid = nt_sid_append_rid(domain_sid, rid);
    if (!sid) return nullptr;
    DWORD length = GetLengthSid(sid);
    void *copy = nt_thread_alloc(context, length);
    if (copy) std::memcpy(copy, sid, length);
    std::free(sid);
    return copy;
}

void fill_from_user_information(nt_thread_context *context, nt_passwd &record, PSID domain_sid, const char *name,
                                const char *domain) {
    UserInformation info = nt_query_user_information(domain_sid, name, domain);
    if (!info) return;
    if (!gecos_disabled()) {
        nt_gecos_of_full_name(info->usri3_full_name, record.pw_gecos, kGecosSize);
        if (!info->usri3_home_dir ||
            WideCharToMultiByte(CP_ACP, 0, info->usri3_home_dir, -1, record.pw_dir, kDirSize, nullptr, nullptr) <= 0)
            record.pw_dir[0] = '\0';
    }
    record.pw_primary_group = thread_sid_with_rid(context, domain_sid, info->usri3_primary_group_id);
}

// Everything but the name, for the user `name` of `domain` whose SID the record holds.
void fill(nt_thread_context *context, nt_passwd &record, const char *name, const char *domain) {
    record.pw_gecos[0] = '\0';
    record.pw_dir[0] = '\0';
    PSID domain_sid = nullptr;
    if (ntx_get_sid_domain(record.pw_sid, &domain_sid) == 0) {
        fill_from_user_information(context, record, domain_sid, name, domain);
        std::free(domain_sid);
    }
    PSID user = nullptr;
    if (nt_get_user_sid(&user) && EqualSid(record.pw_sid, user)) {
        char home[kDirSize];
        NtLibraryLock lock;
        if (nt_get_my_homedir(home, sizeof home)) std::memcpy(record.pw_dir, home, sizeof home);
    }
}

}  // namespace

extern "C" NT_API nt_passwd *nt_getpwnam_sid(const char *name) {
    nt_thread_context *context = nt_thread_context_get();
    if (!context || !name) return nullptr;
    nt_passwd *record = prepare(context, context->passwd_by_name);
    if (!record) return nullptr;
    char domain[kDomainNameSize], qualified[kQualifiedNameSize];
    int use = 0;
    if (!nt_lookup_account_name_server(nullptr, name, record->pw_sid, kSidSize, domain, sizeof domain, &use,
                                       qualified) ||
        use != SidTypeUser)
        return nullptr;
    fill(context, *record, name, domain);
    nt_qualify_account_name(name, domain, record->pw_name, kQualifiedNameSize);
    return record;
}

extern "C" NT_API nt_passwd *nt_getpwsid_sid(PSID sid) {
    nt_thread_context *context = nt_thread_context_get();
    // An invalid SID fails in CopySid, which traces it.
    if (!context || !sid) return nullptr;
    nt_passwd *record = prepare(context, context->passwd_by_sid);
    if (!record) return nullptr;
    if (!nt_copy_record_sid(record->pw_sid, sid)) return nullptr;
    char name[kAccountNameSize], domain[kDomainNameSize];
    SID_NAME_USE use;
    if (!nt_lookup_sid_name(sid, name, domain, &use) || use != SidTypeUser) return nullptr;
    fill(context, *record, name, domain);
    nt_qualify_account_name(name, domain, record->pw_name, kQualifiedNameSize);
    return record;
}
