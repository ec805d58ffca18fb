// Runs this benchmark program again in a fresh process and reads its output.
#include "child_run.h"

#include <sys/wait.h>
#include <unistd.h>

std::string run_self_in_role(const char *program, const char *role) {
    int out[2];
    if (pipe(out)) return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        execl("/proc/self/exe", program, role, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char chunk[256];
    for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(got));
    close(out[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return text;
}
