// The main of every libquarnnt suite: the process gets a prefix of its own,
// and its events go to a file in it, before any library code runs.
#include <stdlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "temp_prefix.h"

namespace quarn::test {
namespace {
TempPrefix *prefix = nullptr;
}
const TempPrefix &process_prefix() { return *prefix; }
}  // namespace quarn::test

int main(int argc, char **argv) {
    quarn::test::TempPrefix prefix;
    quarn::test::prefix = &prefix;
    setenv("QUARN_PREFIX", prefix.path().c_str(), 1);
    setenv("QUARN_EVENTLOG", (prefix.path() / "events.log").c_str(), 1);
    unsetenv("QUARN_TRACE");
    unsetenv("QUARN_FORCE_PLATFORM");
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
