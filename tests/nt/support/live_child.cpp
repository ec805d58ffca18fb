// Helper program paths and live children for the cross-process suites.
#include "live_child.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace quarn::test {

namespace {
std::vector<std::string> with_program(const char *program, const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}
}  // namespace

std::vector<std::string> object_helper(const std::vector<std::string> &arguments) {
    return with_program(QUARN_OBJECT_HELPER, arguments);
}

std::vector<std::string> shmem_helper(const std::vector<std::string> &arguments) {
    return with_program(QUARN_SHMEM_HELPER, arguments);
}

LiveChild::LiveChild(const std::vector<std::string> &argv,
                     const std::map<std::string, std::optional<std::string>> &environment) {
    int out[2];
    if (pipe2(out, O_CLOEXEC)) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(out[1], 1);
        for (const auto &[name, value] : environment) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
        std::vector<char *> args;
        for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    out_ = out[0];
}

LiveChild::~LiveChild() {
    kill9();
    if (out_ >= 0) close(out_);
}

std::string LiveChild::read_line() {
    std::string line;
    char c;
    while (read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

void LiveChild::kill9() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace quarn::test
