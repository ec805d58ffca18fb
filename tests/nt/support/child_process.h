// Runs a helper program as a real child process and collects what it printed.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quarn::test {

struct ChildResult {
    int exit_code = -1;   // -1 when killed by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs `argv` with the test's environment, changed by `environment` (a value of
// nullopt removes the variable), and `input` on standard input.
ChildResult run_child(const std::vector<std::string> &argv,
                      const std::map<std::string, std::optional<std::string>> &environment = {},
                      const std::string &input = "");

// The unprivileged user that tests run children as.
constexpr unsigned kNobody = 65534;
// Why children cannot run as another user here (the suite is not root), or empty.
std::string other_users_unavailable();
// As run_child, with the child's uid and gid dropped to `uid` and no other groups.
ChildResult run_child_as(unsigned uid, const std::vector<std::string> &argv,
                         const std::map<std::string, std::optional<std::string>> &environment = {},
                         const std::string &input = "");

}  // namespace quarn::test
