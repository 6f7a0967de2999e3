// Anything a whole-program run leaves open fails the test that ran it.
#include <gtest/gtest.h>

#include "app_harness.h"

namespace {

// Installed before any test runs; a failure to install it ends the test program, as it should.
const bool g_installed = [] {  // NOLINT(cert-err58-cpp)
    apptest::g_reportHeld = [](const std::string& what) { ADD_FAILURE() << "left open: " << what; };
    return true;
}();

}  // namespace
