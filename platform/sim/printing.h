// The simulated print spooler, GDI and registry of the simulated Windows machine.
#pragma once
#include "platform/platform.h"

namespace sim {

class SimSpooler : public plat::ISpooler {
public:
    bool EnumPrinters(uint32_t flags, uint32_t level, uint8_t* buffer, uint32_t size,
                      uint32_t* needed, uint32_t* returned) override;
    plat::PrinterInfo2 Info2At(const uint8_t* buffer, uint32_t index) override;
    std::unique_ptr<plat::IPrinterHandle> OpenPrinter(const char* name) override;
    int32_t DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                               void* output, size_t outputSize, const void* devmode) override;
};

class SimGdi : public plat::IGdi {
public:
    std::unique_ptr<plat::IDeviceContext> CreateIC(const char* driver, const char* device,
                                                   const char* port,
                                                   const void* devmode) override;
};

class SimRegistry : public plat::IRegistry {
public:
    long OpenKey(plat::IRegKey* parent, const char* subKey, uint32_t access,
                 std::unique_ptr<plat::IRegKey>& out) override;
};

}  // namespace sim
