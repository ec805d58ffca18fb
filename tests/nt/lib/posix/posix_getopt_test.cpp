// nt_getopt over labelled argument vectors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ntposix.h"

namespace {

struct Step {
    int result;
    const char *optarg;  // nullptr: not checked
};

struct Case {
    const char *label;
    std::vector<const char *> argv;
    const char *letters;
    std::vector<Step> steps;
    int final_optind;
    const char *diagnostics;
};

TEST(Getopt, ArgumentVectors) {
    const Case cases[] = {
        {"separate and joined", {"prog", "-a", "-bval", "x"}, "ab:", {{'a', nullptr}, {'b', "val"}, {-1, nullptr}}, 3, ""},
        {"group then argument", {"prog", "-ab", "value"}, "ab:", {{'a', nullptr}, {'b', "value"}, {-1, nullptr}}, 3, ""},
        {"missing argument", {"prog", "-b"}, "ab:", {{'?', nullptr}, {-1, nullptr}}, 2,
         "prog: option requires an argument -- b\n"},
        {"illegal option", {"prog", "-z"}, "ab:", {{'?', nullptr}, {-1, nullptr}}, 2, "prog: illegal option -- z\n"},
        {"double dash", {"prog", "--", "-a"}, "ab:", {{-1, nullptr}}, 2, ""},
        {"lone dash", {"prog", "-", "x"}, "ab:", {{-1, nullptr}}, 1, ""},
        {"forward slashes are cut", {"/usr/bin/prog", "-z"}, "a", {{'?', nullptr}}, 2, "prog: illegal option -- z\n"},
        {"backslashes are kept", {"C:\\bin\\prog", "-z"}, "a", {{'?', nullptr}}, 2,
         "C:\\bin\\prog: illegal option -- z\n"},
        {"colon is never an option", {"prog", "-:"}, "a:", {{'?', nullptr}}, 2, "prog: illegal option -- :\n"},
        {"leading colon has no meaning", {"prog", "-b"}, ":b:", {{'?', nullptr}}, 2,
         "prog: option requires an argument -- b\n"},
        {"operands stop the scan", {"prog", "x", "-a"}, "a", {{-1, nullptr}}, 1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        nt_optind = 1;
        std::vector<char *> argv;
        for (const char *a : c.argv) argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        for (const auto &step : c.steps) {
            EXPECT_EQ(nt_getopt(static_cast<int>(c.argv.size()), argv.data(), c.letters), step.result);
            if (step.optarg) {
                EXPECT_STREQ(nt_optarg, step.optarg);
            }
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.diagnostics);
        EXPECT_EQ(nt_optind, c.final_optind);
    }
}

TEST(Getopt, OpterrZeroSilencesDiagnostics) {
    nt_optind = 1;
    nt_opterr = 0;
    const char *args[] = {"prog", "-z", nullptr};
    testing::internal::CaptureStderr();
    EXPECT_EQ(nt_getopt(2, const_cast<char **>(args), "a"), '?');
    EXPECT_EQ(nt_optopt, 'z');
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    nt_opterr = 1;
}

}  // namespace
