// The hash and key-compare functions for integer, string and SID keys.
#include <cstdint>
#include <cstring>

#include "phash.h"
#include "win32.h"

extern "C" NT_API unsigned int phash_int_hash_fn(const void *key) {
    uint32_t value;
    std::memcpy(&value, key, sizeof value);
    return value;
}

// h = h + ((h << 7) ^ c) over the bytes, each taken as a signed char.
extern "C" NT_API unsigned int phash_str_hash_fn(const void *key) {
    uint32_t h = 0;
    for (const signed char *p = static_cast<const signed char *>(key); *p; ++p)
        h += (h << 7) ^ static_cast<uint32_t>(static_cast<int32_t>(*p));
    return h;
}

// The sum of the sub-authorities; revision and authority take no part.
extern "C" NT_API unsigned int phash_sid_hash_fn(const void *key) {
    const auto *bytes = static_cast<const unsigned char *>(key);
    unsigned count = bytes[1] <= SID_MAX_SUB_AUTHORITIES ? bytes[1] : SID_MAX_SUB_AUTHORITIES;
    uint32_t sum = 0;
    for (unsigned i = 0; i < count; ++i) {
        uint32_t sub;
        std::memcpy(&sub, bytes + 8 + 4 * i, sizeof sub);
        sum += sub;
    }
    return sum;
}

extern "C" NT_API int phash_int_keycmp_fn(const void *lookup_key, const void *stored_key) {
    return std::memcmp(lookup_key, stored_key, sizeof(uint32_t)) == 0;
}

extern "C" NT_API int phash_str_keycmp_fn(const void *lookup_key, const void *stored_key) {
    return std::strcmp(static_cast<const char *>(lookup_key), static_cast<const char *>(stored_key)) == 0;
}

extern "C" NT_API int phash_sid_keycmp_fn(const void *lookup_key, const void *stored_key) {
    return EqualSid(const_cast<void *>(lookup_key), const_cast<void *>(stored_key)) ? 1 : 0;
}
