// The byte layout of an area file and its section, shared by every process
// (little-endian, as every host we build for), and the checks a header must
// pass before any of its numbers are trusted.
#pragma once

#include <cstdint>
#include <cstring>

#include "ntwintypes.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the area layout is little-endian");

inline constexpr int32_t kShmemVersion = 3;
inline constexpr int32_t kShmemMaxSubareas = 24;
inline constexpr uint32_t kShmemHeaderSize = 616;
inline constexpr uint32_t kShmemDefaultCapacity = 0x300000;
inline constexpr uint32_t kShmemMaxCapacity = 0x40000000;
inline constexpr char kShmemHeadMagic[4] = {'Z', 'N', 's', 'h'};
inline constexpr char kShmemTailMagic[4] = {'m', 'e', 'm', '2'};

struct shmem_directory_entry {
    GUID uuid;
    uint32_t offset;  // from the start of the file, a multiple of 8
    uint32_t size;    // a multiple of 8
};

struct shmem_header {
    char head_magic[4];
    int32_t version;
    int64_t last_update;  // seconds since 1970
    int32_t max_subareas;
    int32_t subarea_count;
    shmem_directory_entry directory[kShmemMaxSubareas];
    uint32_t total_size;
    uint32_t used;  // offset of the first free byte
    char tail_magic[4];
    uint32_t reserved;
};

static_assert(sizeof(shmem_directory_entry) == 24);
static_assert(offsetof(shmem_header, directory) == 24);
static_assert(offsetof(shmem_header, total_size) == 600);
static_assert(offsetof(shmem_header, tail_magic) == 608);
static_assert(sizeof(shmem_header) == kShmemHeaderSize);

// Magics and version: what marks an area file at all.
inline bool shmem_header_marked(const shmem_header *h) {
    return std::memcmp(h->head_magic, kShmemHeadMagic, 4) == 0 &&
           std::memcmp(h->tail_magic, kShmemTailMagic, 4) == 0 && h->version == kShmemVersion;
}

// A header that may be used by a process that computed `total_size`: marked,
// of this size, and with a directory that lies wholly inside the data region,
// so that no sub-area address can point outside the file.
bool shmem_header_sound(const shmem_header *h, uint32_t total_size);

// "%08X.%04X%04X.%02X%02X.%02X:%02X:%02X:%02X:%02X:%02X" of a UUID; 40 characters.
inline constexpr size_t kShmemUuidTextSize = 41;
void shmem_uuid_text(const GUID *uuid, char (&text)[kShmemUuidTextSize]);
