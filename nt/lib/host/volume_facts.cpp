// nt_get_drive_type, nt_get_fs_type and nt_fs_has_acl: the kind of drive and
// of file system a path lives on, and whether that file system keeps access
// control lists, each asked of the volume at the root of the absolute path.
#include <cstring>

#include "nt.h"
#include "win32.h"

namespace {

constexpr size_t kFullPathSize = 1024;
constexpr DWORD kVolumeNameSize = 64;

// The absolute form of `path` in `out`, when it fits in MAX_PATH.
bool short_full_path(const char *path, char (&out)[MAX_PATH]) {
    DWORD length = GetFullPathNameA(path, MAX_PATH, out, nullptr);
    return length != 0 && length < MAX_PATH;
}

int drive_kind_of(UINT platform_type) {
    switch (platform_type) {
    case DRIVE_FIXED: return NT_DRIVE_FIXED;
    case DRIVE_REMOVABLE: return NT_DRIVE_REMOVABLE;
    case DRIVE_REMOTE: return NT_DRIVE_REMOTE;
    case DRIVE_CDROM: return NT_DRIVE_CDROM;
    case DRIVE_RAMDISK: return NT_DRIVE_RAMDISK;
    default: return -1;
    }
}

int fs_kind_of(const char *name) {
    if (std::strcmp(name, "FAT") == 0 || std::strcmp(name, "FAT32") == 0) return NT_FS_FAT;
    if (std::strcmp(name, "NTFS") == 0) return NT_FS_NTFS;
    if (std::strcmp(name, "HPFS") == 0) return NT_FS_HPFS;
    if (std::strcmp(name, "CDFS") == 0) return NT_FS_CDFS;
    return NT_FS_OTHER;
}

}  // namespace

extern "C" NT_API int nt_get_drive_type(const char *path, int *drive_type) {
    if (!drive_type) return -1;
    *drive_type = 0;
    char full[MAX_PATH];
    if (!path || !short_full_path(path, full) || full[1] != ':') return -1;
    const char root[] = {full[0], ':', '\\', '\0'};
    int kind = drive_kind_of(GetDriveTypeA(root));
    if (kind < 0) return -1;
    *drive_type = kind;
    return 0;
}

extern "C" NT_API int nt_get_fs_type(const char *path, int *fs_type) {
    char full[kFullPathSize];
    if (!path || !fs_type || nt_get_full_path(path, full, sizeof full) != 0) return -1;
    char root[kFullPathSize], rest[kFullPathSize], volume_name[kVolumeNameSize], fs_name[kVolumeNameSize];
    if (nt_file_root_split(full, root, sizeof root, rest, sizeof rest) != 0 ||
        !GetVolumeInformationA(root, volume_name, sizeof volume_name, nullptr, nullptr, nullptr, fs_name,
                               sizeof fs_name)) {
        *fs_type = NT_FS_OTHER;
        return -1;
    }
    *fs_type = fs_kind_of(fs_name);
    return 0;
}

extern "C" NT_API int nt_fs_has_acl(const char *path, int *has_acl) {
    if (!has_acl) return -1;
    char full[MAX_PATH], root[MAX_PATH], rest[MAX_PATH];
    DWORD flags = 0;
    if (!path || !short_full_path(path, full) || nt_file_root_split(full, root, sizeof root, rest, sizeof rest) != 0 ||
        !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return -1;
    // The flag is the bit itself, as the volume reports it.
    *has_acl = static_cast<int>(flags & FILE_PERSISTENT_ACLS);
    return 0;
}
