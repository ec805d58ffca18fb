// nt_get_my_homedir when the user has no profile folder
// (tests/machines/token_override.toml: the token's user belongs to a domain
// that nobody describes): HOME, else HOMEDRIVE with HOMEPATH or "\".
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nt.h"
#include "shell.h"

namespace {

constexpr char kPoison = static_cast<char>(0xCC);
constexpr const char *kVariables[] = {"HOME", "HOMEDRIVE", "HOMEPATH"};

class HomeFallback : public testing::Test {
protected:
    void SetUp() override {
        char profile[MAX_PATH + 1];
        ASSERT_NE(SHGetFolderPathA(nullptr, CSIDL_PROFILE | CSIDL_FLAG_CREATE, nullptr, 0, profile), S_OK);
        for (const char *name : kVariables) {
            const char *value = getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }
    // The answer for a buffer of `size` bytes, checked for its guard bytes.
    static std::string home(size_t size) {
        std::string buffer(size + 4, kPoison);
        char *answer = nt_get_my_homedir(buffer.data(), size);
        EXPECT_EQ(buffer.substr(size), std::string(4, kPoison));
        return answer ? answer : "<null>";
    }
    std::vector<std::pair<const char *, std::optional<std::string>>> saved_;
};

TEST_F(HomeFallback, TheVariablesInTurn) {
    struct Case {
        const char *home, *drive, *path, *result;
    } cases[] = {
        {"/home/u", "D:", "\\users\\u", "/home/u"},
        {nullptr, "D:", "\\users\\u", "D:\\users\\u"},
        {nullptr, "D:", nullptr, "D:\\"},
        {nullptr, nullptr, "\\users\\u", "<null>"},
        {nullptr, nullptr, nullptr, "<null>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.result);
        for (auto [name, value] : {std::pair{"HOME", c.home}, {"HOMEDRIVE", c.drive}, {"HOMEPATH", c.path}}) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
        EXPECT_EQ(home(MAX_PATH + 1), c.result);
        EXPECT_EQ(home(MAX_PATH), "<null>") << "too small a buffer";
    }
}

TEST_F(HomeFallback, LongVariablesAreCutToTheBuffer) {
    std::string drive(200, 'd'), path(200, 'p');
    setenv("HOMEDRIVE", drive.c_str(), 1);
    setenv("HOMEPATH", path.c_str(), 1);
    EXPECT_EQ(home(MAX_PATH + 1), drive + path.substr(0, MAX_PATH - drive.size()));
    std::string long_home(400, 'h');
    setenv("HOME", long_home.c_str(), 1);
    EXPECT_EQ(home(MAX_PATH + 1), long_home.substr(0, MAX_PATH));
}

}  // namespace
