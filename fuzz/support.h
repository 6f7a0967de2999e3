// Shared pieces of the fuzz targets: a simulated machine prepared like the delivered folder, the
// process-wide reset between inputs, and a check that turns a broken promise into a finding.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app_harness.h"
#include "support/package_file.h"

namespace fuzz {

// Reports a broken invariant and aborts, so that libFuzzer records the input.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool ok, const char* what) {
    if (!ok) Fail(what);
}

// A package file: the 64-byte header with this data length, then `data`.
using testpkg::Package;

// The packages the simulated printer received so far, as bytes.
std::vector<std::string> ReceivedPackages();
// The log lines of the simulated printer that start with prefix.
int CountLog(const std::string& prefix);

// Puts the program's process-wide state back to its start values and makes the simulated
// printer answer at once.
void ResetProcess();

}  // namespace fuzz
