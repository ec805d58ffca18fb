// Reading a small file whole, as the layer's configuration files are read.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quarn::win32 {

// The file's bytes; nullopt (errno set) when it cannot be opened or read.
// Plain system calls: a C++ stream would first build the standard locale,
// which costs more than a process's whole start-up here.
std::optional<std::string> read_whole_file(const std::filesystem::path &file);

}  // namespace quarn::win32
