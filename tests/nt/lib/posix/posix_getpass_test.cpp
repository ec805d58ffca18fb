// nt_getpass through a real pseudo-terminal: no echo, backspace, 8
// characters, and signals at the prompt that find the terminal as it was.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

// Reads from the terminal's master side until `until` appears or 5 s pass.
std::string read_until(int master, const std::string &until) {
    std::string seen;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen;
}

// Runs the probe's getpass on a new terminal, types `keys` after the prompt,
// and returns everything the terminal showed.
std::string type_password(const std::string &keys) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execl(QUARN_PROBE, QUARN_PROBE, "getpass", "Password: ", static_cast<char *>(nullptr));
        _exit(127);
    }
    EXPECT_GT(pid, 0);
    std::string shown = read_until(master, "Password: ");
    EXPECT_NE(shown.find("Password: "), std::string::npos);
    usleep(50000);  // let the probe switch the terminal off echo
    (void)!write(master, keys.data(), keys.size());
    shown += read_until(master, "]");
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return shown;
}

TEST(Getpass, KeepsTheFirstEightCharactersWithoutEcho) {
    std::string shown = type_password("abcdefghijkl\r");
    EXPECT_NE(shown.find("[abcdefgh]"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("ijkl"), std::string::npos) << "the password was echoed: " << shown;
}

TEST(Getpass, BackspaceRemovesTheLastCharacter) {
    std::string erase(1, '\x7f');  // the terminal's default erase character
    std::string shown = type_password("ab" + erase + "c\r");
    EXPECT_NE(shown.find("[ac]"), std::string::npos) << shown;
    shown = type_password(erase + erase + "x\n");
    EXPECT_NE(shown.find("[x]"), std::string::npos) << shown;
}

// The probe's getpass as a shell's foreground job on a new terminal: in a
// process group of its own under a waiting session leader, so that Ctrl+Z
// stops it.  The leader exits with the job's code, or 128 + its signal.
class PromptJob {
public:
    PromptJob() {
        leader_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (leader_ == 0) {
            pid_t job = fork();
            if (job == 0) {
                setpgid(0, 0);
                rlimit no_core{0, 0};  // a quit leaves no core file behind
                setrlimit(RLIMIT_CORE, &no_core);
                signal(SIGTTOU, SIG_IGN);
                tcsetpgrp(STDIN_FILENO, getpgrp());
                signal(SIGTTOU, SIG_DFL);
                execl(QUARN_PROBE, QUARN_PROBE, "getpass", "Password: ", static_cast<char *>(nullptr));
                _exit(127);
            }
            setpgid(job, job);
            int status = 0;
            while (waitpid(job, &status, 0) < 0 && errno == EINTR) {
            }
            _exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
        }
        slave_ = ptsname(master_);
        shown_ = read_until(master_, "Password: ");
    }
    ~PromptJob() { close(master_); }

    void type(const std::string &keys) const { (void)!write(master_, keys.data(), keys.size()); }
    std::string read(const std::string &until) { return shown_ += read_until(master_, until); }
    // The job's process group, the terminal's foreground.
    pid_t job() const { return tcgetpgrp(master_); }
    // Waits up to 5 s for the terminal's echo to be `on`.
    bool echo_becomes(bool on) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            int fd = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            termios mode{};
            bool echoes = fd >= 0 && tcgetattr(fd, &mode) == 0 && (mode.c_lflag & ECHO) && (mode.c_lflag & ICANON);
            if (fd >= 0) close(fd);
            if (echoes == on) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    int finish() const {
        int status = 0;
        waitpid(leader_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    int master_ = -1;
    pid_t leader_ = -1;
    std::string slave_;
    std::string shown_;
};

TEST(Getpass, ASignalThatEndsThePromptFindsTheTerminalAsItWas) {
    struct Row {
        const char *what;
        int signal;
        const char *key;  // typed to raise it, or null to send it
    } rows[] = {{"Ctrl+C", SIGINT, "\x03"}, {"Ctrl+\\", SIGQUIT, "\x1c"}, {"SIGTERM", SIGTERM, nullptr}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        PromptJob prompt;
        ASSERT_TRUE(prompt.echo_becomes(false));
        prompt.type("ab");
        if (row.key)
            prompt.type(row.key);
        else
            kill(-prompt.job(), row.signal);
        EXPECT_EQ(prompt.finish(), 128 + row.signal);
        EXPECT_TRUE(prompt.echo_becomes(true));
    }
}

TEST(Getpass, AStopAtThePromptGivesTheTerminalBackAndTakesItAgain) {
    PromptJob prompt;
    ASSERT_TRUE(prompt.echo_becomes(false));
    prompt.type("\x1a");  // Ctrl+Z
    EXPECT_TRUE(prompt.echo_becomes(true));
    kill(-prompt.job(), SIGCONT);
    EXPECT_TRUE(prompt.echo_becomes(false));
    prompt.type("secret\r");
    std::string shown = prompt.read("]");
    EXPECT_NE(shown.find("[secret]"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("secret"), shown.find("[secret]") + 1) << "the password was echoed: " << shown;
    EXPECT_EQ(prompt.finish(), 0);
}

}  // namespace
