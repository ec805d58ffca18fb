// The domain group mapping: a group of the primary or a trusted domain whose
// comment holds KEYWORD(name) stands for the group `name` of this machine's
// view.  The switch DomainMappingEnabled and the keyword DomainMappingKeyword
// ("ZendrelGroup" by default) are read once per process, the user's value
// before the machine's; every group's answer, the identity included, is kept
// in the private "Domain group SID map" for the life of the process.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "identity/domains.h"
#include "identity/group_lists.h"
#include "identity/identity.h"
#include "netapi.h"
#include "nt.h"
#include "ntregy.h"
#include "winnls.h"

namespace {

constexpr int kUserMappingEnabled = 36, kUserMappingKeyword = 37;
constexpr int kMachineMappingEnabled = 55, kMachineMappingKeyword = 56;
constexpr size_t kKeywordChars = 100;
constexpr char kDefaultKeyword[] = "ZendrelGroup";
constexpr size_t kCommentChars = 255;
constexpr DWORD kAccountChars = 256, kDomainChars = 64;

struct MappingSettings {
    std::atomic<bool> read{false};
    bool enabled = false;
    WCHAR pattern[kKeywordChars + 2] = {};  // the keyword and "("
    size_t pattern_length = 0;
};
MappingSettings settings;

bool read_setting(int user_number, int machine_number, DWORD size, void *buffer) {
    return ntregy_get_param(user_number, size, buffer, nullptr) == ERROR_SUCCESS ||
           ntregy_get_param(machine_number, size, buffer, nullptr) == ERROR_SUCCESS;
}

void read_settings() {
    DWORD enabled = 0;
    settings.enabled = read_setting(kUserMappingEnabled, kMachineMappingEnabled, sizeof enabled, &enabled) && enabled;
    char keyword[kKeywordChars + 1] = {};
    if (!read_setting(kUserMappingKeyword, kMachineMappingKeyword, sizeof keyword, keyword))
        std::strcpy(keyword, kDefaultKeyword);
    keyword[kKeywordChars] = '\0';
    int widened = MultiByteToWideChar(CP_ACP, 0, keyword, -1, settings.pattern, kKeywordChars + 1);
    if (widened <= 0) widened = MultiByteToWideChar(CP_ACP, 0, kDefaultKeyword, -1, settings.pattern, kKeywordChars + 1);
    settings.pattern_length = static_cast<size_t>(widened - 1);
    settings.pattern[settings.pattern_length++] = u'(';
    settings.pattern[settings.pattern_length] = 0;
    settings.read.store(true, std::memory_order_release);
}

bool mapping_enabled() {
    if (!settings.read.load(std::memory_order_acquire)) {
        NtLibraryLock lock;
        if (!settings.read.load(std::memory_order_relaxed)) read_settings();
    }
    return settings.enabled;
}

size_t wide_length(const WCHAR *text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n]) ++n;
    return n;
}

// The account name that `comment` maps to, KEYWORD(name), in `name`
// (kAccountChars + 1 units); false when it holds none.
bool mapped_name(const WCHAR *comment, WCHAR *name) {
    size_t length = wide_length(comment, kCommentChars), pattern = settings.pattern_length;
    if (length < pattern + 2) return false;
    for (size_t start = 0; start <= length - pattern - 2; ++start) {
        if (_wcsnicmp(comment + start, settings.pattern, pattern) != 0) continue;
        const WCHAR *first = comment + start + pattern;
        const WCHAR *close = first;
        while (close < comment + length && *close != u')') ++close;
        if (close == comment + length) return false;
        size_t chars = static_cast<size_t>(close - first);
        if (chars == 0 || chars > kAccountChars) return false;
        std::memcpy(name, first, chars * sizeof(WCHAR));
        name[chars] = 0;
        return true;
    }
    return false;
}

// The group's comment from the machine that keeps it, in `comment` (kCommentChars + 1 units).
bool group_comment(PSID sid, PSID domain_sid, WCHAR *comment) {
    WCHAR name[kAccountChars + 1], domain[kDomainChars + 1];
    DWORD name_size = kAccountChars + 1, domain_size = kDomainChars + 1;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use)) return false;
    LPWSTR controller = nullptr;  // null: this machine keeps the group
    if (!ntx_is_account_domain_sid(domain_sid) && ntx_get_any_dc_w(domain, &controller) != 0) return false;
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetGroupGetInfo(controller, name, 1, &buffer);
    NetApiBufferFree(controller);
    if (status != NERR_Success || !buffer) return false;
    const WCHAR *text = reinterpret_cast<GROUP_INFO_1 *>(buffer)->grpi1_comment;
    size_t length = text ? wide_length(text, kCommentChars) : 0;
    std::memcpy(comment, text, length * sizeof(WCHAR));
    comment[length] = 0;
    NetApiBufferFree(buffer);
    return true;
}

// The mapped group's SID in `out` (68 bytes) when `sid`'s comment names a group.
void map_by_comment(PSID sid, PSID domain_sid, BYTE *out) {
    WCHAR comment[kCommentChars + 1], name[kAccountChars + 1];
    if (!group_comment(sid, domain_sid, comment) || !mapped_name(comment, name)) return;
    BYTE mapped[kSidSize];
    WCHAR domain[kDomainNameSize];
    DWORD sid_size = sizeof mapped, domain_size = kDomainNameSize;
    SID_NAME_USE use;
    if (LookupAccountNameW(nullptr, name, mapped, &sid_size, domain, &domain_size, &use) && nt_is_group_use(use))
        CopySid(kSidSize, out, mapped);
}

}  // namespace

PSID nt_map_domain_group_sid(PSID sid) {
    if (!sid || !mapping_enabled()) return sid;
    nt_thread_context *context = nt_thread_context_get();
    if (!context) return sid;
    BYTE *out = context->mapped_group;
    BYTE key[kSidSize] = {};
    if (!IsValidSid(sid) || GetLengthSid(sid) > kSidSize) return sid;
    std::memcpy(key, sid, GetLengthSid(sid));
    unsigned int size = kSidSize;
    if (nt_domain_group_sid_cache && phash_lookup(nt_domain_group_sid_cache, key, out, &size)) return out;
    PSID domain_sid = nullptr;
    if (ntx_get_sid_domain(sid, &domain_sid) != 0) return sid;
    int type = ntx_get_domain_sid_type(domain_sid, nullptr);
    if (type != NTX_DOMAIN_PRIMARY && type != NTX_DOMAIN_TRUSTED && type != NTX_DOMAIN_TRUSTED_NO_OFFSET) {
        std::free(domain_sid);
        return sid;
    }
    std::memcpy(out, key, kSidSize);
    map_by_comment(sid, domain_sid, out);
    std::free(domain_sid);
    if (nt_domain_group_sid_cache) phash_enter(nt_domain_group_sid_cache, key, out, kSidSize);
    return out;
}
