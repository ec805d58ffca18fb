// What the area and table suites share: a host-data directory for the
// test's machine and the area files' paths.
#pragma once

#include <filesystem>
#include <string>

namespace quarn::test {

// Points HostData at <prefix>/hostdata (with its var/cache directory) and
// returns that directory.
std::filesystem::path use_host_data();

// The global area's file, and the calling user's private one.
std::filesystem::path global_area_file();
std::filesystem::path private_area_file();

}  // namespace quarn::test
