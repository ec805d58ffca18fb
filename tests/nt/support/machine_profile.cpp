// Linked into a suite that runs on one machine profile of tests/machines/:
// before the first test, the profile QUARN_MACHINE_PROFILE becomes the
// machine.toml of the process's prefix, so Machine::current() is built from it.
#include <gtest/gtest.h>

#include "temp_prefix.h"

namespace {

class MachineProfile : public testing::Environment {
public:
    void SetUp() override {
        const auto &prefix = quarn::test::process_prefix();
        prefix.write("machine.toml", quarn::test::read_file(QUARN_MACHINE_PROFILE));
    }
};

testing::Environment *const profile = testing::AddGlobalTestEnvironment(new MachineProfile);

}  // namespace
