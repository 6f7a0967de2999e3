#include "support.h"

#include <cstdio>
#include <cstdlib>

#include "standins/simprinter.h"

namespace fuzz {

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what.c_str());
    std::abort();
}

std::vector<std::string> ReceivedPackages() {
    std::vector<std::string> out;
    for (const auto& r : simprinter::Instance().ReceivedPackages())
        out.emplace_back(r.bytes.begin(), r.bytes.end());
    return out;
}

int CountLog(const std::string& prefix) {
    int n = 0;
    for (const auto& line : simprinter::Instance().Log()) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

void ResetProcess() {
    apptest::ResetProcess();
    simprinter::Instance().SetSleep([](uint32_t) {});
}

}  // namespace fuzz
