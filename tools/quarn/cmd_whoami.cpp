// quarn whoami /priv: the privileges of the current token in the layout of
// Windows' whoami /priv: name, what it lets its holder do, and its state.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "win32.h"

namespace quarn::tool {
namespace {

struct Description {
    const char *name;
    const char *text;
};

// In our own words.
constexpr Description kDescriptions[] = {
    {"SeCreateTokenPrivilege", "Make new access tokens"},
    {"SeAssignPrimaryTokenPrivilege", "Give a process its primary token"},
    {"SeLockMemoryPrivilege", "Keep pages in physical memory"},
    {"SeIncreaseQuotaPrivilege", "Change the memory quotas of a process"},
    {"SeMachineAccountPrivilege", "Join computers to the domain"},
    {"SeTcbPrivilege", "Act as part of the operating system"},
    {"SeSecurityPrivilege", "Manage the audit and security log"},
    {"SeTakeOwnershipPrivilege", "Become the owner of files and other objects"},
    {"SeLoadDriverPrivilege", "Load and unload device drivers"},
    {"SeSystemProfilePrivilege", "Profile the performance of the system"},
    {"SeSystemtimePrivilege", "Set the system clock"},
    {"SeProfileSingleProcessPrivilege", "Profile the performance of one process"},
    {"SeIncreaseBasePriorityPrivilege", "Raise the scheduling priority of processes"},
    {"SeCreatePagefilePrivilege", "Create a paging file"},
    {"SeCreatePermanentPrivilege", "Create objects that outlive their handles"},
    {"SeBackupPrivilege", "Read any file for a backup"},
    {"SeRestorePrivilege", "Write any file and set any owner when restoring"},
    {"SeShutdownPrivilege", "Shut the machine down"},
    {"SeDebugPrivilege", "Debug processes of other users"},
    {"SeAuditPrivilege", "Write entries to the security log"},
    {"SeSystemEnvironmentPrivilege", "Change the firmware's settings"},
    {"SeChangeNotifyPrivilege", "Pass through folders without the right to list them"},
    {"SeRemoteShutdownPrivilege", "Shut the machine down from another machine"},
    {"SeUndockPrivilege", "Take the laptop out of its docking station"},
    {"SeSyncAgentPrivilege", "Read the directory for synchronisation"},
    {"SeEnableDelegationPrivilege", "Let accounts be trusted for delegation"},
    {"SeManageVolumePrivilege", "Run maintenance tasks on volumes"},
    {"SeImpersonatePrivilege", "Act as a client after authenticating it"},
    {"SeCreateGlobalPrivilege", "Create objects in the global namespace"},
    {"SeTrustedCredManAccessPrivilege", "Reach the credential manager as a trusted caller"},
    {"SeRelabelPrivilege", "Change the integrity label of objects"},
    {"SeIncreaseWorkingSetPrivilege", "Grow the working set of a process"},
    {"SeTimeZonePrivilege", "Set the time zone"},
    {"SeCreateSymbolicLinkPrivilege", "Create symbolic links"},
};

const char *description_of(const char *name) {
    for (const auto &d : kDescriptions)
        if (std::strcmp(d.name, name) == 0) return d.text;
    return "";
}

void print_privileges() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        fail(1, "the current token cannot be opened (error " + std::to_string(GetLastError()) + ")");
    DWORD needed = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed ? needed : 1);
    bool read = GetTokenInformation(token, TokenPrivileges, bytes.data(), needed, &needed);
    CloseHandle(token);
    if (!read) fail(1, "the token's privileges cannot be read (error " + std::to_string(GetLastError()) + ")");
    auto *privileges = reinterpret_cast<const TOKEN_PRIVILEGES *>(bytes.data());
    std::printf("\nPRIVILEGES INFORMATION\n----------------------\n\n");
    std::printf("%-32s %-52s %s\n", "Privilege Name", "Description", "State");
    std::printf("%s %s %s\n", std::string(32, '=').c_str(), std::string(52, '=').c_str(), std::string(8, '=').c_str());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        LUID luid = privileges->Privileges[i].Luid;
        char name[64];
        DWORD length = sizeof name;
        if (!LookupPrivilegeNameA(nullptr, &luid, name, &length)) std::snprintf(name, sizeof name, "%u", luid.LowPart);
        bool enabled = privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED;
        std::printf("%-32s %-52s %s\n", name, description_of(name), enabled ? "Enabled" : "Disabled");
    }
}

}  // namespace

void add_whoami_command(CLI::App &app) {
    auto *whoami = app.add_subcommand("whoami", "Print the current token's privileges (whoami /priv)");
    static std::string what;
    whoami->add_option("WHAT", what, "/priv (or -priv): the privileges")->required();
    whoami->callback([] {
        if (what != "/priv" && what != "-priv" && what != "/PRIV") fail(2, "unknown request: " + what + " (try /priv)");
        print_privileges();
    });
}

}  // namespace quarn::tool
