// Key paths as quarn reg and .reg files take them.
#include <gtest/gtest.h>

#include "reg_path.h"

namespace quarn::tool {
namespace {

struct PathRow {
    const char *label;
    const char *text;
    bool valid;
    RegPath expected;
};

TEST(RegPath, ParsesRootsMachinesAndSubkeys) {
    const PathRow rows[] = {
        {"short root", "HKLM", true, {"", RegRoot::local_machine, ""}},
        {"long root", "HKEY_CURRENT_USER", true, {"", RegRoot::current_user, ""}},
        {"root in any case", "hkey_Local_Machine\\Software", true, {"", RegRoot::local_machine, "Software"}},
        {"short root lower case", "hkcu\\a\\b", true, {"", RegRoot::current_user, "a\\b"}},
        {"one trailing backslash", "HKLM\\Software\\", true, {"", RegRoot::local_machine, "Software"}},
        {"root with a backslash", "HKLM\\", true, {"", RegRoot::local_machine, ""}},
        {"other machine", "\\\\OTHER\\HKLM\\Software\\X", true, {"OTHER", RegRoot::local_machine, "Software\\X"}},
        {"other machine root", "\\\\other\\HKEY_LOCAL_MACHINE", true, {"other", RegRoot::local_machine, ""}},
        {"spaces and slashes are names", "HKCU\\My Key/2", true, {"", RegRoot::current_user, "My Key/2"}},
        {"unknown root", "HKCR\\x", false, {}},
        {"root prefix only", "HKL\\x", false, {}},
        {"longer root name", "HKLMX\\x", false, {}},
        {"empty", "", false, {}},
        {"empty name inside", "HKLM\\a\\\\b", false, {}},
        {"two trailing backslashes", "HKLM\\a\\\\", false, {}},
        {"leading backslash", "\\HKLM\\a", false, {}},
        {"machine without root", "\\\\OTHER", false, {}},
        {"empty machine", "\\\\\\HKLM\\a", false, {}},
        {"current user of another machine", "\\\\OTHER\\HKCU\\a", false, {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        auto path = parse_reg_path(row.text);
        ASSERT_EQ(path.has_value(), row.valid);
        if (row.valid) {
            EXPECT_EQ(*path, row.expected);
        }
    }
}

TEST(RegPath, PrintsLongRootNames) {
    EXPECT_EQ(reg_path_text({"", RegRoot::current_user, "a\\b"}), "HKEY_CURRENT_USER\\a\\b");
    EXPECT_EQ(reg_path_text({"M", RegRoot::local_machine, ""}), "\\\\M\\HKEY_LOCAL_MACHINE");
    EXPECT_EQ(reg_key_text(RegRoot::local_machine, "x"), "HKEY_LOCAL_MACHINE\\x");
    EXPECT_EQ(reg_key_text(RegRoot::local_machine, ""), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(child_subkey("", "a"), "a");
    EXPECT_EQ(child_subkey("a\\b", "c"), "a\\b\\c");
}

TEST(RegPath, PrintedPathsParseBack) {
    const RegPath paths[] = {{"", RegRoot::local_machine, ""}, {"", RegRoot::current_user, "Software\\X y"},
                             {"FAR", RegRoot::local_machine, "a\\b\\c"}};
    for (const auto &path : paths) {
        SCOPED_TRACE(reg_path_text(path));
        EXPECT_EQ(parse_reg_path(reg_path_text(path)), path);
    }
}

}  // namespace
}  // namespace quarn::tool
