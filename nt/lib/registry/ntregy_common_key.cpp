// The common key under which the product keeps its settings, its short form
// relative to Software, and its last-write time.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "frame/frame.h"
#include "registry/ntregy_internal.h"

namespace {

constexpr const char *kPrefix = "\\Software";
constexpr const char *kMakerWord = "Quarn";
constexpr const char *kProductWord = "Zendrel";
constexpr const char *kVersionWord = "CurrentVersion";

struct KeyText {
    std::atomic<bool> built{false};
    char text[256] = {};
};

KeyText common_key;
KeyText short_key;

// Appends "\" and `word` unless the word is empty.
void append_word(char *buffer, size_t size, const char *word) {
    if (!*word) return;
    size_t used = std::strlen(buffer);
    std::snprintf(buffer + used, size - used, "\\%s", word);
}

const char *build_once(KeyText &key, bool with_prefix) {
    if (key.built.load(std::memory_order_acquire)) return key.text;
    NtLibraryLock lock;
    if (!key.built.load(std::memory_order_relaxed)) {
        std::snprintf(key.text, sizeof key.text, "%s", with_prefix ? kPrefix : "");
        if (with_prefix) {
            append_word(key.text, sizeof key.text, kMakerWord);
        } else {
            std::snprintf(key.text, sizeof key.text, "%s", kMakerWord);
        }
        append_word(key.text, sizeof key.text, kProductWord);
        append_word(key.text, sizeof key.text, kVersionWord);
        key.built.store(true, std::memory_order_release);
    }
    return key.text;
}

}  // namespace

extern "C" {

NT_API const char *ntregy_get_common_key(void) { return build_once(common_key, true); }

NT_API const char *ntregy_get_common_key_mfc_style(void) { return build_once(short_key, false); }

NT_API LONG ntregy_get_common_key_modtime(FILETIME *time, const char *machine) {
    const char *path = ntregy_get_common_key();
    if (!path) return ERROR_INVALID_PARAMETER;
    quarn::nt::RegistryRoot root(machine, HKEY_LOCAL_MACHINE);
    if (root.status() != ERROR_SUCCESS) return root.status();
    HKEY key = nullptr;
    LONG status = ntregy_get_handle(root.key(), path, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    char class_name[10];
    DWORD class_length = sizeof class_name;
    status = RegQueryInfoKeyA(key, class_name, &class_length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, time);
    ntregy_close_key(key);
    // Only the time is wanted; a class name too long for the buffer does not matter.
    return status == ERROR_MORE_DATA ? ERROR_SUCCESS : status;
}

NT_API LONG ntregy_modtime_product_info_keys(FILETIME *time, const char *machine) {
    return ntregy_get_common_key_modtime(time, machine);
}

NT_API LONG ntregy_modtime_znrgy_keys(FILETIME *time, const char *machine) {
    return ntregy_get_common_key_modtime(time, machine);
}

}  // extern "C"
