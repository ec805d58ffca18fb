// The drive table: Windows drive letters over Unix directories, from the
// prefix's dosdevices/ links (c: -> ../drive_c, z: -> /).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "machine/machine.h"

namespace quarn::win32 {

// "X:\..." for a Unix path, through the drive whose root is its longest prefix.
std::optional<std::string> unix_to_dos_path(const Machine &machine, const std::string &unix_path);

// The same for a path that is canonical already (getcwd's, for one), without touching the disk.
std::optional<std::string> canonical_unix_to_dos_path(const Machine &machine, const std::string &canonical_path);

// Every drive: its lower-case letter and the canonical Unix directory of its root.
std::map<char, std::filesystem::path> drive_table(const Machine &machine);

// The Unix path of a drive-letter path "X:\..." or "X:/..."; nullopt for an unknown drive.
std::optional<std::string> dos_to_unix_path(const Machine &machine, const std::string &dos_path);

}  // namespace quarn::win32
