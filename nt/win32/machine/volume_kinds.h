// What kind of drive and file system a Unix path lives on, from statfs: the
// one answer behind GetDriveTypeA/W, GetVolumeInformationA/W and `quarn host`.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "winbase.h"

namespace quarn::win32 {

// The flag winbase.h does not give; the drive types and the other flags are winbase.h's.
constexpr DWORD FILE_READ_ONLY_VOLUME = 0x00080000;

struct VolumeKind {
    UINT drive_type;          // DRIVE_FIXED, DRIVE_REMOTE, ...
    std::string file_system;  // "NTFS", "FAT32", "CDFS", or the Linux name in capitals
    DWORD flags;              // FILE_* above
    DWORD max_component;      // the longest name the file system takes
    DWORD serial;             // volume_serial() of the device
};

// The serial number of the volume on device major:minor, the same in a
// volume's information and in the facts of each of its files.
constexpr DWORD volume_serial(unsigned major, unsigned minor) { return (major << 20) ^ minor; }

// The volume of `unix_path`: disk file systems are fixed NTFS drives, vfat
// FAT32, iso9660 a CD-ROM with CDFS, nfs, cifs and fuse.sshfs remote drives,
// tmpfs and ramfs RAM disks.  FILE_PERSISTENT_ACLS where the file system
// keeps POSIX ACLs.  nullopt when the path cannot be examined.
std::optional<VolumeKind> volume_kind(const std::string &unix_path);

struct Drive {
    char letter;       // 'C'
    std::string root;  // the Unix directory its link points to
};

// The drives of the prefix's dosdevices/, in letter order.
std::vector<Drive> drives(const Machine &machine);

}  // namespace quarn::win32
