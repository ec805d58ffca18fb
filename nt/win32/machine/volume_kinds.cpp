// Drive and file-system kinds from statfs.  FUSE file systems are told apart
// by the type that /proc/self/mountinfo records for their mount ("fuse.sshfs").
#include "machine/volume_kinds.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quarn::win32 {
namespace {

// statfs magic numbers (linux/magic.h).
constexpr long kExt4 = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E, kOverlay = 0x794C7630, kZfs = 0x2FC12FC1,
               kF2fs = 0xF2F52010, kJfs = 0x3153464A, kReiser = 0x52654973, kNtfs3 = 0x7366746E,
               kNtfs = 0x5346544E, kMsdos = 0x4D44, kExfat = 0x2011BAB0, kIso9660 = 0x9660, kUdf = 0x15013346,
               kNfs = 0x6969, kCifs = 0xFF534D42, kSmb2 = 0xFE534D42, kSmb = 0x517B, kFuse = 0x65735546,
               kTmpfs = 0x01021994, kRamfs = 0x858458F6;

struct Family {
    long magic;
    UINT drive_type;
    const char *file_system;
};

constexpr Family kFamilies[] = {
    {kExt4, DRIVE_FIXED, "NTFS"},     {kXfs, DRIVE_FIXED, "NTFS"},      {kBtrfs, DRIVE_FIXED, "NTFS"},
    {kOverlay, DRIVE_FIXED, "NTFS"},  {kZfs, DRIVE_FIXED, "NTFS"},      {kF2fs, DRIVE_FIXED, "NTFS"},
    {kJfs, DRIVE_FIXED, "NTFS"},      {kReiser, DRIVE_FIXED, "NTFS"},   {kNtfs3, DRIVE_FIXED, "NTFS"},
    {kNtfs, DRIVE_FIXED, "NTFS"},     {kMsdos, DRIVE_FIXED, "FAT32"},   {kExfat, DRIVE_FIXED, "exFAT"},
    {kIso9660, DRIVE_CDROM, "CDFS"},  {kUdf, DRIVE_CDROM, "UDF"},       {kNfs, DRIVE_REMOTE, "NFS"},
    {kCifs, DRIVE_REMOTE, "CIFS"},    {kSmb2, DRIVE_REMOTE, "CIFS"},    {kSmb, DRIVE_REMOTE, "SMB"},
    {kTmpfs, DRIVE_RAMDISK, "TMPFS"}, {kRamfs, DRIVE_RAMDISK, "RAMFS"},
};

// The mount's type in mountinfo ("fuse.sshfs") for the device of `path`.
std::string fuse_subtype(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line, wanted = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, word;
        fields >> id >> parent >> device;
        if (device != wanted) continue;
        while (fields >> word && word != "-") {
        }
        std::string type;
        fields >> type;
        return type;
    }
    return {};
}

std::string capitals(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// POSIX ACLs kept: reading the access ACL of a file that has none says "no
// data", of a file system that keeps none "not supported".
bool keeps_acls(const std::string &path) {
    return getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) >= 0 || errno == ENODATA;
}

}  // namespace

std::optional<VolumeKind> volume_kind(const std::string &unix_path) {
    struct statfs fs {};
    struct stat st {};
    if (::statfs(unix_path.c_str(), &fs) != 0 || ::stat(unix_path.c_str(), &st) != 0) return std::nullopt;
    VolumeKind kind{DRIVE_FIXED, "", FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK,
                    static_cast<DWORD>(fs.f_namelen), volume_serial(major(st.st_dev), minor(st.st_dev))};
    long magic = static_cast<long>(fs.f_type);
    const Family *family = nullptr;
    for (const auto &f : kFamilies)
        if (f.magic == magic) family = &f;
    if (magic == kFuse) {
        std::string type = fuse_subtype(unix_path);  // "fuse.sshfs"
        std::string name = type.rfind("fuse.", 0) == 0 ? type.substr(5) : "fuse";
        kind.drive_type = name == "sshfs" ? DRIVE_REMOTE : DRIVE_FIXED;
        kind.file_system = capitals(name);
    } else if (family) {
        kind.drive_type = family->drive_type;
        kind.file_system = family->file_system;
    } else {
        std::ostringstream name;
        name << "0x" << std::hex << magic;
        kind.file_system = name.str();
    }
    if (keeps_acls(unix_path)) kind.flags |= FILE_PERSISTENT_ACLS;
    if (fs.f_flags & ST_RDONLY) kind.flags |= FILE_READ_ONLY_VOLUME;
    return kind;
}

std::vector<Drive> drives(const Machine &machine) {
    std::vector<Drive> found;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(machine.prefix() / "dosdevices", ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0]))) continue;
        auto root = std::filesystem::canonical(entry.path(), ec);
        if (ec) continue;
        found.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))), root.string()});
    }
    std::sort(found.begin(), found.end(), [](const Drive &a, const Drive &b) { return a.letter < b.letter; });
    return found;
}

}  // namespace quarn::win32
