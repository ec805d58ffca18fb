// The names of an area: its section, its mutex and its file, for the global
// area, the calling user's private area or the debugging copy, held in one
// allocation; and the area's size from the ShmemTotalAreaSize setting.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "nt.h"
#include "ntregy.h"
#include "identity/security_internal.h"
#include "shmem/shmem_area.h"

namespace {

constexpr int kSettingHostData = 16;
constexpr int kSettingProductHome = 8;
constexpr int kSettingShmemTotalAreaSize = 45;

constexpr char kGlobalPrefix[] = "Global\\";
constexpr char kSectionName[] = "Global\\ZNshmemV3_area";
constexpr char kMutexName[] = "Global\\ZNshmemV3_mutex";
constexpr char kCacheFolder[] = "\\var\\cache";
constexpr char kFileName[] = "\\ZNshmemV3";
constexpr DWORD kSuffixRoom = 22;
constexpr size_t kSidTextSize = 100;

// Stores the three texts in one block and points the descriptor at them.
bool store_names(shmem_area *area, const char *section, const char *mutex, const char *path) {
    size_t section_length = section ? std::strlen(section) + 1 : 0;
    size_t mutex_length = mutex ? std::strlen(mutex) + 1 : 0;
    size_t path_length = std::strlen(path) + 1;
    char *block = static_cast<char *>(std::malloc(section_length + mutex_length + path_length));
    if (!block) return false;
    char *p = block;
    area->section_name = section ? static_cast<char *>(std::memcpy(p, section, section_length)) : nullptr;
    p += section_length;
    area->mutex_name = mutex ? static_cast<char *>(std::memcpy(p, mutex, mutex_length)) : nullptr;
    p += mutex_length;
    area->file_path = static_cast<char *>(std::memcpy(p, path, path_length));
    std::free(area->names_block);
    area->names_block = block;
    return true;
}

// The file's path: the host-data directory (HostData, else ProductHome) and
// the suffix; false when no directory is configured or the path is a directory.
// `sid_suffix` is "" or "." and the SID text; the room for the "." is in
// kSuffixRoom.  A private file lives in a folder of its user's own, named by
// the SID, so that nobody else can plant it: D\var\cache\S\ZNshmemV3.S.
bool build_file_path(const char *sid_suffix, char (&path)[MAX_PATH]) {
    size_t sid_length = *sid_suffix ? std::strlen(sid_suffix) - 1 : 0;
    DWORD room = MAX_PATH - kSuffixRoom - static_cast<DWORD>(sid_length ? 2 * sid_length + 1 : 0);
    char directory[MAX_PATH] = {};
    DWORD status = ntregy_get_param(kSettingHostData, room, directory, nullptr);
    if (status == ERROR_FILE_NOT_FOUND) status = ntregy_get_param(kSettingProductHome, room, directory, nullptr);
    if (status != ERROR_SUCCESS) return false;
    directory[room - 1] = 0;
    if (*sid_suffix)
        std::snprintf(path, sizeof path, "%s%s\\%s%s%s", directory, kCacheFolder, sid_suffix + 1, kFileName,
                      sid_suffix);
    else
        std::snprintf(path, sizeof path, "%s%s%s", directory, kCacheFolder, kFileName);
    DWORD attributes = GetFileAttributesA(path);
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// `name` without the "Global\" prefix when the object manager has no global namespace.
const char *namespace_name(const char *name) {
    if (!nt_ob_has_global_prefix() && std::strncmp(name, kGlobalPrefix, sizeof kGlobalPrefix - 1) == 0)
        return name + sizeof kGlobalPrefix - 1;
    return name;
}

bool set_up_private(shmem_area *area) {
    PSID sid = nullptr;
    char sid_text[kSidTextSize];
    if (!nt_get_user_sid(&sid) || !nt_sid_to_str(sid, sid_text, sizeof sid_text)) return false;
    char suffix[kSidTextSize + 1];
    std::snprintf(suffix, sizeof suffix, ".%s", sid_text);
    // Without the privilege to create global objects the names stay in the session.
    size_t skip = nt_token_has_create_global_privilege() ? 0 : sizeof kGlobalPrefix - 1;
    char section[sizeof kSectionName + sizeof suffix], mutex[sizeof kMutexName + sizeof suffix];
    std::snprintf(section, sizeof section, "%s%s", kSectionName + skip, suffix);
    std::snprintf(mutex, sizeof mutex, "%s%s", kMutexName + skip, suffix);
    char path[MAX_PATH];
    return build_file_path(suffix, path) && store_names(area, namespace_name(section), namespace_name(mutex), path);
}

}  // namespace

uint32_t shmem_total_size() {
    DWORD capacity = 0;
    if (ntregy_get_param(kSettingShmemTotalAreaSize, sizeof capacity, &capacity, nullptr) != ERROR_SUCCESS ||
        capacity <= kShmemDefaultCapacity || capacity >= kShmemMaxCapacity)
        capacity = kShmemDefaultCapacity;
    return capacity + kShmemHeaderSize;
}

bool shmem_set_up_names(shmem_area *area, bool global, const char *debug_path) {
    if (debug_path) return store_names(area, nullptr, nullptr, debug_path);
    if (!global) return set_up_private(area);
    char path[MAX_PATH];
    return build_file_path("", path) &&
           store_names(area, namespace_name(kSectionName), namespace_name(kMutexName), path);
}
