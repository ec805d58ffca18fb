// nt_getpass through a real pseudo-terminal: no echo, backspace, 8 characters.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

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

}  // namespace
