// SHGetFolderPathA for the user profile folder, through the drive table.
#include "shell.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "machine/account_database.h"
#include "machine/dos_paths.h"
#include "machine/local_accounts.h"
#include "machine/machine.h"

namespace quarn::win32 {
namespace {

// The user SID of `token`, or of the process token when it is null.
SidValue token_user(HANDLE token) {
    HANDLE own = nullptr;
    if (!token) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return {};
        token = own;
    }
    alignas(8) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    SidValue user;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length))
        user = SidValue::copy_of(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid);
    if (own) CloseHandle(own);
    return user;
}

// The profile folder of `user` as a drive path.
std::optional<std::string> profile_of(const Machine &machine, const SidValue &user) {
    const Directory &directory = machine.directory();
    if (user == SidValue(5, {SECURITY_LOCAL_SYSTEM_RID})) {
        if (auto root = local_user_with_uid(0)) return unix_to_dos_path(machine, root->home);
        return std::nullopt;
    }
    if (user.count() > 1 && user.parent() == directory.account_domain_sid()) {
        if (auto account = local_account_with_rid(user.rid()).user) return unix_to_dos_path(machine, account->home);
        return std::nullopt;
    }
    auto found = AccountDatabase(directory, *directory.host("")).find_sid(user);
    if (!found || found->use != SidTypeUser) return std::nullopt;
    return "C:\\users\\" + found->name;
}

HRESULT error_of(const std::error_code &ec) {
    if (ec == std::errc::permission_denied || ec == std::errc::read_only_file_system)
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    if (ec == std::errc::no_space_on_device) return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

}  // namespace
}  // namespace quarn::win32

extern "C" HRESULT SHGetFolderPathA(HWND, int folder, HANDLE token, DWORD flags, LPSTR path) {
    using namespace quarn::win32;
    if (!path || (folder & ~CSIDL_FLAG_MASK) != CSIDL_PROFILE || flags > SHGFP_TYPE_DEFAULT) return E_INVALIDARG;
    const Machine *machine = Machine::current();
    if (!machine) return HRESULT_FROM_WIN32(ERROR_BAD_CONFIGURATION);
    SidValue user = token_user(token);
    if (user.empty()) return HRESULT_FROM_WIN32(GetLastError());
    auto profile = profile_of(*machine, user);
    auto unix_path = profile ? dos_to_unix_path(*machine, *profile) : std::nullopt;
    if (!unix_path) return E_FAIL;
    if (profile->size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    std::error_code ec;
    if (!std::filesystem::is_directory(*unix_path, ec)) {
        if (!(folder & CSIDL_FLAG_CREATE)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        std::filesystem::create_directories(*unix_path, ec);
        if (ec) return error_of(ec);
    }
    std::memcpy(path, profile->c_str(), profile->size() + 1);
    return S_OK;
}
