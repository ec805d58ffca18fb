// Interactive logons of the machine's accounts: a primary token for a user
// that this machine's account database knows, for tests and the tool to
// impersonate.
#include "machine/account_database.h"
#include "machine/machine.h"
#include "advapi32/token_object.h"

namespace quarn::win32 {

BOOL logon_account(LPCSTR name, PHANDLE token) {
    if (!name || !token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Machine *machine = Machine::current();
    if (!machine) return FALSE;
    const Directory &directory = machine->directory();
    auto match = AccountDatabase(directory, *directory.host(nullptr)).find_name(name);
    if (!match || match->use != SidTypeUser) {
        SetLastError(ERROR_LOGON_FAILURE);
        return FALSE;
    }
    auto logon = primary_token(account_token_contents(match->sid));
    if (!logon) return FALSE;
    *token = token_handle(std::move(logon), TOKEN_ALL_ACCESS);
    return TRUE;
}

}  // namespace quarn::win32
