// nt_dump_cache: the four identity name caches on standard output, one line
// per entry, in the order private names, global names, uids, group map.
#include <cstdio>
#include <cstring>

#include "frame/frame.h"
#include "identity/identity_caches.h"
#include "nt.h"

namespace {

constexpr size_t kSidTextSize = 100;

enum class Shape { name_to_sid, sid_to_uid, sid_to_sid };

struct Cache {
    const char *title;
    phash_table *table;
    Shape shape;
};

// One entry's line; an unprintable SID shows as an empty text.
void print_entry(Shape shape, const BYTE *key, const BYTE *value) {
    char key_text[kSidTextSize] = "", value_text[kSidTextSize] = "";
    switch (shape) {
    case Shape::name_to_sid:
        nt_sid_to_str(const_cast<BYTE *>(value), value_text, sizeof value_text);
        std::printf("    %s -> %s\n", reinterpret_cast<const char *>(key), value_text);
        break;
    case Shape::sid_to_uid: {
        nt_sid_to_str(const_cast<BYTE *>(key), key_text, sizeof key_text);
        DWORD uid = 0;
        std::memcpy(&uid, value, sizeof uid);
        std::printf("    %s -> %d (0x%x)\n", key_text, static_cast<int>(uid), uid);
        break;
    }
    case Shape::sid_to_sid:
        nt_sid_to_str(const_cast<BYTE *>(key), key_text, sizeof key_text);
        nt_sid_to_str(const_cast<BYTE *>(value), value_text, sizeof value_text);
        std::printf("    %s -> %s\n", key_text, value_text);
        break;
    }
}

// Prints every entry; false when there was none.
bool print_entries(const Cache &cache) {
    if (!cache.table) return false;
    BYTE key[kQualifiedNameSize + 1] = {}, value[kSidSize] = {};
    unsigned int *cursor = nullptr;
    bool any = false;
    while (phash_next(cache.table, &cursor, key, kQualifiedNameSize, value, sizeof value)) {
        key[kQualifiedNameSize] = '\0';  // a name key always ends in the printable text
        print_entry(cache.shape, key, value);
        any = true;
    }
    phash_term_scan(&cursor);
    return any;
}

}  // namespace

extern "C" NT_API void nt_dump_cache(void) {
    const Cache caches[] = {
        {"Account name->Sid", nt_private_account_sid_cache, Shape::name_to_sid},
        {"Account name->Sid", nt_global_account_sid_cache, Shape::name_to_sid},
        {"Sid->Uid", nt_sid_uid_cache, Shape::sid_to_uid},
        {"Domain group SID map", nt_domain_group_sid_cache, Shape::sid_to_sid},
    };
    constexpr size_t last = sizeof caches / sizeof caches[0] - 1;
    std::printf("%s\n", caches[0].title);
    bool last_empty = false;
    {
        NtLibraryLock lock;
        for (size_t i = 0; i <= last; ++i) {
            if (i) std::printf("%s\n", caches[i].title);
            bool any = print_entries(caches[i]);
            if (i == last) {
                last_empty = !any;
                break;
            }
            if (!any) std::printf("    Empty\n");
            std::printf("\n");
        }
    }
    if (last_empty) std::printf("    Empty\n");
}
