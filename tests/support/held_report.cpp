// Anything a whole-program run leaves open fails the test that ran it.
#include <gtest/gtest.h>

#include "app_harness.h"

namespace {

const bool g_installed = [] {
    apptest::g_reportHeld = [](const std::string& what) { ADD_FAILURE() << "left open: " << what; };
    return true;
}();

}  // namespace
