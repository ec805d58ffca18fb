// in_child: fork, run, send the answer back through a pipe.
#include "forked_child.h"

#include <sys/wait.h>
#include <unistd.h>

namespace quarn::test {

std::string in_child(const std::function<std::string()> &body) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return "<pipe>";
    pid_t pid = fork();
    if (pid == 0) {
        close(pipe_ends[0]);
        std::string answer = body();
        for (size_t done = 0; done < answer.size();) {
            ssize_t n = write(pipe_ends[1], answer.data() + done, answer.size() - done);
            if (n <= 0) _exit(3);
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(pipe_ends[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    close(pipe_ends[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return "<signal " + std::to_string(WTERMSIG(status)) + ">";
    if (WEXITSTATUS(status) != 0) return "<exit " + std::to_string(WEXITSTATUS(status)) + ">";
    return answer;
}

}  // namespace quarn::test
