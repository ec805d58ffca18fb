// LookupAccountName and LookupAccountSid, A and W, over the account database
// of the machine that the system argument names.  Sizes follow Windows: when
// a buffer is too small, both sizes needed are stored (texts with their
// terminator) and the call fails with ERROR_INSUFFICIENT_BUFFER; on success
// the text sizes are the lengths written, without the terminator.
#include <cstring>

#include "machine/account_database.h"
#include "machine/machine.h"
#include "winnls.h"
#include "wnet.h"

namespace quarn::win32 {
namespace {

// The account database of the machine `system`, or nullopt with the last error set.
template <typename Char>
std::optional<AccountDatabase> database_of(const Char *system) {
    const Machine *machine = Machine::current();
    if (!machine) return std::nullopt;
    auto host = machine->directory().host(utf8_of(system));
    if (!host || reach(*host) == Reach::unreachable) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return std::nullopt;
    }
    if (reach(*host) == Reach::denied) {
        SetLastError(ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    return AccountDatabase(machine->directory(), *host);
}

// A text result and the caller's buffer and in/out size (in characters).
template <typename Char>
struct TextOut {
    std::basic_string<Char> text;
    Char *buffer;
    LPDWORD size;

    bool fits() const { return buffer && *size > text.size(); }
    void need() const { *size = static_cast<DWORD>(text.size() + 1); }
    void write() const {
        std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
        *size = static_cast<DWORD>(text.size());
    }
};

template <typename Char>
BOOL lookup_name(const Char *system, const Char *name, PSID sid, LPDWORD sid_size, Char *domain,
                 LPDWORD domain_size, PSID_NAME_USE use) {
    if (!name || !sid_size || !domain_size || !use) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto database = database_of(system);
    if (!database) return FALSE;
    auto found = database->find_name(utf8_of(name));
    if (!found) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    TextOut<Char> domain_out{text_as<Char>(found->domain), domain, domain_size};
    bool sid_fits = sid && *sid_size >= found->sid.size();
    if (!sid_fits || !domain_out.fits()) {
        *sid_size = found->sid.size();
        domain_out.need();
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(sid, found->sid.get(), found->sid.size());
    *sid_size = found->sid.size();
    domain_out.write();
    *use = found->use;
    return TRUE;
}

template <typename Char>
BOOL lookup_sid(const Char *system, PSID sid, Char *name, LPDWORD name_size, Char *domain, LPDWORD domain_size,
                PSID_NAME_USE use) {
    if (!name_size || !domain_size || !use) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsValidSid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    auto database = database_of(system);
    if (!database) return FALSE;
    auto found = database->find_sid(SidValue::copy_of(sid));
    if (!found) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    TextOut<Char> name_out{text_as<Char>(found->name), name, name_size};
    TextOut<Char> domain_out{text_as<Char>(found->domain), domain, domain_size};
    if (!name_out.fits() || !domain_out.fits()) {
        name_out.need();
        domain_out.need();
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    name_out.write();
    domain_out.write();
    *use = found->use;
    return TRUE;
}

}  // namespace
}  // namespace quarn::win32

extern "C" {

BOOL LookupAccountNameA(LPCSTR system, LPCSTR name, PSID sid, LPDWORD sid_size, LPSTR domain, LPDWORD domain_size,
                        PSID_NAME_USE use) {
    return quarn::win32::lookup_name(system, name, sid, sid_size, domain, domain_size, use);
}

BOOL LookupAccountNameW(LPCWSTR system, LPCWSTR name, PSID sid, LPDWORD sid_size, LPWSTR domain,
                        LPDWORD domain_size, PSID_NAME_USE use) {
    return quarn::win32::lookup_name(system, name, sid, sid_size, domain, domain_size, use);
}

BOOL LookupAccountSidA(LPCSTR system, PSID sid, LPSTR name, LPDWORD name_size, LPSTR domain, LPDWORD domain_size,
                       PSID_NAME_USE use) {
    return quarn::win32::lookup_sid(system, sid, name, name_size, domain, domain_size, use);
}

BOOL LookupAccountSidW(LPCWSTR system, PSID sid, LPWSTR name, LPDWORD name_size, LPWSTR domain,
                       LPDWORD domain_size, PSID_NAME_USE use) {
    return quarn::win32::lookup_sid(system, sid, name, name_size, domain, domain_size, use);
}

}  // extern "C"
