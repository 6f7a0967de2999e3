#include "platform/sim/machine.h"

#include <atomic>
#include <stdexcept>

namespace sim {

namespace {
std::atomic<Machine*> g_current{nullptr};
}

Machine::Machine(const MachineOptions& options)
    : system(options.language, options.exePath), modules(system), ui(system) {
    Machine* expected = nullptr;
    if (!g_current.compare_exchange_strong(expected, this)) {
        throw std::logic_error("only one simulated machine may exist at a time");
    }
    spooler.SetCodePage(system.CodePage());
    system.SetThreadExitHook([this] { ui.Wake(); });
    plat::Install({&system, &modules, &spooler, &gdi, &registry, &ui});
}

Machine::~Machine() {
    ui.Shutdown();
    system.JoinThreads();
    system.SetThreadExitHook(nullptr);
    plat::Install({});
    g_current = nullptr;
}

}  // namespace sim
