// The user's comma lists: persistent VOBs and recently used views.  Items
// are separated by single commas and compared byte for byte; a list never
// grows beyond 8191 characters.  Read-modify-write runs under the library lock.
#include <cstring>
#include <string>
#include <string_view>

#include "frame/frame.h"
#include "registry/ntregy_internal.h"

namespace {

constexpr int kPersistentVobs = 19;
constexpr int kRecentViews = 20;
constexpr int kRecentViewsMaxLength = 21;
constexpr size_t kListBuffer = 8192;
constexpr size_t kMaxListLength = kListBuffer - 1;
constexpr DWORD kDefaultRecentViews = 5;

// Reads a list setting.  A value that is not there is an empty list; any
// other failure (a damaged or over-long value among them) leaves `list`
// unset, so that nothing is written over what could not be read.
bool read_list(int setting, std::string &list) {
    char buffer[kListBuffer + 1] = {};
    LONG status = ntregy_get_param(setting, kListBuffer, buffer, nullptr);
    if (status == ERROR_FILE_NOT_FOUND) {
        list.clear();
        return true;
    }
    if (status != ERROR_SUCCESS) return false;
    list = buffer;
    return true;
}

void write_list(int setting, const std::string &list) { ntregy_set_param(setting, list.c_str(), nullptr); }

// Calls `visit` for each item in order until it returns false.
template <typename Visit>
void for_each_item(std::string_view list, Visit visit) {
    if (list.empty()) return;
    while (true) {
        size_t comma = list.find(',');
        if (!visit(list.substr(0, comma))) return;
        if (comma == std::string_view::npos) return;
        list.remove_prefix(comma + 1);
    }
}

// Removes the first item equal to `tag` with the comma after it, or for the
// last item the comma before it.
void remove_item(std::string &list, std::string_view tag) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (std::string_view(list).substr(start, end - start) == tag) {
            if (end < list.size()) {
                list.erase(start, end - start + 1);
            } else {
                list.erase(start == 0 ? 0 : start - 1);
            }
            return;
        }
        if (end == list.size()) return;
        start = end + 1;
    }
}

bool contains(std::string_view list, std::string_view tag) {
    bool found = false;
    for_each_item(list, [&](std::string_view item) { return !(found = item == tag); });
    return found;
}

void remove_from(int setting, const char *tag) {
    char buffer[kListBuffer + 1] = {};
    if (ntregy_get_param(setting, kListBuffer, buffer, nullptr) != ERROR_SUCCESS) return;
    std::string list = buffer;
    remove_item(list, tag);
    write_list(setting, list);
}

}  // namespace

extern "C" {

NT_API void ntregy_add_persistent_vob(const char *tag) {
    NtLibraryLock lock;
    std::string list;
    if (!read_list(kPersistentVobs, list) || contains(list, tag)) return;
    if (list.size() + std::strlen(tag) >= kMaxListLength) return;
    if (!list.empty()) list += ',';
    list += tag;
    write_list(kPersistentVobs, list);
}

NT_API void ntregy_remove_persistent_vob(const char *tag) {
    NtLibraryLock lock;
    if (!tag) {
        write_list(kPersistentVobs, "");
        return;
    }
    remove_from(kPersistentVobs, tag);
}

NT_API void ntregy_add_to_recent_views(const char *tag) {
    NtLibraryLock lock;
    DWORD stored = 0;
    LONG maximum;
    if (ntregy_get_param(kRecentViewsMaxLength, sizeof stored, &stored, nullptr) == ERROR_SUCCESS) {
        maximum = static_cast<LONG>(stored);
    } else {
        stored = kDefaultRecentViews;
        ntregy_set_param(kRecentViewsMaxLength, &stored, nullptr);
        maximum = static_cast<LONG>(kDefaultRecentViews);
    }
    // A list that cannot be read (an over-long value, say) counts as empty:
    // the recent views are a convenience, rebuilt from this view on.
    std::string old_list;
    if (!read_list(kRecentViews, old_list)) old_list.clear();
    std::string list;
    LONG count = 0;
    if (maximum > 0) {
        list = tag;
        count = 1;
    }
    for_each_item(old_list, [&](std::string_view item) {
        if (count >= maximum) return false;
        if (item == tag) return true;
        if (list.size() + item.size() < kMaxListLength) {
            list.append(1, ',').append(item);
            ++count;
        }
        return true;
    });
    write_list(kRecentViews, list);
}

NT_API void ntregy_del_from_recent_views(const char *tag) {
    NtLibraryLock lock;
    remove_from(kRecentViews, tag);
}

}  // extern "C"
