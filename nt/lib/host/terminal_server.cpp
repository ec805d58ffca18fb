// Terminal services: whether the machine is a terminal server and in which
// mode (QUARN_FORCE_WTS overrides what the version and the registry say), and
// whether its client network is of the terminal-client type.  Each answer is
// computed once per process.
#include <strings.h>

#include "frame/frame.h"
#include "frame/trace.h"
#include "host/product_suite.h"
#include "nt.h"
#include "ntregy.h"
#include "wnet.h"

namespace {

constexpr WORD kTerminalClientNetwork = 0x7FFE;

int volatile server_done = 0;
int server_answer = 0;
int server_admin_mode = 0;

int volatile client_done = 0;
int client_answer = 0;

// The administration-mode flag of a terminal server: TSAppCompat reads as 0.
int administration_mode() {
    DWORD compatible = 1;
    HKEY key = nullptr;
    LONG status = ntregy_get_value(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Terminal Server",
                                   "TSAppCompat", &compatible, sizeof compatible, &key);
    if (key) ntregy_close_key(key);
    return status == ERROR_SUCCESS && compatible == 0;
}

void detect_terminal_server() {
    char forced[256];
    if (nt_getenv_safe("QUARN_FORCE_WTS", forced, sizeof forced, nullptr) && *forced) {
        bool admin = strcasecmp(forced, "Admin") == 0;
        bool user = strcasecmp(forced, "User") == 0;
        server_answer = admin || user;
        server_admin_mode = admin;
        return;
    }
    OSVERSIONINFOEXA wanted{};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.wSuiteMask = VER_SUITE_TERMINAL;
    ULONGLONG conditions = VerSetConditionMask(0, VER_SUITENAME, VER_AND);
    server_answer = VerifyVersionInfoA(&wanted, VER_SUITENAME, conditions) ? 1 : 0;
    server_admin_mode = server_answer ? administration_mode() : 0;
}

}  // namespace

extern "C" NT_API int nt_is_terminal_server(int *admin_mode) {
    if (!(nt_osinfo() & NT_OS_NT5_OR_LATER)) {
        if (admin_mode) *admin_mode = 0;
        return nt_product_suite_has_terminal_server();
    }
    if (!__atomic_load_n(&server_done, __ATOMIC_ACQUIRE)) {
        NtLibraryLock lock;
        if (!server_done) {
            detect_terminal_server();
            __atomic_store_n(&server_done, 1, __ATOMIC_RELEASE);
        }
    }
    if (admin_mode) *admin_mode = server_admin_mode;
    return server_answer;
}

extern "C" NT_API int nt_is_citrix_metaframe(void) {
    NtLibraryLock lock;
    if (!client_done) {
        if (nt_is_terminal_server(nullptr)) {
            NETINFOSTRUCT info{};
            info.cbStructure = sizeof info;
            DWORD status = WNetGetNetworkInformationA("Client Network", &info);
            if (status != NO_ERROR) NT_TRACE_FAILURE("WNetGetNetworkInformation", status);
            else client_answer = info.wNetType == kTerminalClientNetwork;
        }
        client_done = 1;
    }
    return client_answer;
}
