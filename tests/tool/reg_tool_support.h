// The fixture of the quarn reg suites: a fresh prefix per test, set up by
// `quarn setup`, and runs of the built tool and of reg_dump inside it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "temp_prefix.h"

namespace quarn::test {

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

// The UTF-8 text of UTF-16LE bytes after their byte-order mark; "" without one.
std::string utf16_file_text(const std::string &bytes);

}  // namespace quarn::test
