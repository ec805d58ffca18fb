// Helper programs for the cross-process suites, and a child process that
// stays running until it is killed, read a line at a time.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quarn::test {

// The object_helper program (Win32 named objects) with `arguments`.
std::vector<std::string> object_helper(const std::vector<std::string> &arguments);
// The shmem_helper program (areas and tables) with `arguments`.
std::vector<std::string> shmem_helper(const std::vector<std::string> &arguments);

class LiveChild {
public:
    explicit LiveChild(const std::vector<std::string> &argv,
                       const std::map<std::string, std::optional<std::string>> &environment = {});
    ~LiveChild();
    LiveChild(const LiveChild &) = delete;
    LiveChild &operator=(const LiveChild &) = delete;

    // The next line without its line feed; empty at the end of the output.
    std::string read_line();
    // SIGKILL, then waits for the child.
    void kill9();

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace quarn::test
