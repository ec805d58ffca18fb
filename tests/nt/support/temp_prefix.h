// A throwaway prefix directory, removed with everything in it at the end,
// and with the named objects its machine left in /dev/shm.
#pragma once

#include <filesystem>
#include <string>

namespace quarn::test {

class TempPrefix {
public:
    TempPrefix();
    ~TempPrefix();
    TempPrefix(const TempPrefix &) = delete;
    TempPrefix &operator=(const TempPrefix &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // Writes `text` to `relative` inside the prefix.
    void write(const std::string &relative, const std::string &text) const;

private:
    std::filesystem::path path_;
};

// The prefix of this test process (QUARN_PREFIX), made by the test main.
const TempPrefix &process_prefix();

// Reads a whole file.
std::string read_file(const std::filesystem::path &file);

}  // namespace quarn::test
