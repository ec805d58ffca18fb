// What the area and table suites share: a host-data directory for the
// test's machine, the area files' paths, reading their fields, and
// capturing what the library prints.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "ntwintypes.h"

namespace quarn::test {

// Points HostData at <prefix>/hostdata (with its var/cache directory) and
// returns that directory.
std::filesystem::path use_host_data();

// The global area's file, and the calling user's private one.
std::filesystem::path global_area_file();
std::filesystem::path private_area_file();

// A little-endian field of `bytes` at `offset`.
template <typename T>
T field_at(const std::string &bytes, size_t offset) {
    T value{};
    if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}
// Overwrites `size` bytes of a file at `offset`.
void patch_file(const std::filesystem::path &file, size_t offset, const void *data, size_t size);

// Seconds since 1970 at which this machine started.
int64_t machine_start_time();

// A UUID that differs from its neighbours in its first group only (the
// helper program makes the same ones).
GUID test_uuid(unsigned n);

// Sets ShmemTotalAreaSize (setting 45).
void set_area_capacity(DWORD capacity);

}  // namespace quarn::test
