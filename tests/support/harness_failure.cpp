// In a test, a failed step of the simulator harness fails the test that took it.
#include <gtest/gtest.h>

#include "tests/support/simulator.h"

void HarnessFailure(const std::string& message) {
    ADD_FAILURE() << message;
}
