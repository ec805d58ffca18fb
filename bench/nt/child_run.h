// Runs this benchmark program again in a fresh process, in a role of its own
// (a timed start-up, a first read), and hands back what that process printed.
#pragma once

#include <string>

// The standard output of `/proc/self/exe role`, named `program`; empty when
// it could not start, printed nothing or did not exit with status 0.
std::string run_self_in_role(const char *program, const char *role);
