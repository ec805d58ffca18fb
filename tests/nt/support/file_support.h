// What the path and file suites share: folders on drive C: of the test's
// prefix, UTF-16 literals from UTF-8, forked children (for other time zones
// and other users) and the file_helper program.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quarn::test {

// A new, empty folder prefix/drive_c/<name> (its canonical path); "C:\<name>" names it.
std::filesystem::path drive_c_folder(const std::string &name);

std::u16string wide(const std::string &utf8);
std::string thin(const std::u16string &utf16);

// Runs `body` in a forked child and returns its result (its exit code), or -1
// when the child died.  The child ends with _exit, so no test state is torn down.
int in_child(const std::function<int()> &body);
// Runs `body` in a forked child as the user nobody (uid and gid 65534).
int as_other_user(const std::function<int()> &body);

// The file_helper program with `arguments`.
std::vector<std::string> file_helper(const std::vector<std::string> &arguments);

}  // namespace quarn::test
