// Domain controllers: a controller of a domain (asking a controller of the
// primary domain for a domain that only it knows), in wide text for the
// library and multibyte text for callers, and whether the primary domain has
// a directory service.
#include <atomic>
#include <cstring>
#include <string>

#include "identity/domains.h"
#include "frame/frame.h"
#include "identity/ipc_session.h"
#include "netapi.h"
#include "nt.h"
#include "ntposix.h"
#include "rpc.h"
#include "frame/trace.h"
#include "winnls.h"

namespace {

constexpr ULONG kFlatNames = DS_IS_FLAT_NAME | DS_RETURN_FLAT_NAME;
constexpr int kNameSize = 65;

thread_local char controller_name[kNameSize];

bool is_primary_domain(LPCWSTR domain) {
    if (!domain || !*domain) return true;
    char wanted[3 * kNameSize], primary[kNameSize];
    if (WideCharToMultiByte(CP_ACP, 0, domain, -1, wanted, sizeof wanted, nullptr, nullptr) <= 0) return false;
    return ntx_what_domain(primary, sizeof primary) && nt_strcasecmp(wanted, primary) == 0;
}

// The controller name of a DsGetDcNameW answer, copied into a network-management buffer.
DWORD copy_controller(LPCWSTR name, LPWSTR *dc_out) {
    size_t bytes = (std::char_traits<char16_t>::length(name) + 1) * sizeof(WCHAR);
    LPVOID copy = nullptr;
    DWORD status = NetApiBufferAllocate(static_cast<DWORD>(bytes), &copy);
    if (status == NERR_Success) {
        std::memcpy(copy, name, bytes);
        *dc_out = static_cast<LPWSTR>(copy);
    }
    return status;
}

// Asks a controller of the primary domain for a controller of `domain`,
// over an anonymous IPC$ connection when it refuses a plain call.
DWORD ask_primary_controller(LPCWSTR domain, LPWSTR *dc_out) {
    LPBYTE primary = nullptr;
    DWORD status = NetGetAnyDCName(nullptr, nullptr, &primary);
    if (status != NERR_Success) return status;
    LPCWSTR server = reinterpret_cast<LPCWSTR>(primary);
    LPBYTE found = nullptr;
    status = NetGetAnyDCName(server, domain, &found);
    if (status == ERROR_ACCESS_DENIED || status == RPC_S_SERVER_UNAVAILABLE) {
        AnonymousIpcSession session;
        if (session.connect(server)) status = NetGetAnyDCName(server, domain, &found);
    }
    NetApiBufferFree(primary);
    if (status == NERR_Success) *dc_out = reinterpret_cast<LPWSTR>(found);
    return status;
}

}  // namespace

DWORD ntx_get_any_dc_w(LPCWSTR domain, LPWSTR *dc_out) {
    if (!ntx_is_domain_member()) return NERR_NotLocalDomain;
    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    DWORD status = DsGetDcNameW(nullptr, domain, nullptr, nullptr, kFlatNames, &info);
    if (status == NO_ERROR) {
        status = copy_controller(info->DomainControllerName, dc_out);
        NetApiBufferFree(info);
        return status;
    }
    if (status != ERROR_NOT_SUPPORTED) {
        NTX_TRACE_FAILURE("DsGetDcNameW", kSourceNtutilx, status);
        return ERROR_NO_SUCH_DOMAIN;
    }
    LPBYTE found = nullptr;
    status = NetGetAnyDCName(nullptr, domain, &found);
    if (status == NERR_Success) *dc_out = reinterpret_cast<LPWSTR>(found);
    if (status != ERROR_NO_SUCH_DOMAIN) return status;
    if (is_primary_domain(domain)) {
        *dc_out = nullptr;  // this machine answers for its own domain
        return NERR_Success;
    }
    return ask_primary_controller(domain, dc_out);
}

extern "C" NT_API int nt_get_any_dc(const char *domain, char **dc_out) {
    if (!dc_out) return 0;
    WCHAR wide[kNameSize] = {};
    if (domain && MultiByteToWideChar(CP_ACP, 0, domain, -1, wide, kNameSize) <= 0) {
        NTX_TRACE_FAILURE("MultiByteToWideChar", kSourceNtutilx, GetLastError());
        return 0;
    }
    LPWSTR controller = nullptr;
    DWORD status = ntx_get_any_dc_w(domain ? wide : nullptr, &controller);
    if (status != NERR_Success) {
        NTX_TRACE_FAILURE("ntx_get_any_dc_w", kSourceNtutilx, status);
        return 0;
    }
    if (!controller) {
        *dc_out = nullptr;
        return 1;
    }
    int bytes = WideCharToMultiByte(CP_ACP, 0, controller, -1, controller_name, kNameSize, nullptr, nullptr);
    DWORD error = GetLastError();
    NetApiBufferFree(controller);
    if (bytes <= 0) {
        NTX_TRACE_FAILURE("WideCharToMultiByte", kSourceNtutilx, error);
        return 0;
    }
    *dc_out = controller_name;
    return 1;
}

extern "C" NT_API int nt_is_in_active_directory(void) {
    static std::atomic<int> answer{-1};
    int known = answer.load(std::memory_order_acquire);
    if (known >= 0) return known;
    if (!ntx_is_domain_member()) return 0;
    NtLibraryLock lock;
    if (answer.load(std::memory_order_relaxed) < 0) {
        PDOMAIN_CONTROLLER_INFOW info = nullptr;
        bool directory = false;
        if (DsGetDcNameW(nullptr, nullptr, nullptr, nullptr, DS_DIRECTORY_SERVICE_REQUIRED, &info) == NO_ERROR) {
            RPC_STATUS status = RPC_S_OK;
            directory = (info->Flags & DS_DS_FLAG) && !UuidIsNil(&info->DomainGuid, &status) && status == RPC_S_OK;
            NetApiBufferFree(info);
        }
        answer.store(directory ? 1 : 0, std::memory_order_release);
    }
    return answer.load(std::memory_order_relaxed);
}
