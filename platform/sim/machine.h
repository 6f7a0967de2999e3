// A simulated Windows machine for native tests: it owns every simulated platform service and
// installs them as the process's platform while it lives. Only one machine may exist at a time.
#pragma once
#include <string>

#include "platform/sim/modules.h"
#include "platform/sim/printing.h"
#include "platform/sim/system.h"
#include "platform/sim/ui.h"

namespace sim {

struct MachineOptions {
    // The user's language; Japanese means the ANSI code page 932 and the Japanese resources.
    Language language = Language::English;
    // Full path of the running executable.
    std::string exePath = "C:\\Tools\\ulmaupdate.exe";
};

class Machine {
  public:
    explicit Machine(const MachineOptions& options = {});
    // Ends the user interface, joins the simulated threads and uninstalls the platform.
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    SimSystem system;
    SimModules modules;
    SimUi ui;
    SimSpooler spooler;
    SimGdi gdi;
    SimRegistry registry;
};

}  // namespace sim
