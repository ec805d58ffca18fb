// Capturing standard error around a call, through GoogleTest's own redirection.
#include "capture.h"

#include <gtest/gtest.h>

namespace i18n_test {

std::string stderr_of(const std::function<void()> &run) {
    testing::internal::CaptureStderr();
    run();
    return testing::internal::GetCapturedStderr();
}

}  // namespace i18n_test
