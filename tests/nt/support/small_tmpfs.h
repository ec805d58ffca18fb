// A small tmpfs mounted over a folder for one test, so that a write can run
// out of space for real; unmounted at the end.  Mounting needs root (CI runs
// as root); where it is refused the test skips and says why.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace quarn::test {

class SmallTmpfs {
public:
    SmallTmpfs(std::filesystem::path where, size_t bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool mounted() const { return refusal_.empty(); }
    // Why the mount was refused.
    const std::string &refusal() const { return refusal_; }
    // Takes every byte still free with a file of its own.
    void fill() const;

private:
    std::filesystem::path where_;
    std::string refusal_;
};

}  // namespace quarn::test
