// Strings, clocks, system queries and environment access.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "child_process.h"
#include "nt.h"
#include "ntposix.h"

namespace {

TEST(Strcasecmp, FoldsAsciiLettersOnly) {
    EXPECT_LT(nt_strcasecmp("ABC", "abd"), 0);
    EXPECT_EQ(nt_strcasecmp("Hello", "hELLO"), 0);
    EXPECT_GT(nt_strcasecmp("abc", "AB"), 0);
    EXPECT_NE(nt_strcasecmp("\xC4", "\xE4"), 0);  // bytes above 127 compare unmapped
    EXPECT_EQ(nt_strcasecmp("[", "{") < 0, true);
    EXPECT_EQ(nt_strncasecmp("abcX", "ABCy", 3), 0);
    EXPECT_LT(nt_strncasecmp("abcX", "ABCy", 4), 0);
    EXPECT_EQ(nt_strncasecmp("ab", "AB", 10), 0);
    EXPECT_EQ(nt_strncasecmp("x", "y", 0), 0);
}

TEST(Gettimeofday, StrictlyIncreasesAndMatchesTheClock) {
    nt_timeval previous{};
    nt_gettimeofday(&previous, nullptr);
    for (int i = 0; i < 10000; ++i) {
        nt_timeval now{};
        nt_gettimeofday(&now, nullptr);
        int64_t a = int64_t(previous.tv_sec) * 1000000 + previous.tv_usec;
        int64_t b = int64_t(now.tv_sec) * 1000000 + now.tv_usec;
        ASSERT_GT(b, a);
        ASSERT_LT(now.tv_usec, 1000000);
        previous = now;
    }
    int64_t seconds = 0;
    EXPECT_EQ(unix_nt_time(&seconds), seconds);
    EXPECT_LE(std::llabs(seconds - static_cast<int64_t>(time(nullptr))), 2);
    EXPECT_EQ(nt_gettimeofday(nullptr, nullptr), 0);
}

TEST(Gettimeofday, TimeZoneFromTheHost) {
    // Each zone in a fresh process: the answer is cached for the minute.
    struct Case {
        const char *tz;
        const char *standard_answer;
        const char *daylight_answer;
    } cases[] = {
        {"UTC0", "0 0\n", "0 0\n"},
        {"IST-5:30", "-330 0\n", "-330 0\n"},
        {"EST5EDT,M3.2.0,M11.1.0", "300 0\n", "300 1\n"},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", "-600 0\n", "-600 1\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tz);
        auto r = quarn::test::run_child({QUARN_PROBE, "timezone"}, {{"TZ", std::string(c.tz)}});
        EXPECT_TRUE(r.out == c.standard_answer || r.out == c.daylight_answer) << r.out;
    }
}

TEST(SystemQueries, FixedAnswers) {
    EXPECT_EQ(nt_sysconf(2), 1000);
    EXPECT_EQ(nt_sysconf(3), 0);
    EXPECT_EQ(nt_sysconf(4), 2147483647);
    EXPECT_EQ(nt_fpathconf(0, 3), 255);
    EXPECT_EQ(nt_fpathconf(0, 4), 0);
    EXPECT_EQ(nt_sbrk(4096), nullptr);
}

TEST(Times, MillisecondsOfTheProcessAndTheMachine) {
    nt_tms t{-1, -1, -1, -1};
    int32_t up = nt_times(&t);
    EXPECT_GT(up, 0);
    EXPECT_GE(t.tms_utime, 0);
    EXPECT_EQ(t.tms_utime, t.tms_cutime);
    EXPECT_EQ(t.tms_stime, t.tms_cstime);
}

TEST(Sleep, ASignalOnTheWayLeavesErrnoAlone) {
    struct sigaction quiet {}, before{};
    quiet.sa_handler = [](int) {};
    ASSERT_EQ(sigaction(SIGUSR1, &quiet, &before), 0);
    pthread_t sleeper = pthread_self();
    std::thread poke([sleeper] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(sleeper, SIGUSR1);
    });
    errno = 0;
    EXPECT_EQ(nt_sleep(1), 0u);
    EXPECT_EQ(errno, 0);
    poke.join();
    sigaction(SIGUSR1, &before, nullptr);
}

TEST(Uname, NtFields) {
    nt_utsname u;
    std::memset(&u, 'x', sizeof u);
    EXPECT_EQ(nt_uname(&u), 0);
    EXPECT_STREQ(u.sysname, "NT");
    EXPECT_STREQ(u.release, "6.1");
    EXPECT_STREQ(u.version, "X");
    EXPECT_GT(std::strlen(u.nodename), 0u);
    EXPECT_LE(std::strlen(u.nodename), 15u);
    EXPECT_STREQ(u.machine, "i386");  // x86-64 is none of the named processors
}

TEST(Environment, GetenvSafeTruncatesAndReportsTheNeededSize) {
    unsetenv("QUARN_TEST_UNSET");
    size_t needed = 99;
    char buffer[8] = "poison";
    EXPECT_EQ(nt_getenv_safe("QUARN_TEST_UNSET", buffer, sizeof buffer, &needed), nullptr);
    EXPECT_EQ(needed, 0u);

    ASSERT_EQ(nt_putenv_safe("QUARN_TEST_VAR=sixchr"), 0);
    char small[4 + 4];
    std::memset(small, 'Z', sizeof small);
    EXPECT_EQ(nt_getenv_safe("QUARN_TEST_VAR", small, 4, &needed), small);
    EXPECT_STREQ(small, "six");
    EXPECT_EQ(small[4], 'Z');
    EXPECT_EQ(needed, 7u);
    EXPECT_EQ(nt_getenv_safe("QUARN_TEST_VAR", nullptr, 0, &needed), nullptr);
    EXPECT_EQ(needed, 7u);

    EXPECT_EQ(nt_putenv_safe("QUARN_TEST_VAR="), 0);
    EXPECT_EQ(getenv("QUARN_TEST_VAR"), nullptr);
    EXPECT_EQ(nt_putenv_safe("no-equals-sign"), -1);
}

}  // namespace
