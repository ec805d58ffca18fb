// Domain offsets both ways: a domain SID to its name and offset, and an
// offset to the domain's name and SID, through the machine-wide tables when
// they can be opened (filling them once when they lack their marker), else
// from this process's own facts.  Results are copied into buffers of the
// calling thread.
#include <cstring>

#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/tpo_tables.h"
#include "winnls.h"

namespace {

constexpr int kLongestLsaName = 64;

// The calling thread's result buffer `slot`, made on first use; null when memory runs out.
template <typename Value>
Value *scratch(int slot) {
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return nullptr;
    void *&buffer = context->trusted_domain_scratch[slot];
    if (!buffer) buffer = nt_thread_alloc(context, sizeof(Value));
    return static_cast<Value *>(buffer);
}

bool same_sid(PSID a, PSID b) { return a && b && EqualSid(a, b); }

// The name of an LSA domain into a value's name field; false when it is too long.
bool lsa_name(const LSA_UNICODE_STRING &name, char (&out)[NTX_DOMAIN_NAME_SIZE]) {
    if (name.Length / 2 > kLongestLsaName) return false;
    return name.Length == 0 ||
           WideCharToMultiByte(CP_ACP, 0, name.Buffer, name.Length / 2, out, sizeof out - 1, nullptr, nullptr) > 0;
}

// The unshifted offset of a domain from this process's facts, 0 when unknown.
DWORD computed_offset(PSID sid, ntx_sid_tpo_value &value, int shift) {
    std::memset(&value, 0, sizeof value);
    const POLICY_PRIMARY_DOMAIN_INFO *primary = ntx_primary_domain_info();
    const POLICY_ACCOUNT_DOMAIN_INFO *account = ntx_account_domain_info();
    if (same_sid(sid, ntx_builtin_domain_sid())) {
        std::strcpy(value.name, "BUILTIN");
        value.offset = NTX_BUILTIN_OFFSET >> shift;
    } else if (primary && same_sid(sid, primary->Sid)) {
        lsa_name(primary->Name, value.name);
        value.offset = NTX_PRIMARY_OFFSET;
    } else if (account && same_sid(sid, account->DomainSid)) {
        lsa_name(account->DomainName, value.name);
        value.offset = NTX_ACCOUNT_OFFSET;
    } else if (const ntx_tpo_db *trusted = ntx_get_tpo_db_from_lsa()) {
        for (int i = 0; i < trusted->count && !value.offset; ++i) {
            if (!EqualSid(sid, trusted->entries[i].sid)) continue;
            std::strncpy(value.name, trusted->entries[i].name, sizeof value.name - 1);
            value.offset = trusted->entries[i].offset;
        }
    }
    return value.offset;
}

// The trusted domain of an unshifted offset from this process's list.
bool listed_domain(DWORD offset, ntx_tpo_sid_value &value) {
    const ntx_tpo_db *trusted = ntx_get_tpo_db_from_lsa();
    for (int i = 0; trusted && i < trusted->count; ++i) {
        const ntx_tpo_entry &e = trusted->entries[i];
        if (e.offset != offset || offset == NTX_NO_POSIX_OFFSET) continue;
        if (GetLengthSid(e.sid) > sizeof value.sid) return false;
        std::memset(&value, 0, sizeof value);
        std::strncpy(value.name, e.name, sizeof value.name - 1);
        CopySid(sizeof value.sid, value.sid, e.sid);
        return true;
    }
    return false;
}

// Asks `find` of `table` up to twice, filling the tables after a first
// answer that they are unfilled.
template <typename Find>
TpoAnswer ask_tables(phash_table *table, Find find) {
    TpoAnswer answer = find(table);
    if (answer != TpoAnswer::unfilled) return answer;
    ntx_set_cached_tpo_db();
    return find(table);
}

}  // namespace

DWORD ntx_sid_to_tpo(PSID domain_sid, ntx_sid_tpo_value **value_out) {
    if (!domain_sid || !IsValidSid(domain_sid)) return 0;
    auto *value = scratch<ntx_sid_tpo_value>(0);
    if (!value) return 0;
    int shift = ntx_large_rid_shift();
    bool found = false;
    if (phash_table *table = ntx_sid_tpo_table())
        found = ask_tables(table, [&](phash_table *t) { return ntx_find_sid_tpo(t, domain_sid, value); }) ==
                TpoAnswer::found;
    if (!found && !computed_offset(domain_sid, *value, shift)) return 0;
    if (value_out) *value_out = value;
    return value->offset << shift;
}

PSID ntx_tpo_to_sid(DWORD shifted_offset, ntx_tpo_sid_value **value_out) {
    auto *value = scratch<ntx_tpo_sid_value>(1);
    if (!value) return nullptr;
    DWORD offset = shifted_offset >> ntx_large_rid_shift();
    if (phash_table *table = ntx_tpo_sid_table()) {
        if (ask_tables(table, [&](phash_table *t) { return ntx_find_tpo_sid(t, offset, value); }) != TpoAnswer::found)
            return nullptr;
    } else if (!listed_domain(offset, *value)) {
        return nullptr;
    }
    if (value_out) *value_out = value;
    return value->sid;
}
