// Throwaway prefixes for tests.
#include "temp_prefix.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ntdll/object_namespace.h"

namespace quarn::test {

TempPrefix::TempPrefix() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarn-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempPrefix::~TempPrefix() {
    // The named objects of processes that were killed stay in /dev/shm; the
    // prefix's machine is gone with the prefix, and so are they.
    quarn::win32::remove_namespace_files(path_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempPrefix::write(const std::string &relative, const std::string &text) const {
    auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string read_file(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace quarn::test
