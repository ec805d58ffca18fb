// The numbered product settings: each a value under the common key of the
// machine's or the user's root, with a fixed type.
#include <cstring>

#include "registry/ntregy_internal.h"

namespace {

enum Root { machine, user };

struct Setting {
    const char *name;
    Root root;
    DWORD type;
};

// Numbers 4, 5, 53 and 60 name no setting.
constexpr Setting kSettings[] = {
    /* 0 */ {"QuarnRegy", machine, REG_SZ},
    /* 1 */ {"Region", machine, REG_SZ},
    /* 2 */ {"InteropRegion", machine, REG_SZ},
    /* 3 */ {"Geometry", machine, REG_SZ},
    /* 4 */ {nullptr, machine, REG_NONE},
    /* 5 */ {nullptr, machine, REG_NONE},
    /* 6 */ {"ProductInfoKeys", machine, REG_MULTI_SZ},
    /* 7 */ {"QuarnMsgHome", machine, REG_SZ},
    /* 8 */ {"ProductHome", machine, REG_SZ},
    /* 9 */ {"DisableAutomounting", machine, REG_DWORD},
    /* 10 */ {"NoPersistentVOBPopup", user, REG_DWORD},
    /* 11 */ {"LookupOnlyFqNames", machine, REG_DWORD},
    /* 12 */ {"AdminsArePrivileged", machine, REG_DWORD},
    /* 13 */ {"ZendrelGroupName", machine, REG_SZ},
    /* 14 */ {"LockmgrCmdLine", machine, REG_SZ},
    /* 15 */ {"ServerType", machine, REG_SZ},
    /* 16 */ {"HostData", machine, REG_SZ},
    /* 17 */ {"IdHelper", machine, REG_SZ},
    /* 18 */ {"RegBackup", machine, REG_SZ},
    /* 19 */ {"PersistentVOBs", user, REG_SZ},
    /* 20 */ {"RecentlyUsedViews", user, REG_SZ},
    /* 21 */ {"RecentlyUsedViewsMaxLen", user, REG_DWORD},
    /* 22 */ {"UseNonAlphaDrives", user, REG_DWORD},
    /* 23 */ {"SCC", user, REG_SZ},
    /* 24 */ {"ProjectRoot", machine, REG_SZ},
    /* 25 */ {"Connected", user, REG_DWORD},
    /* 26 */ {"ViewInterop", user, REG_DWORD},
    /* 27 */ {"EnableCredmap", machine, REG_DWORD},
    /* 28 */ {"DisableDomainPrefix", machine, REG_DWORD},
    /* 29 */ {"DisableZnfsServer", machine, REG_DWORD},
    /* 30 */ {"DisableZnfsClient", machine, REG_DWORD},
    /* 31 */ {"ZnfsServerMaxConnections", machine, REG_DWORD},
    /* 32 */ {"ZnfsServerDataTimeout", machine, REG_DWORD},
    /* 33 */ {"ZnfsClientMaxDataRetransmissions", machine, REG_DWORD},
    /* 34 */ {"ZnfsClientDataTimeout", machine, REG_DWORD},
    /* 35 */ {"ZnfsClientAllowedServerType", machine, REG_DWORD},
    /* 36 */ {"DomainMappingEnabled", user, REG_DWORD},
    /* 37 */ {"DomainMappingKeyword", user, REG_SZ},
    /* 38 */ {"InstallConfiguration", machine, REG_DWORD},
    /* 39 */ {"NetworkReleaseArea", machine, REG_SZ},
    /* 40 */ {"DisableQlbdGroupCheck", machine, REG_DWORD},
    /* 41 */ {"LargeRIDs", machine, REG_DWORD},
    /* 42 */ {"SmtpServerHost", machine, REG_SZ},
    /* 43 */ {"ZnfsClientUseUnsharedServer", machine, REG_DWORD},
    /* 44 */ {"DisallowRemoteAdministration", machine, REG_DWORD},
    /* 45 */ {"ShmemTotalAreaSize", machine, REG_DWORD},
    /* 46 */ {"ShmemMaxNumberOfSubAreas", machine, REG_DWORD},
    /* 47 */ {"VobSchemaRev", machine, REG_DWORD},
    /* 48 */ {"CredmapAllowedDomainList", machine, REG_MULTI_SZ},
    /* 49 */ {"ServerSetupComplete", machine, REG_DWORD},
    /* 50 */ {"CredmapNoEntTimeToLive", machine, REG_DWORD},
    /* 51 */ {"HistoryModeSuffix_Obsolete", machine, REG_SZ},
    /* 52 */ {"SavedQuarnRegy", machine, REG_SZ},
    /* 53 */ {nullptr, machine, REG_NONE},
    /* 54 */ {"EnablePrivateShmem", machine, REG_DWORD},
    /* 55 */ {"DomainMappingEnabled", machine, REG_DWORD},
    /* 56 */ {"DomainMappingKeyword", machine, REG_SZ},
    /* 57 */ {"WsRootCacheLifetime", machine, REG_DWORD},
    /* 58 */ {"CheckinPreserveTime", user, REG_DWORD},
    /* 59 */ {"CheckoutPreserveTime", user, REG_DWORD},
    /* 60 */ {nullptr, machine, REG_NONE},
    /* 61 */ {"SetPrimaryGroupAtLogon", machine, REG_DWORD},
    /* 62 */ {"DisableUnicodeLongPath", machine, REG_DWORD},
    /* 63 */ {"DisableMiniDump", machine, REG_DWORD},
    /* 64 */ {"MiniDumpType", machine, REG_DWORD},
    /* 65 */ {"MailDomainName", machine, REG_SZ},
    /* 66 */ {"DisableGecos", machine, REG_DWORD},
    /* 67 */ {"ZNGroupIsPrivileged", machine, REG_DWORD},
    /* 68 */ {"EnforceAcls", user, REG_DWORD},
};
static_assert(sizeof kSettings / sizeof *kSettings == quarn::nt::kSettingCount);

// The row of `number`, or null for a number that names no setting.
const Setting *setting_of(int number) {
    if (number < 0 || number >= static_cast<int>(sizeof kSettings / sizeof *kSettings)) return nullptr;
    const Setting &row = kSettings[number];
    return row.name ? &row : nullptr;
}

HKEY root_of(const Setting &row) { return row.root == user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

// The bytes a setting's data takes: the text and its NUL, 4 for a number,
// the strings of a list with their NULs and one more (0 for an empty list).
DWORD length_of(DWORD type, const void *data) {
    if (type == REG_DWORD) return sizeof(DWORD);
    const char *text = static_cast<const char *>(data);
    if (type == REG_SZ) return static_cast<DWORD>(std::strlen(text) + 1);
    if (!*text) return 0;
    size_t total = 0;
    for (const char *p = text; *p; p += std::strlen(p) + 1) total += std::strlen(p) + 1;
    return static_cast<DWORD>(total + 1);
}

}  // namespace

std::optional<quarn::nt::SettingRow> quarn::nt::setting_row(int number) {
    const Setting *row = setting_of(number);
    if (!row) return std::nullopt;
    return SettingRow{row->name, root_of(*row), row->type};
}

extern "C" {

NT_API DWORD ntregy_get_datatype(int number) {
    const Setting *row = setting_of(number);
    return row ? row->type : REG_NONE;
}

NT_API LONG ntregy_get_param(int number, DWORD size, void *buffer, const char *machine) {
    const Setting *row = setting_of(number);
    if (!row) return ERROR_INVALID_PARAMETER;
    quarn::nt::RegistryRoot root(machine, root_of(*row));
    if (root.status() != ERROR_SUCCESS) return root.status();
    HKEY key = nullptr;
    LONG status = ntregy_get_value(root.key(), ntregy_get_common_key(), row->name, buffer, size, &key);
    quarn::nt::close_handed_key(key);
    return status;
}

NT_API LONG ntregy_set_param(int number, const void *data, const char *machine) {
    const Setting *row = setting_of(number);
    if (!row || !data) return ERROR_INVALID_PARAMETER;
    quarn::nt::RegistryRoot root(machine, root_of(*row));
    if (root.status() != ERROR_SUCCESS) return root.status();
    HKEY key = nullptr;
    LONG status = ntregy_create_value(root.key(), ntregy_get_common_key(), row->name, data,
                                      length_of(row->type, data), row->type, &key);
    quarn::nt::close_handed_key(key);
    return status;
}

NT_API LONG ntregy_del_param(int number, const char *machine) {
    const Setting *row = setting_of(number);
    if (!row) return ERROR_INVALID_PARAMETER;
    quarn::nt::RegistryRoot root(machine, root_of(*row));
    if (root.status() != ERROR_SUCCESS) return root.status();
    return ntregy_del_value(root.key(), ntregy_get_common_key(), row->name);
}

}  // extern "C"
