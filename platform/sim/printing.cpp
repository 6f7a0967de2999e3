#include "platform/sim/printing.h"

namespace sim {

// A machine with no printers installed and an empty registry.

bool SimSpooler::EnumPrinters(uint32_t, uint32_t, uint8_t*, uint32_t, uint32_t* needed,
                              uint32_t* returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    return true;
}

plat::PrinterInfo2 SimSpooler::Info2At(const uint8_t*, uint32_t) { return {}; }

std::unique_ptr<plat::IPrinterHandle> SimSpooler::OpenPrinter(const char*) { return nullptr; }

int32_t SimSpooler::DeviceCapabilities(const char*, const char*, uint16_t, void*, size_t,
                                       const void*) {
    return -1;
}

std::unique_ptr<plat::IDeviceContext> SimGdi::CreateIC(const char*, const char*, const char*,
                                                       const void*) {
    return nullptr;
}

long SimRegistry::OpenKey(plat::IRegKey*, const char*, uint32_t, std::unique_ptr<plat::IRegKey>&) {
    return win::ERROR_FILE_NOT_FOUND;
}

}  // namespace sim
