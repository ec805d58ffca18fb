// The well-known SID table.  Names and types are those Windows 7 reports.
#include "advapi32/well_known_sids.h"

#include <vector>

namespace quarn::win32 {
namespace {

constexpr BYTE kNullAuthority = 0, kWorld = 1, kLocal = 2, kCreator = 3, kNt = 5, kMandatory = 16;
constexpr const char *kNtAuthority = "NT AUTHORITY";
constexpr const char *kLabels = "Mandatory Label";

WellKnownAccount group(BYTE authority, std::initializer_list<DWORD> subs, const char *domain, const char *name) {
    return {SidValue(authority, subs), domain, name, SidTypeWellKnownGroup};
}

WellKnownAccount label(DWORD level, const char *name) { return {SidValue(kMandatory, {level}), kLabels, name, SidTypeLabel}; }

WellKnownAccount alias(DWORD rid, const char *name) {
    return {SidValue(kNt, {SECURITY_BUILTIN_DOMAIN_RID, rid}), "BUILTIN", name, SidTypeAlias};
}

}  // namespace

std::span<const WellKnownAccount> well_known_accounts() {
    static const std::vector<WellKnownAccount> table = {
        group(kNullAuthority, {0}, "", "NULL SID"),
        group(kWorld, {0}, "", "Everyone"),
        group(kLocal, {0}, "", "LOCAL"),
        group(kLocal, {1}, "", "CONSOLE LOGON"),
        group(kCreator, {0}, "", "CREATOR OWNER"),
        group(kCreator, {1}, "", "CREATOR GROUP"),
        group(kCreator, {2}, "", "CREATOR OWNER SERVER"),
        group(kCreator, {3}, "", "CREATOR GROUP SERVER"),
        group(kCreator, {4}, "", "OWNER RIGHTS"),
        group(kNt, {1}, kNtAuthority, "DIALUP"),
        group(kNt, {2}, kNtAuthority, "NETWORK"),
        group(kNt, {3}, kNtAuthority, "BATCH"),
        group(kNt, {4}, kNtAuthority, "INTERACTIVE"),
        group(kNt, {6}, kNtAuthority, "SERVICE"),
        group(kNt, {7}, kNtAuthority, "ANONYMOUS LOGON"),
        group(kNt, {8}, kNtAuthority, "PROXY"),
        group(kNt, {9}, kNtAuthority, "ENTERPRISE DOMAIN CONTROLLERS"),
        group(kNt, {10}, kNtAuthority, "SELF"),
        group(kNt, {11}, kNtAuthority, "Authenticated Users"),
        group(kNt, {12}, kNtAuthority, "RESTRICTED"),
        group(kNt, {13}, kNtAuthority, "TERMINAL SERVER USER"),
        group(kNt, {14}, kNtAuthority, "REMOTE INTERACTIVE LOGON"),
        group(kNt, {15}, kNtAuthority, "This Organization"),
        group(kNt, {17}, kNtAuthority, "IUSR"),
        group(kNt, {18}, kNtAuthority, "SYSTEM"),
        group(kNt, {19}, kNtAuthority, "LOCAL SERVICE"),
        group(kNt, {20}, kNtAuthority, "NETWORK SERVICE"),
        label(0x0000, "Untrusted Mandatory Level"),
        label(0x1000, "Low Mandatory Level"),
        label(0x2000, "Medium Mandatory Level"),
        label(0x2100, "Medium Plus Mandatory Level"),
        label(0x3000, "High Mandatory Level"),
        label(0x4000, "System Mandatory Level"),
        label(0x5000, "Protected Process Mandatory Level"),
    };
    return table;
}

std::span<const WellKnownAccount> builtin_aliases() {
    static const std::vector<WellKnownAccount> table = {
        alias(544, "Administrators"),
        alias(545, "Users"),
        alias(546, "Guests"),
        alias(547, "Power Users"),
        alias(548, "Account Operators"),
        alias(549, "Server Operators"),
        alias(550, "Print Operators"),
        alias(551, "Backup Operators"),
        alias(552, "Replicator"),
        alias(554, "Pre-Windows 2000 Compatible Access"),
        alias(555, "Remote Desktop Users"),
        alias(556, "Network Configuration Operators"),
        alias(557, "Incoming Forest Trust Builders"),
        alias(558, "Performance Monitor Users"),
        alias(559, "Performance Log Users"),
        alias(560, "Windows Authorization Access Group"),
        alias(561, "Terminal Server License Servers"),
        alias(562, "Distributed COM Users"),
        alias(568, "IIS_IUSRS"),
        alias(569, "Cryptographic Operators"),
        alias(573, "Event Log Readers"),
        alias(574, "Certificate Service DCOM Access"),
    };
    return table;
}

const SidValue &builtin_domain_sid() {
    static const SidValue sid(kNt, {SECURITY_BUILTIN_DOMAIN_RID});
    return sid;
}

}  // namespace quarn::win32
