// Runs the built quarn and reg_dump in the test's own prefix.
#include "reg_tool_support.h"

#include "winnls.h"

namespace quarn::test {

void RegTool::SetUp() { ASSERT_EQ(quarn({"setup"}).exit_code, 0); }

ChildResult RegTool::quarn(const std::vector<std::string> &args, const std::string &input) const {
    std::vector<std::string> argv{QUARN_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_child(argv, {{"QUARN_PREFIX", prefix_.path().string()}, {"QUARN_EVENTLOG", path("events.log")}}, input);
}

ChildResult RegTool::reg(std::vector<std::string> args, const std::string &input) const {
    args.insert(args.begin(), "reg");
    return quarn(args, input);
}

void RegTool::reg_ok(const std::vector<std::string> &args) const {
    ChildResult result = reg(args);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "The operation completed successfully.\n");
    EXPECT_EQ(result.err, "");
}

std::string RegTool::dump(const std::string &root, const std::string &subkey, const std::string &machine) const {
    std::vector<std::string> argv{QUARN_REG_DUMP, root, subkey};
    if (!machine.empty()) argv.push_back(machine);
    ChildResult result = run_child(argv, {{"QUARN_PREFIX", prefix_.path().string()}});
    if (result.exit_code == 2) return "missing";
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result.out;
}

std::string utf16_file_text(const std::string &bytes) {
    if (!bytes.starts_with("\xFF\xFE")) return "";
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return win32::utf16_to_utf8(units);
}

}  // namespace quarn::test
