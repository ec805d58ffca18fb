// fork/exec with pipes for the three standard streams.
#include "child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace quarn::test {
namespace {

ChildResult run(std::optional<unsigned> uid, const std::vector<std::string> &argv,
                const std::map<std::string, std::optional<std::string>> &environment, const std::string &input) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (const auto &[name, value] : environment) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        if (uid && (setgroups(0, nullptr) != 0 || setresgid(*uid, *uid, *uid) != 0 ||
                    setresuid(*uid, *uid, *uid) != 0))
            _exit(126);
        std::vector<char *> args;
        for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    if (!input.empty()) (void)!write(in[1], input.data(), input.size());
    close(in[1]);
    ChildResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open_streams = 2;
    while (open_streams) {
        poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace

ChildResult run_child(const std::vector<std::string> &argv,
                      const std::map<std::string, std::optional<std::string>> &environment,
                      const std::string &input) {
    return run(std::nullopt, argv, environment, input);
}

std::string other_users_unavailable() {
    return geteuid() == 0 ? std::string() : "needs root to run children as another user";
}

ChildResult run_child_as(unsigned uid, const std::vector<std::string> &argv,
                         const std::map<std::string, std::optional<std::string>> &environment,
                         const std::string &input) {
    return run(uid, argv, environment, input);
}

}  // namespace quarn::test
