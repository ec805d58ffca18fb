// quarn reg query, add and delete through the built tool: reg.exe's output,
// messages, prompts and exit codes, checked against the registry itself.
#include "reg_tool_support.h"

namespace quarn::test {
namespace {

using RegQuery = RegTool;
using RegAdd = RegTool;
using RegDelete = RegTool;
using RegCommandLine = RegTool;
using RegRemote = RegTool;

TEST_F(RegQuery, PrintsValuesThenSubkeys) {
    reg_ok({"add", "HKCU\\Software\\T", "/v", "s", "/d", "text"});
    reg_ok({"add", "HKCU\\Software\\T", "/v", "n", "/t", "REG_DWORD", "/d", "42"});
    reg_ok({"add", "HKCU\\Software\\T", "/ve", "/d", "default"});
    reg_ok({"add", "HKCU\\Software\\T\\B"});
    reg_ok({"add", "HKCU\\Software\\T\\a"});
    ChildResult result = reg({"query", "HKCU\\Software\\T"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "\nHKEY_CURRENT_USER\\Software\\T\n"
              "    s    REG_SZ    text\n"
              "    n    REG_DWORD    0x2a\n"
              "    (Default)    REG_SZ    default\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\T\\a\n"
              "HKEY_CURRENT_USER\\Software\\T\\B\n"
              "\n");
}

TEST_F(RegQuery, ShowsEveryTypeAsRegExeDoes) {
    struct Row {
        const char *label;
        std::vector<std::string> add;
        const char *line;
    };
    const Row rows[] = {
        {"string", {"/t", "REG_SZ", "/d", "a b"}, "    v    REG_SZ    a b"},
        {"expandable", {"/t", "REG_EXPAND_SZ", "/d", "%PATH%"}, "    v    REG_EXPAND_SZ    %PATH%"},
        {"list", {"/t", "REG_MULTI_SZ", "/d", "x\\0y\\0z"}, "    v    REG_MULTI_SZ    x\\0y\\0z"},
        {"empty list", {"/t", "REG_MULTI_SZ", "/d", ""}, "    v    REG_MULTI_SZ    "},
        {"dword", {"/t", "REG_DWORD", "/d", "0xdeadbeef"}, "    v    REG_DWORD    0xdeadbeef"},
        {"dword zero", {"/t", "REG_DWORD"}, "    v    REG_DWORD    0x0"},
        {"big-endian dword", {"/t", "REG_DWORD_BIG_ENDIAN", "/d", "258"}, "    v    REG_DWORD_BIG_ENDIAN    0x102"},
        {"qword", {"/t", "REG_QWORD", "/d", "0x123456789a"}, "    v    REG_QWORD    0x123456789a"},
        {"binary", {"/t", "REG_BINARY", "/d", "00ff1a"}, "    v    REG_BINARY    00FF1A"},
        {"none", {"/t", "REG_NONE", "/d", "ab"}, "    v    REG_NONE    AB"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string> add{"add", "HKCU\\Q", "/v", "v", "/f"};
        add.insert(add.end(), row.add.begin(), row.add.end());
        reg_ok(add);
        ChildResult result = reg({"query", "HKCU\\Q", "/v", "v"});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(result.out, "\nHKEY_CURRENT_USER\\Q\n" + std::string(row.line) + "\n\n");
    }
}

TEST_F(RegQuery, RecursesWithSlashS) {
    reg_ok({"add", "HKLM\\Software\\R", "/v", "top", "/d", "1"});
    reg_ok({"add", "HKLM\\Software\\R\\Empty\\Deep", "/v", "x", "/t", "REG_BINARY", "/d", "01"});
    ChildResult result = reg({"query", "hklm\\software\\r", "/s"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "\nHKEY_LOCAL_MACHINE\\software\\r\n"
              "    top    REG_SZ    1\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\software\\r\\Empty\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\software\\r\\Empty\\Deep\n"
              "    x    REG_BINARY    01\n"
              "\n");
}

TEST_F(RegQuery, SearchesAValueThroughATree) {
    reg_ok({"add", "HKCU\\S", "/v", "want", "/d", "1"});
    reg_ok({"add", "HKCU\\S\\a", "/v", "other", "/d", "2"});
    reg_ok({"add", "HKCU\\S\\a\\b", "/v", "WANT", "/d", "3"});
    ChildResult result = reg({"query", "HKCU\\S", "/v", "want", "/s"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "\nHKEY_CURRENT_USER\\S\n    want    REG_SZ    1\n"
              "\nHKEY_CURRENT_USER\\S\\a\\b\n    want    REG_SZ    3\n"
              "\nEnd of search: 2 match(es) found.\n");
    result = reg({"query", "HKCU\\S", "/v", "absent", "/s"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "\nEnd of search: 0 match(es) found.\n");
}

TEST_F(RegQuery, DefaultValueAndMissingValues) {
    reg_ok({"add", "HKCU\\D"});
    ChildResult result = reg({"query", "HKCU\\D", "/ve"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "\nHKEY_CURRENT_USER\\D\n    (Default)    REG_SZ    (value not set)\n\n");
    result = reg({"query", "HKCU\\D"});
    EXPECT_EQ(result.out, "\n");  // reg.exe prints no name for a key without values
    for (const auto &args : std::vector<std::vector<std::string>>{{"query", "HKCU\\D", "/v", "nope"},
                                                                 {"query", "HKCU\\NoSuchKey"},
                                                                 {"query", "HKCU\\NoSuchKey", "/ve"}}) {
        SCOPED_TRACE(args.back());
        result = reg(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kNotFound);
    }
}

TEST_F(RegQuery, QueriesTheRootsThemselves) {
    reg_ok({"add", "HKCU\\OnlyChild"});
    ChildResult result = reg({"query", "HKEY_CURRENT_USER"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("\nHKEY_CURRENT_USER\\OnlyChild\n"), std::string::npos) << result.out;
}

TEST_F(RegAdd, StoresTheBytesOfEachType) {
    struct Row {
        const char *label;
        std::vector<std::string> args;
        const char *type_and_bytes;
    };
    const Row rows[] = {
        {"default type", {"/d", "ab"}, "1|616200"},
        {"no data", {}, "1|00"},
        {"expandable", {"/t", "reg_expand_sz", "/d", "%x%"}, "2|25782500"},
        {"binary", {"/t", "REG_BINARY", "/d", "DEADbeef"}, "3|deadbeef"},
        {"empty binary", {"/t", "REG_BINARY"}, "3|"},
        {"decimal dword", {"/t", "REG_DWORD", "/d", "4294967295"}, "4|ffffffff"},
        {"little-endian dword", {"/t", "REG_DWORD_LITTLE_ENDIAN", "/d", "0x0102"}, "4|02010000"},
        {"big-endian dword", {"/t", "REG_DWORD_BIG_ENDIAN", "/d", "0x0102"}, "5|00000102"},
        {"list", {"/t", "REG_MULTI_SZ", "/d", "a\\0bc"}, "7|6100626300" "00"},
        {"list with a trailing separator", {"/t", "REG_MULTI_SZ", "/d", "a\\0"}, "7|610000"},
        {"list with its own separator", {"/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#b"}, "7|6100620000"},
        {"empty list", {"/t", "REG_MULTI_SZ", "/d", ""}, "7|00"},
        {"qword", {"/t", "REG_QWORD", "/d", "18446744073709551615"}, "11|ffffffffffffffff"},
        {"none", {"/t", "REG_NONE", "/d", "01"}, "0|01"},
        {"resource descriptor", {"/t", "REG_FULL_RESOURCE_DESCRIPTOR", "/d", "0a0b"}, "9|0a0b"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string> args{"add", "HKCU\\A", "/v", "v", "/f"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        reg_ok(args);
        EXPECT_EQ(dump("HKCU", "A"), "[A]\nv|" + std::string(row.type_and_bytes) + "\n");
    }
}

TEST_F(RegAdd, RefusesBadDataAndWritesNothing) {
    struct Row {
        const char *label;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {"dword not a number", {"/t", "REG_DWORD", "/d", "abc"}},
        {"dword negative", {"/t", "REG_DWORD", "/d", "-1"}},
        {"dword too large", {"/t", "REG_DWORD", "/d", "4294967296"}},
        {"dword bare 0x", {"/t", "REG_DWORD", "/d", "0x"}},
        {"dword with blanks", {"/t", "REG_DWORD", "/d", " 1"}},
        {"qword too large", {"/t", "REG_QWORD", "/d", "18446744073709551616"}},
        {"binary of odd length", {"/t", "REG_BINARY", "/d", "abc"}},
        {"binary not hex", {"/t", "REG_BINARY", "/d", "zz"}},
        {"binary with a sign", {"/t", "REG_BINARY", "/d", "+1"}},
        {"unknown type", {"/t", "REG_WORD", "/d", "1"}},
        {"link type", {"/t", "REG_LINK", "/d", "x"}},
        {"empty string inside a list", {"/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}},
        {"separator for a string", {"/s", "#", "/d", "a"}},
        {"separator of two characters", {"/t", "REG_MULTI_SZ", "/s", "##", "/d", "a"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string> args{"add", "HKCU\\Bad", "/v", "v", "/f"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        ChildResult result = reg(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_TRUE(result.err.starts_with("ERROR: Invalid syntax.")) << result.err;
        EXPECT_NE(result.err.find("Type \"quarn reg add --help\" for usage."), std::string::npos) << result.err;
        EXPECT_EQ(dump("HKCU", "Bad"), "missing");
    }
}

TEST_F(RegAdd, CreatesMissingKeysAndKeepsExistingOnes) {
    reg_ok({"add", "HKCU\\One\\Two\\Three"});
    reg_ok({"add", "HKCU\\One", "/v", "x", "/d", "1"});
    reg_ok({"add", "HKCU\\one\\TWO"});
    EXPECT_EQ(dump("HKCU", "One"), "[One]\nx|1|3100\n[One\\Two]\n[One\\Two\\Three]\n");
}

TEST_F(RegAdd, AsksBeforeOverwriting) {
    reg_ok({"add", "HKCU\\O", "/v", "v", "/d", "old"});
    reg_ok({"add", "HKCU\\O", "/ve", "/d", "old"});
    const std::string kept = "[O]\nv|1|6f6c6400\n|1|6f6c6400\n";
    struct Row {
        const char *label;
        std::string input;
        bool overwrites;
    };
    const Row rows[] = {
        {"no", "n\n", false},
        {"NO", "NO\n", false},
        {"end of input", "", false},
        {"unclear, then no", "maybe\nno\n", false},
        {"yes", "yes\n", true},
        {"Y with CR LF", "Y\r\n", true},
    };
    for (const auto &row : rows) {
        for (const char *value : {"v", ""}) {
            SCOPED_TRACE(std::string(row.label) + (*value ? " named" : " default"));
            std::vector<std::string> args{"add", "HKCU\\O"};
            if (*value)
                args.insert(args.end(), {"/v", value});
            else
                args.push_back("/ve");
            args.insert(args.end(), {"/d", "new"});
            ChildResult result = reg(args, row.input);
            std::string prompt = std::string("Value ") + (*value ? "v" : "(Default)") + " exists, overwrite(Yes/No)? ";
            EXPECT_TRUE(result.out.starts_with(prompt)) << result.out;
            EXPECT_EQ(result.exit_code, row.overwrites ? 0 : 1);
            if (row.overwrites) {
                EXPECT_TRUE(result.out.ends_with(kSuccess)) << result.out;
            } else {
                EXPECT_TRUE(result.out.ends_with("The operation was canceled by the user.\n")) << result.out;
                EXPECT_EQ(dump("HKCU", "O"), kept);
            }
            reg_ok({"add", "HKCU\\O", "/v", "v", "/d", "old", "/f"});
            reg_ok({"add", "HKCU\\O", "/ve", "/d", "old", "/f"});
        }
    }
    ChildResult result = reg({"add", "HKCU\\O", "/v", "v", "/d", "forced", "/F"});
    EXPECT_EQ(result.out, kSuccess);
    EXPECT_EQ(dump("HKCU", "O"), "[O]\nv|1|666f7263656400\n|1|6f6c6400\n");
}

TEST_F(RegDelete, RemovesAWholeSubtree) {
    reg_ok({"add", "HKCU\\Tree\\a\\b\\c", "/v", "x", "/d", "1"});
    reg_ok({"add", "HKCU\\Tree\\a\\b2"});
    reg_ok({"add", "HKCU\\Tree\\z", "/v", "y", "/d", "1"});
    reg_ok({"add", "HKCU\\Treetop", "/v", "kept", "/d", "1"});
    reg_ok({"delete", "HKCU\\Tree\\a", "/f"});
    EXPECT_EQ(dump("HKCU", "Tree"), "[Tree]\n[Tree\\z]\ny|1|3100\n");
    reg_ok({"delete", "hkcu\\TREE", "/f"});
    EXPECT_EQ(dump("HKCU", "Tree"), "missing");
    EXPECT_EQ(dump("HKCU", "Treetop"), "[Treetop]\nkept|1|3100\n");
}

TEST_F(RegDelete, AsksFirstUnlessForced) {
    reg_ok({"add", "HKCU\\Ask", "/v", "a", "/d", "1"});
    reg_ok({"add", "HKCU\\Ask", "/v", "b", "/d", "2"});
    const std::string all = "[Ask]\na|1|3100\nb|1|3200\n";
    struct Row {
        std::vector<std::string> args;
        std::string prompt;
    };
    const Row rows[] = {
        {{"delete", "HKCU\\Ask"}, "Permanently delete the registry key HKEY_CURRENT_USER\\Ask (Yes/No)? "},
        {{"delete", "HKCU\\Ask", "/v", "a"}, "Delete the registry value a (Yes/No)? "},
        {{"delete", "HKCU\\Ask", "/va"}, "Delete all values under the registry key HKEY_CURRENT_USER\\Ask (Yes/No)? "},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prompt);
        for (const char *answer : {"n\n", ""}) {
            ChildResult result = reg(row.args, answer);
            EXPECT_EQ(result.exit_code, 1);
            EXPECT_TRUE(result.out.starts_with(row.prompt)) << result.out;
            EXPECT_EQ(dump("HKCU", "Ask"), all);
        }
    }
    ChildResult result = reg({"delete", "HKCU\\Ask", "/v", "a"}, "y\n");
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "Delete the registry value a (Yes/No)? " + kSuccess);
    EXPECT_EQ(dump("HKCU", "Ask"), "[Ask]\nb|1|3200\n");
}

TEST_F(RegDelete, RemovesValues) {
    reg_ok({"add", "HKCU\\V\\Sub", "/v", "s", "/d", "1"});
    reg_ok({"add", "HKCU\\V", "/v", "a", "/d", "1"});
    reg_ok({"add", "HKCU\\V", "/v", "b", "/d", "2"});
    reg_ok({"add", "HKCU\\V", "/ve", "/d", "d"});
    reg_ok({"delete", "HKCU\\V", "/v", "A", "/f"});
    EXPECT_EQ(dump("HKCU", "V"), "[V]\nb|1|3200\n|1|6400\n[V\\Sub]\ns|1|3100\n");
    reg_ok({"delete", "HKCU\\V", "/ve", "/f"});
    EXPECT_EQ(dump("HKCU", "V"), "[V]\nb|1|3200\n[V\\Sub]\ns|1|3100\n");
    reg_ok({"add", "HKCU\\V", "/ve", "/d", "d"});
    reg_ok({"delete", "HKCU\\V", "/va", "/f"});
    EXPECT_EQ(dump("HKCU", "V"), "[V]\n[V\\Sub]\ns|1|3100\n");
}

TEST_F(RegDelete, ReportsWhatIsNotThere) {
    reg_ok({"add", "HKCU\\Here"});
    for (const auto &args : std::vector<std::vector<std::string>>{{"delete", "HKCU\\NotHere", "/f"},
                                                                 {"delete", "HKCU\\NotHere", "/va", "/f"},
                                                                 {"delete", "HKCU\\Here", "/v", "x", "/f"},
                                                                 {"delete", "HKCU\\Here", "/ve", "/f"}}) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        ChildResult result = reg(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, kNotFound);
    }
    ChildResult result = reg({"delete", "HKCU", "/f"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(result.err.starts_with("ERROR: Invalid key name.")) << result.err;
    EXPECT_EQ(dump("HKCU", "Here"), "[Here]\n");
}

TEST_F(RegCommandLine, RefusesBadKeyNames) {
    for (const char *key : {"HKCR\\x", "HKXX", "HKCU\\a\\\\b", "\\\\M", "\\\\M\\HKCU\\x", "Software\\x", ""}) {
        for (const char *operation : {"query", "add", "delete", "export"}) {
            SCOPED_TRACE(std::string(operation) + " " + key);
            std::vector<std::string> args{operation, key};
            if (std::string(operation) == "export") args.push_back(path("x.reg"));
            ChildResult result = reg(args);
            EXPECT_EQ(result.exit_code, 1);
            EXPECT_EQ(result.err, "ERROR: Invalid key name.\nType \"quarn reg " + std::string(operation) +
                                      " --help\" for usage.\n");
        }
    }
}

TEST_F(RegCommandLine, RefusesBadSyntax) {
    const std::vector<std::string> rows[] = {
        {"query", "HKCU\\x", "/v", "a", "/ve"},
        {"query", "HKCU\\x", "/v"},
        {"query", "HKCU\\x", "/x"},
        {"query", "HKCU\\x", "/s", "/s"},
        {"query", "HKCU\\x", "extra"},
        {"query"},
        {"add", "HKCU\\x", "/d", "data"},
        {"add", "HKCU\\x", "/t", "REG_SZ"},
        {"delete", "HKCU\\x", "/v", "a", "/va"},
        {"delete", "HKCU\\x", "/ve", "/va"},
        {"export", "HKCU\\x"},
        {"export", "HKCU\\x", "file", "/f"},
        {"import"},
        {"import", "a", "b"},
    };
    for (const auto &args : rows) {
        std::string label;
        for (const auto &arg : args) label += arg + " ";
        SCOPED_TRACE(label);
        ChildResult result = reg(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, "ERROR: Invalid syntax.\nType \"quarn reg " + args[0] + " --help\" for usage.\n");
    }
    for (const auto &args : std::vector<std::vector<std::string>>{{}, {"frobnicate"}}) {
        ChildResult result = reg(args);
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, "ERROR: Invalid syntax.\nType \"quarn reg --help\" for usage.\n");
    }
    EXPECT_EQ(dump("HKCU", "x"), "missing");
}

TEST_F(RegCommandLine, HelpForTheCommandAndEachOperation) {
    struct Row {
        std::vector<std::string> args;
        const char *start;
    };
    const Row rows[] = {
        {{"--help"}, "Operations"},
        {{"/?"}, "Operations"},
        {{"query", "--help"}, "quarn reg query KEY [/v NAME | /ve] [/s]"},
        {{"QUERY", "HKCU\\x", "/?"}, "quarn reg query KEY"},
        {{"add", "/?"}, "quarn reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]"},
        {{"delete", "-h"}, "quarn reg delete KEY [/v NAME | /ve | /va] [/f]"},
        {{"export", "--help"}, "quarn reg export KEY FILE [/y]"},
        {{"import", "--help"}, "quarn reg import FILE"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.start);
        ChildResult result = reg(row.args);
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_NE(result.out.find(row.start), std::string::npos) << result.out;
        EXPECT_EQ(result.err, "");
    }
    // A switch's value is data, not a request for help.
    reg_ok({"add", "HKCU\\H", "/v", "--help", "/d", "/?"});
    EXPECT_EQ(dump("HKCU", "H"), "[H]\n--help|1|2f3f00\n");
}

TEST_F(RegRemote, ReachesAnotherMachinesRegistry) {
    std::filesystem::create_directories(prefix_.path() / "machines" / "FAR");
    reg_ok({"add", "\\\\FAR\\HKLM\\Software\\Remote", "/v", "x", "/d", "far"});
    EXPECT_EQ(dump("HKLM", "Software\\Remote", "\\\\FAR"), "[Software\\Remote]\nx|1|66617200\n");
    EXPECT_EQ(dump("HKLM", "Software\\Remote"), "missing");
    ChildResult result = reg({"query", "\\\\far\\HKEY_LOCAL_MACHINE\\Software\\Remote"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "\n\\\\far\\HKEY_LOCAL_MACHINE\\Software\\Remote\n    x    REG_SZ    far\n\n");
    reg_ok({"delete", "\\\\FAR\\HKLM\\Software\\Remote", "/f"});
    EXPECT_EQ(dump("HKLM", "Software\\Remote", "\\\\FAR"), "missing");
}

TEST_F(RegRemote, UnknownMachineFails) {
    ChildResult result = reg({"query", "\\\\NOWHERE\\HKLM\\Software"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(result.err.starts_with("ERROR: ")) << result.err;
    EXPECT_EQ(result.out, "");
    result = reg({"add", "\\\\NOWHERE\\HKLM\\Software\\X"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_FALSE(std::filesystem::exists(prefix_.path() / "machines" / "NOWHERE"));
}

}  // namespace
}  // namespace quarn::test
