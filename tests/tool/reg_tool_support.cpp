// Runs the built quarn and reg_dump in the test's own prefix.
#include "reg_tool_support.h"

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
    EXPECT_EQ(result.out, kSuccess);
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

}  // namespace quarn::test
