// Volumes: GetDriveTypeA/W, GetVolumeInformationA/W and QueryDosDeviceA.  A
// drive's kind, file system and flags are what machine/volume_kinds.h finds
// for the directory its link points to.
#include <cstring>
#include <filesystem>

#include "kernel32/dos_path.h"
#include "kernel32/host_error.h"
#include "machine/volume_kinds.h"
#include "ntdll/object_manager.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

// The Unix directory of a root "X:\" (or "X:", "\\?\X:\"); nullopt for anything else.
std::optional<std::string> root_directory(std::u16string_view root) {
    if (root.starts_with(u"\\\\?\\") || root.starts_with(u"\\\\.\\")) root.remove_prefix(4);
    bool drive = root.size() >= 2 && root[1] == u':' && (root.size() == 2 || (root.size() == 3 && is_separator(root[2])));
    if (!drive) return std::nullopt;
    return unix_path_of_dos(std::u16string(root.substr(0, 2)) + u"\\");
}

std::optional<std::u16string> root_or_current(const std::u16string *given) {
    if (given) return *given;
    auto cwd = full_dos_path(u".");
    if (!cwd) return std::nullopt;
    return cwd->substr(0, 3);
}

template <typename Char>
bool copy_text(const std::string &utf8, Char *out, DWORD size) {
    if (!out) return true;
    std::basic_string<Char> text = text_as<Char>(utf8);
    if (text.size() + 1 > size) {
        SetLastError(ERROR_BAD_LENGTH);
        return false;
    }
    std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(Char));
    return true;
}

template <typename Char>
BOOL volume_information(const Char *root, Char *volume_name, DWORD volume_name_size, LPDWORD serial,
                        LPDWORD max_component, LPDWORD flags, Char *fs_name, DWORD fs_name_size) {
    std::u16string given = utf8_to_utf16(utf8_of(root));
    auto chosen = root_or_current(root ? &given : nullptr);
    if (!chosen) return FALSE;
    // The root must be named with its separator, as Windows requires.
    if (chosen->empty() || !is_separator(chosen->back())) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    auto directory = root_directory(*chosen);
    auto volume = directory ? volume_kind(*directory) : std::nullopt;
    if (!volume) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!copy_text<Char>("", volume_name, volume_name_size)) return FALSE;
    if (!copy_text<Char>(volume->file_system, fs_name, fs_name_size)) return FALSE;
    if (serial) *serial = volume->serial;
    if (max_component) *max_component = volume->max_component;
    if (flags) *flags = volume->flags;
    return TRUE;
}

template <typename Char>
UINT drive_type(const Char *root) {
    std::u16string given = utf8_to_utf16(utf8_of(root));
    auto chosen = root_or_current(root ? &given : nullptr);
    if (!chosen) return DRIVE_UNKNOWN;
    auto directory = root_directory(*chosen);
    std::error_code ec;
    if (!directory || !std::filesystem::is_directory(*directory, ec)) return DRIVE_NO_ROOT_DIR;
    auto volume = volume_kind(*directory);
    return volume ? volume->drive_type : DRIVE_NO_ROOT_DIR;
}

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

extern "C" {

UINT GetDriveTypeA(LPCSTR root) { return drive_type(root); }
UINT GetDriveTypeW(LPCWSTR root) { return drive_type(root); }

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volume_name, DWORD volume_name_size, LPDWORD serial,
                           LPDWORD max_component, LPDWORD flags, LPSTR fs_name, DWORD fs_name_size) {
    return volume_information(root, volume_name, volume_name_size, serial, max_component, flags, fs_name, fs_name_size);
}

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volume_name, DWORD volume_name_size, LPDWORD serial,
                           LPDWORD max_component, LPDWORD flags, LPWSTR fs_name, DWORD fs_name_size) {
    return volume_information(root, volume_name, volume_name_size, serial, max_component, flags, fs_name, fs_name_size);
}

DWORD QueryDosDeviceA(LPCSTR device, LPSTR target, DWORD size) {
    if (!target && size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string list;
    bool found = !device;
    for (const auto &[name, link] : dos_devices()) {
        if (!device) {
            list += name;
            list += '\0';
        } else if (!found && strcasecmp(device, name.c_str()) == 0) {
            list = link + '\0';
            found = true;
        }
    }
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    list += '\0';
    if (list.size() > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, list.data(), list.size());
    return static_cast<DWORD>(list.size());
}

}  // extern "C"
