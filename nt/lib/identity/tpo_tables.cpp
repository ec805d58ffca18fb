// The trusted-domain tables: opening them, filling both from the domain
// facts and the trusted-domain list, looking keys up with the loaded marker
// in mind, and printing them.
//
//   marker   offset 0xFFFF, name "Invalid", the null SID S-1-0-0, in both
//   entries  the primary domain (0x100000), the account domain (0x30000) and
//            every trusted domain; one without an offset only in "Sid->Tpo"
#include <atomic>
#include <cstdio>
#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "nt.h"
#include "identity/tpo_tables.h"
#include "frame/trace.h"
#include "winnls.h"

namespace {

constexpr GUID kSidTpoId = {0x5941C680, 0xA295, 0x11CF, {0x86, 0xFA, 0x00, 0xA0, 0x24, 0x1A, 0x3E, 0x7D}};
constexpr GUID kTpoSidId = {0x9566EEC0, 0xA297, 0x11CF, {0x86, 0xFA, 0x00, 0xA0, 0x24, 0x1A, 0x3E, 0x7D}};
constexpr const char kSidTpoName[] = "Sid->Tpo";
constexpr const char kTpoSidName[] = "Tpo->Sid";
constexpr unsigned kTableSize = 100;
constexpr unsigned kLongestLsaName = 64;  // wide characters of a domain name that enters the tables
constexpr char kMarkerName[] = "Invalid";

struct NullSid {
    BYTE revision = SID_REVISION, count = 1;
    BYTE authority[6] = {0, 0, 0, 0, 0, 0};
    DWORD sub_authority = 0;
};
const NullSid kNullSid;
PSID null_sid() { return const_cast<NullSid *>(&kNullSid); }

struct SidKey {
    BYTE bytes[NTX_SID_SIZE] = {};
};

// The SID zero-padded to the key size; false for one too long to be a key.
bool key_of(PSID sid, SidKey &key) {
    DWORD length = GetLengthSid(sid);
    if (length > sizeof key.bytes) return false;
    std::memcpy(key.bytes, sid, length);
    return true;
}

int open_sid_tpo(phash_table **table) {
    return phash_create(&kSidTpoId, kTableSize, NTX_SID_SIZE, sizeof(ntx_sid_tpo_value), phash_sid_hash_fn,
                        phash_sid_keycmp_fn, kSidTpoName, PHASH_FLAG_GLOBAL, table);
}

int open_tpo_sid(phash_table **table) {
    return phash_create(&kTpoSidId, kTableSize, sizeof(DWORD), sizeof(ntx_tpo_sid_value), phash_int_hash_fn,
                        phash_int_keycmp_fn, kTpoSidName, PHASH_FLAG_GLOBAL, table);
}

// A handle opened once per process under the library lock.
phash_table *opened_once(std::atomic<int> &state, phash_table *&table, int (*open)(phash_table **)) {
    if (state.load(std::memory_order_acquire)) return table;
    NtLibraryLock lock;
    if (!state.load(std::memory_order_relaxed)) {
        if (!open(&table)) table = nullptr;
        state.store(1, std::memory_order_release);
    }
    return table;
}

void enter(phash_table *sid_tpo, phash_table *tpo_sid, PSID sid, const char *name, DWORD offset) {
    SidKey key;
    if (!key_of(sid, key)) return;
    ntx_sid_tpo_value by_sid{};
    std::strncpy(by_sid.name, name, sizeof by_sid.name - 1);
    by_sid.offset = offset;
    phash_enter(sid_tpo, key.bytes, &by_sid, sizeof by_sid);
    if (offset == NTX_NO_POSIX_OFFSET && sid != null_sid()) return;
    ntx_tpo_sid_value by_offset{};
    std::strncpy(by_offset.name, name, sizeof by_offset.name - 1);
    std::memcpy(by_offset.sid, key.bytes, sizeof by_offset.sid);
    phash_enter(tpo_sid, &offset, &by_offset, sizeof by_offset);
}

// A domain of this machine's LSA, when its name is short enough for the tables.
void enter_lsa_domain(phash_table *sid_tpo, phash_table *tpo_sid, const LSA_UNICODE_STRING &name, PSID sid,
                      DWORD offset) {
    if (!sid || name.Length / 2 > kLongestLsaName) return;
    char narrow[kLongestLsaName + 1] = {};
    if (name.Length &&
        WideCharToMultiByte(CP_ACP, 0, name.Buffer, name.Length / 2, narrow, sizeof narrow - 1, nullptr, nullptr) <= 0)
        return;
    enter(sid_tpo, tpo_sid, sid, narrow, offset);
}

void print_sid_tpo(phash_table *table) {
    unsigned *cursor = nullptr;
    SidKey key;
    ntx_sid_tpo_value value;
    bool any = false;
    while (phash_next(table, &cursor, key.bytes, sizeof key.bytes, &value, sizeof value)) {
        char text[100] = "";
        nt_sid_to_str(key.bytes, text, sizeof text);
        std::printf("    %s -> %s: 0x%08x\n", text, value.name, value.offset);
        any = true;
    }
    if (!any) std::printf("    Empty\n");
}

void print_tpo_sid(phash_table *table) {
    unsigned *cursor = nullptr;
    DWORD key = 0;
    ntx_tpo_sid_value value;
    bool any = false;
    while (phash_next(table, &cursor, &key, sizeof key, &value, sizeof value)) {
        char text[100] = "";
        nt_sid_to_str(value.sid, text, sizeof text);
        std::printf("    0x%08x -> %s: %s\n", key, value.name, text);
        any = true;
    }
    if (!any) std::printf("    Empty\n");
}

void dump(const char *name, int (*open)(phash_table **), void (*print)(phash_table *)) {
    phash_table *table = nullptr;
    if (!open(&table)) return;
    if (phash_lock(table)) {
        std::printf("%s\n", name);
        print(table);
        std::printf("\n");
        phash_unlock(table);
    }
    phash_close(table);
}

}  // namespace

phash_table *ntx_sid_tpo_table() {
    static std::atomic<int> state{0};
    static phash_table *table = nullptr;
    return opened_once(state, table, open_sid_tpo);
}

phash_table *ntx_tpo_sid_table() {
    static std::atomic<int> state{0};
    static phash_table *table = nullptr;
    return opened_once(state, table, open_tpo_sid);
}

TpoAnswer ntx_find_sid_tpo(phash_table *table, PSID sid, ntx_sid_tpo_value *value) {
    SidKey key, marker;
    unsigned size = sizeof *value;
    if (key_of(sid, key) && phash_lookup(table, key.bytes, value, &size)) return TpoAnswer::found;
    key_of(null_sid(), marker);
    ntx_sid_tpo_value ignored;
    size = sizeof ignored;
    return phash_lookup(table, marker.bytes, &ignored, &size) ? TpoAnswer::absent : TpoAnswer::unfilled;
}

TpoAnswer ntx_find_tpo_sid(phash_table *table, DWORD offset, ntx_tpo_sid_value *value) {
    unsigned size = sizeof *value;
    if (offset != NTX_NO_POSIX_OFFSET && phash_lookup(table, &offset, value, &size)) return TpoAnswer::found;
    DWORD marker = NTX_NO_POSIX_OFFSET;
    ntx_tpo_sid_value ignored;
    size = sizeof ignored;
    return phash_lookup(table, &marker, &ignored, &size) ? TpoAnswer::absent : TpoAnswer::unfilled;
}

extern "C" NT_API int ntx_set_cached_tpo_db(void) {
    const POLICY_PRIMARY_DOMAIN_INFO *primary = ntx_primary_domain_info();
    const POLICY_ACCOUNT_DOMAIN_INFO *account = ntx_account_domain_info();
    const ntx_tpo_db *trusted = ntx_get_tpo_db_from_lsa();
    phash_table *sid_tpo = nullptr, *tpo_sid = nullptr;
    if (!open_sid_tpo(&sid_tpo)) return 0;
    if (!open_tpo_sid(&tpo_sid)) {
        phash_close(sid_tpo);
        return 0;
    }
    if (phash_lock(sid_tpo)) {
        enter(sid_tpo, tpo_sid, null_sid(), kMarkerName, NTX_NO_POSIX_OFFSET);
        if (primary) enter_lsa_domain(sid_tpo, tpo_sid, primary->Name, primary->Sid, NTX_PRIMARY_OFFSET);
        if (account) enter_lsa_domain(sid_tpo, tpo_sid, account->DomainName, account->DomainSid, NTX_ACCOUNT_OFFSET);
        for (int i = 0; trusted && i < trusted->count; ++i)
            enter(sid_tpo, tpo_sid, trusted->entries[i].sid, trusted->entries[i].name, trusted->entries[i].offset);
        phash_unlock(sid_tpo);
    }
    phash_close(sid_tpo);
    return phash_close(tpo_sid);
}

extern "C" NT_API void ntx_dump_cache(void) {
    dump(kSidTpoName, open_sid_tpo, print_sid_tpo);
    dump(kTpoSidName, open_tpo_sid, print_tpo_sid);
}
