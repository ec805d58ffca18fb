// Runs a piece of the test in a forked child, for answers that a process
// computes once (settings read once, names resolved once): each case gets a
// fresh process that inherits the test's prefix and environment.
#pragma once

#include <functional>
#include <string>

namespace quarn::test {

// What `body` returned in the child, or "<exit N>" / "<signal N>" when the
// child did not come back normally.
std::string in_child(const std::function<std::string()> &body);

}  // namespace quarn::test
