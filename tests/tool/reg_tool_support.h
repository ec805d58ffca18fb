// The fixture of the quarn reg suites: a fresh prefix per test, set up by
// `quarn setup`, and runs of the built tool and of reg_dump inside it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "temp_prefix.h"
#include "utf16_bytes.h"

namespace quarn::test {

inline const std::string kSuccess = "The operation completed successfully.\n";
inline const std::string kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

class RegTool : public ::testing::Test {
protected:
    void SetUp() override;

    // quarn ARGS with `input` on standard input.
    ChildResult quarn(const std::vector<std::string> &args, const std::string &input = "") const;
    // quarn reg ARGS.
    ChildResult reg(std::vector<std::string> args, const std::string &input = "") const;
    // reg ARGS that must succeed with reg.exe's message.
    void reg_ok(const std::vector<std::string> &args) const;
    // The tree below ROOT\SUBKEY as reg_dump prints it; "missing" when the key does not exist.
    std::string dump(const std::string &root, const std::string &subkey, const std::string &machine = "") const;
    std::string path(const std::string &name) const { return (prefix_.path() / name).string(); }

    TempPrefix prefix_;
};

}  // namespace quarn::test
