// The trusted-domain list: the domains that the primary domain trusts, with
// their SIDs, flat names and POSIX offsets, read once from the LSA of a
// controller of the primary domain (or this machine's own LSA when it is the
// one that answers for the domain).  A failed read is tried again next time.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/ipc_session.h"
#include "netapi.h"
#include "frame/trace.h"

namespace {

constexpr ULONG kFlatNames = DS_IS_FLAT_NAME | DS_RETURN_FLAT_NAME;
constexpr ACCESS_MASK kPolicyRead = READ_CONTROL | POLICY_VIEW_LOCAL_INFORMATION;
constexpr ULONG kPreferredSize = 32000;
constexpr int kFirstCapacity = 10;

ntx_tpo_db list{};
std::atomic<bool> list_built{false};

void free_entries(ntx_tpo_db &db) {
    for (int i = 0; i < db.count; ++i) {
        std::free(db.entries[i].sid);
        std::free(db.entries[i].name);
    }
    std::free(db.entries);
    db = {};
}

bool append(ntx_tpo_db &db, DWORD offset, PSID sid, char *name) {
    if (db.count == db.capacity) {
        int capacity = db.capacity ? 2 * db.capacity : kFirstCapacity;
        auto *grown = static_cast<ntx_tpo_entry *>(std::realloc(db.entries, capacity * sizeof(ntx_tpo_entry)));
        if (!grown) return false;
        db.entries = grown;
        db.capacity = capacity;
    }
    DWORD length = GetLengthSid(sid);
    PSID copy = std::malloc(length);
    if (!copy) return false;
    CopySid(length, copy, sid);
    db.entries[db.count++] = {offset, copy, name};
    return true;
}

// A controller of the primary domain: true with its name ("\\DC"), or with
// an empty name when this machine's LSA answers for the domain.
bool primary_controller(std::u16string &controller) {
    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    DWORD status = DsGetDcNameW(nullptr, nullptr, nullptr, nullptr, kFlatNames, &info);
    if (status == NO_ERROR) {
        controller = info->DomainControllerName;
        NetApiBufferFree(info);
        return true;
    }
    if (status != ERROR_NOT_SUPPORTED) {
        NTX_TRACE_FAILURE("DsGetDcNameW", kSourceNtutilx, status);
        return false;
    }
    LPBYTE name = nullptr;
    status = NetGetAnyDCName(nullptr, nullptr, &name);
    if (status == NERR_Success) {
        controller = reinterpret_cast<LPCWSTR>(name);
        NetApiBufferFree(name);
        return true;
    }
    if (status == ERROR_NO_SUCH_DOMAIN) return true;
    if (status != NERR_NotLocalDomain) NTX_TRACE_FAILURE("NetGetAnyDCName", kSourceNtutilx, status);
    return false;
}

// The LSA of `controller` (empty: this machine's), over an anonymous IPC$
// connection when it refuses a plain one.
LSA_HANDLE open_policy(const std::u16string &controller, AnonymousIpcSession &session) {
    LSA_UNICODE_STRING system{static_cast<USHORT>(2 * controller.size()), static_cast<USHORT>(2 * controller.size()),
                              const_cast<LPWSTR>(controller.c_str())};
    PLSA_UNICODE_STRING named = controller.empty() ? nullptr : &system;
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE policy = nullptr;
    NTSTATUS status = LsaOpenPolicy(named, &attributes, kPolicyRead, &policy);
    ULONG error = LsaNtStatusToWinError(status);
    if (status != STATUS_SUCCESS && named && (error == RPC_S_SERVER_UNAVAILABLE || error == ERROR_ACCESS_DENIED) &&
        session.connect(controller.c_str()))
        status = LsaOpenPolicy(named, &attributes, kPolicyRead, &policy);
    if (status == STATUS_SUCCESS) return policy;
    NTX_TRACE_FAILURE("LsaOpenPolicy", kSourceNtutilx, status);
    return nullptr;
}

// One part of the enumeration into `db`; false when memory ran out.
bool add_trusts(LSA_HANDLE policy, const LSA_TRUST_INFORMATION *trusts, ULONG count, ntx_tpo_db &db) {
    for (ULONG i = 0; i < count; ++i) {
        DWORD offset = NTX_NO_POSIX_OFFSET;
        PVOID posix = nullptr;
        if (LsaQueryTrustedDomainInfo(policy, trusts[i].Sid, TrustedPosixOffsetInformation, &posix) == STATUS_SUCCESS) {
            offset = static_cast<TRUSTED_POSIX_OFFSET_INFO *>(posix)->Offset;
            LsaFreeMemory(posix);
        }
        LSA_STRING name{};
        if (!ntx_CreateLsaStringFromLsaUnicodeString(&name, &trusts[i].Name)) {
            NTX_TRACE_FAILURE("ntx_CreateLsaStringFromLsaUnicodeString", kSourceNtutilx, STATUS_NO_MEMORY);
            continue;
        }
        if (!append(db, offset, trusts[i].Sid, name.Buffer)) {
            std::free(name.Buffer);
            NTX_TRACE_FAILURE("malloc", kSourceNtutilx, STATUS_NO_MEMORY);
            return false;
        }
    }
    return true;
}

// The whole enumeration; true when it ended with the last domain.
bool read_trusts(LSA_HANDLE policy, ntx_tpo_db &db) {
    LSA_ENUMERATION_HANDLE context = 0;
    for (;;) {
        PVOID buffer = nullptr;
        ULONG count = 0;
        NTSTATUS status = LsaEnumerateTrustedDomains(policy, &context, &buffer, kPreferredSize, &count);
        ULONG error = LsaNtStatusToWinError(status);
        if (error == ERROR_NO_MORE_ITEMS) return true;
        if (status != STATUS_SUCCESS && error != ERROR_MORE_DATA) {
            NTX_TRACE_FAILURE("LsaEnumerateTrustedDomains", kSourceNtutilx, status);
            return false;
        }
        bool added = add_trusts(policy, static_cast<LSA_TRUST_INFORMATION *>(buffer), count, db);
        LsaFreeMemory(buffer);
        if (!added) return false;
    }
}

}  // namespace

extern "C" NT_API ntx_tpo_db *ntx_get_tpo_db_from_lsa(void) {
    if (list_built.load(std::memory_order_acquire)) return &list;
    if (!ntx_is_domain_member()) return nullptr;
    NtLibraryLock lock;
    if (list_built.load(std::memory_order_relaxed)) return &list;
    std::u16string controller;
    if (!primary_controller(controller)) return nullptr;
    AnonymousIpcSession session;
    LSA_HANDLE policy = open_policy(controller, session);
    if (!policy) return nullptr;
    ntx_tpo_db read{};
    bool complete = read_trusts(policy, read);
    LsaClose(policy);
    if (!complete) {
        free_entries(read);
        return nullptr;
    }
    list = read;
    list_built.store(true, std::memory_order_release);
    return &list;
}
