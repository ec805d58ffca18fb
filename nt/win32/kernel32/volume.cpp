// Volumes: GetDriveTypeA/W, GetVolumeInformationA/W and QueryDosDeviceA.  A
// drive's kind and file system come from statfs(2) of its root: network
// file systems are remote, tmpfs a RAM disk, iso9660 a CD-ROM (CDFS), vfat
// FAT32, and every other disk file system reports NTFS.
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>

#include "kernel32/dos_path.h"
#include "kernel32/host_error.h"
#include "ntdll/object_manager.h"
#include "winnls.h"

namespace quarn::win32 {
namespace {

constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kIso9660Magic = 0x9660;

// The Unix directory of a root "X:\" (or "X:", "\\?\X:\"); nullopt for anything else.
std::optional<std::string> root_directory(std::u16string_view root) {
    if (root.starts_with(u"\\\\?\\") || root.starts_with(u"\\\\.\\")) root.remove_prefix(4);
    bool drive = root.size() >= 2 && root[1] == u':' && (root.size() == 2 || (root.size() == 3 && is_separator(root[2])));
    if (!drive) return std::nullopt;
    return unix_path_of_dos(std::u16string(root.substr(0, 2)) + u"\\");
}

UINT drive_type_of(const std::string &directory) {
    struct statfs fs {};
    struct stat st {};
    if (statfs(directory.c_str(), &fs) == -1 || stat(directory.c_str(), &st) == -1 || !S_ISDIR(st.st_mode))
        return DRIVE_NO_ROOT_DIR;
    switch (static_cast<long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case kCifsMagic:
    case kSmb2Magic: return DRIVE_REMOTE;
    case TMPFS_MAGIC:
    case RAMFS_MAGIC: return DRIVE_RAMDISK;
    case kIso9660Magic: return DRIVE_CDROM;
    default: return DRIVE_FIXED;
    }
}

const char *file_system_name(long type) {
    switch (type) {
    case kIso9660Magic: return "CDFS";
    case MSDOS_SUPER_MAGIC: return "FAT32";
    default: return "NTFS";
    }
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
    struct statfs fs {};
    struct stat st {};
    if (!directory || statfs(directory->c_str(), &fs) == -1 || stat(directory->c_str(), &st) == -1) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!copy_text<Char>("", volume_name, volume_name_size)) return FALSE;
    if (!copy_text<Char>(file_system_name(static_cast<long>(fs.f_type)), fs_name, fs_name_size)) return FALSE;
    if (serial) *serial = static_cast<DWORD>(st.st_dev ^ (static_cast<uint64_t>(st.st_dev) >> 32));
    if (max_component) *max_component = static_cast<DWORD>(fs.f_namelen);
    if (flags)
        *flags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS;
    return TRUE;
}

template <typename Char>
UINT drive_type(const Char *root) {
    std::u16string given = utf8_to_utf16(utf8_of(root));
    auto chosen = root_or_current(root ? &given : nullptr);
    if (!chosen) return DRIVE_UNKNOWN;
    auto directory = root_directory(*chosen);
    return directory ? drive_type_of(*directory) : DRIVE_NO_ROOT_DIR;
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
