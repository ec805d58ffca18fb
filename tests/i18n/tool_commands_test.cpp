// quarn mime encode and quarn charset through the built tool: standard input
// to standard output, the report on standard error, and the exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    std::string out;
    std::string err;
    int status = -1;
};

std::string slurp(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class ToolCommands : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("i18n_tool_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs `quarn ARGS` with `input` on standard input, in a prefix of its own.
    ToolRun run(const std::string &args, const std::string &input = "") {
        std::ofstream(m_dir / "in", std::ios::binary) << input;
        std::string command = "QUARN_PREFIX='" + (m_dir / "prefix").string() + "' '" QUARN_TOOL "' " + args + " <'" +
                              (m_dir / "in").string() + "' >'" + (m_dir / "out").string() + "' 2>'" +
                              (m_dir / "err").string() + "'";
        int status = std::system(command.c_str());
        ToolRun result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = slurp(m_dir / "out");
        result.err = slurp(m_dir / "err");
        return result;
    }

private:
    fs::path m_dir;
};

TEST_F(ToolCommands, EncodesWithTheGivenForm) {
    struct Row {
        const char *args;
        std::string input;
        const char *out;
    };
    const Row rows[] = {
        {"mime encode --qp --from ISO-8859-1 --to UTF-8", "caf\xe9\n", "caf=C3=A9\n"},
        {"mime encode --b64 --from UTF-8 --to UTF-8", "abc", "YWJj\n"},
        {"mime encode --header --b64 --from UTF-8 --to UTF-8", "abc\r\n", "=?UTF-8?B?YWJj?=\n"},
        {"mime encode --header --qp --from UTF-8", "a_b?", "=?UTF-8?Q?a=5Fb=3F?=\n"},
        {"mime encode --from UTF-8 --to UTF-8", "plain", "plain\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args);
        ToolRun result = run(row.args, row.input);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(ToolCommands, RatioReportsTheChoiceOnStandardError) {
    ToolRun qp = run("mime encode --ratio 0.5 --from UTF-8 --to UTF-8", "a=b=cdefgh");
    EXPECT_EQ(qp.status, 0);
    EXPECT_EQ(qp.out, "a=3Db=3Dcdefgh\n");
    EXPECT_EQ(qp.err, "encoding: Quoted Printable\ntarget: UTF-8\n");
    ToolRun b64 = run("mime encode --header --ratio 0.5 --from UTF-8 --to UTF-8", "a b c ");
    EXPECT_EQ(b64.out, "=?UTF-8?B?YSBiIGMg?=\n");
    EXPECT_EQ(b64.err, "encoding: Base64\ntarget: UTF-8\n");
    // Without --to, Shift_JIS bodies go out in the body table's ISO-2022-JP.
    ToolRun japanese = run("mime encode --ratio 0.1 --from Shift_JIS", "\x82\xa0");
    EXPECT_EQ(japanese.out, "GyRCJCIbKEI=\n");
    EXPECT_EQ(japanese.err, "encoding: Base64\ntarget: ISO-2022-JP\n");
}

TEST_F(ToolCommands, ErrorsGoToStandardErrorWithANonZeroExit) {
    struct Row {
        const char *args;
        std::string input;
        int status;
        const char *err;
    };
    const Row rows[] = {
        {"mime encode --from bogus-cs", "x", 2, "quarn: unknown charset: bogus-cs\n"},
        {"mime encode --from UTF-8 --to nope", "x", 2, "quarn: unknown charset: nope\n"},
        {"mime encode --qp --from UTF-8 --to ISO-8859-1", "a\xe2\x82\xac", 1,
         "quarn: cannot convert from UTF-8 to ISO-8859-1 near byte 0: a character has no mapping in ISO-8859-1\n"},
        {"mime encode --b64 --from UTF-8 --to UTF-16LE", "ab\xff", 1,
         "quarn: cannot convert from UTF-8 to UTF-16LE near byte 3: the text is not valid UTF-8\n"},
        {"charset name no-such-charset", "", 1, "quarn: unknown charset: no-such-charset\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args);
        ToolRun result = run(row.args, row.input);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, row.err);
    }
    ToolRun both = run("mime encode --qp --b64", "x");
    EXPECT_NE(both.status, 0);
    EXPECT_NE(both.err, "");
    ToolRun nul = run("mime encode --from UTF-8", std::string("a\0b", 3));
    EXPECT_EQ(nul.status, 1);
    EXPECT_EQ(nul.err, "quarn: the text on standard input holds a NUL byte\n");
}

TEST_F(ToolCommands, CharsetNameAndList) {
    ToolRun utf8 = run("charset name utf8");
    EXPECT_EQ(utf8.status, 0);
    EXPECT_EQ(utf8.out, "name: UTF-8\nnormalised: utf8\nbody target: -\nheader target: -\n");
    ToolRun sjis = run("charset name sjis");
    EXPECT_EQ(sjis.out, "name: Shift_JIS\nnormalised: sjis\nbody target: ISO-2022-JP\nheader target: UTF-8\n");
    ToolRun list = run("charset list");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(("\n" + list.out).find("\nUTF-8\tUTF-8\n"), std::string::npos);
    EXPECT_NE(list.out.find("\nISO-8859-1\tISO-8859-1\n"), std::string::npos);
    EXPECT_GT(std::count(list.out.begin(), list.out.end(), '\n'), 100);
}

TEST_F(ToolCommands, HelpNamesTheOptions) {
    ToolRun help = run("mime encode --help");
    EXPECT_EQ(help.status, 0);
    for (const char *option : {"--header", "--qp", "--b64", "--ratio", "--from", "--to"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_EQ(run("charset --help").status, 0);
}

}  // namespace
