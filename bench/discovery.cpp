// Time of printer discovery for 10, 100, 1000 and 5000 installed printers: once when one printer
// in ten uses the model's driver, once when every printer does.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/sim/machine.h"
#include "printers/printerlist.h"

namespace {

constexpr const char* kDriver = "QV-500 Driver";

void Run(int installed, int everyNth) {
    sim::Machine machine;
    machine.spooler.keepLog = false;
    for (int i = 0; i < installed; ++i) {
        std::string name = "Printer " + std::to_string(i);
        machine.spooler.InstallSimple(name, i % everyNth == 0 ? kDriver : "Other Driver");
    }
    CPrinterList list;
    auto start = std::chrono::steady_clock::now();
    list.EnumeratePrinters(kDriver, "QV-500 Inbox");
    auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::printf("%6d installed, %5d listed: %9.3f ms, %6d spooler calls\n", installed,
                list.GetCount(), elapsed.count(), machine.spooler.counters.total());
}

}  // namespace

int main() {
    for (int everyNth : {10, 1}) {
        std::printf("model's driver on 1 printer in %d:\n", everyNth);
        for (int installed : {10, 100, 1000, 5000}) Run(installed, everyNth);
    }
    return 0;
}
