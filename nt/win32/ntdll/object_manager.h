// The object manager's namespace of directories, devices and symbolic links,
// built from the drive table each time it is asked (so it follows the
// prefix's dosdevices links): "\" holds "\Device", "\??" and the link
// "\DosDevices" -> "\??"; "\Device" holds one "HarddiskVolumeN" per drive (in
// the order of the letters) and "Mup", the network redirector; "\??" holds
// the link "X:" -> "\Device\HarddiskVolumeN" per drive and "UNC" -> "\Device\Mup".
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "winbase.h"

namespace quarn::win32 {

enum class ObjectType { directory, device, symbolic_link };

struct NamespaceObject {
    ObjectType type;
    std::u16string name;    // full name, "\??\C:"
    std::u16string target;  // links only
};

// The object of that full name (compared without regard to case), following
// links in every component but the last; nullopt with the status in `status`
// (STATUS_OBJECT_NAME_NOT_FOUND, STATUS_OBJECT_PATH_NOT_FOUND,
// STATUS_OBJECT_NAME_INVALID).
std::optional<NamespaceObject> find_namespace_object(std::u16string_view name, NTSTATUS &status);

// The DOS device names ("C:", ..., "UNC") with their link targets, in order.
std::vector<std::pair<std::string, std::string>> dos_devices();

}  // namespace quarn::win32
