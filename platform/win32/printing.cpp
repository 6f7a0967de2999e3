// Print spooler and GDI information contexts over the Windows API.
#include <utility>

#include "platform/win32/win32_platform.h"

namespace plat::win32 {

namespace {

class OpenedPrinter : public IPrinterHandle {
  public:
    explicit OpenedPrinter(PrinterHandle handle) : m_handle(std::move(handle)) {}

    bool GetPrinter2(uint8_t* buffer, uint32_t size, uint32_t* needed) override {
        DWORD need = 0;
        BOOL ok = ::GetPrinterA(m_handle.get(), 2, buffer, size, &need);
        if (needed) *needed = need;
        return ok != 0;
    }

    int32_t DocumentProperties(const char* deviceName, void* out, const void* in,
                               uint32_t mode) override {
        return ::DocumentPropertiesA(nullptr, m_handle.get(), const_cast<LPSTR>(deviceName),
                                     static_cast<PDEVMODEA>(out),
                                     static_cast<PDEVMODEA>(const_cast<void*>(in)), mode);
    }

  private:
    PrinterHandle m_handle;
};

class InformationContext : public IDeviceContext {
  public:
    explicit InformationContext(DcHandle dc) : m_dc(std::move(dc)) {}

    int Escape(int code, int inSize, const void* in, void* out) override {
        return ::Escape(m_dc.get(), code, inSize, static_cast<LPCSTR>(in), out);
    }

  private:
    DcHandle m_dc;
};

}  // namespace

bool Spooler::EnumPrinters(uint32_t flags, uint32_t level, uint8_t* buffer, uint32_t size,
                           uint32_t* needed, uint32_t* returned) {
    DWORD need = 0, count = 0;
    BOOL ok = ::EnumPrintersA(flags, nullptr, level, buffer, size, &need, &count);
    if (needed) *needed = need;
    if (returned) *returned = count;
    return ok != 0;
}

PrinterInfo2 Spooler::Info2At(const uint8_t* buffer, uint32_t index) {
    PrinterInfo2 info;
    if (!buffer) return info;
    const auto& record = reinterpret_cast<const PRINTER_INFO_2A*>(buffer)[index];
    info.pServerName = record.pServerName;
    info.pPrinterName = record.pPrinterName;
    info.pPortName = record.pPortName;
    info.pDriverName = record.pDriverName;
    return info;
}

std::unique_ptr<IPrinterHandle> Spooler::OpenPrinter(const char* name) {
    PrinterHandle handle;
    if (!::OpenPrinterA(const_cast<LPSTR>(name), handle.put(), nullptr)) return nullptr;
    if (!handle) return nullptr;
    return std::make_unique<OpenedPrinter>(std::move(handle));
}

int32_t Spooler::DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                                    void* output, size_t outputSize, const void* devmode) {
    // A real driver writes as much as the capability needs; the size cannot be passed on.
    (void)outputSize;
    return ::DeviceCapabilitiesA(device, port, capability, static_cast<LPSTR>(output),
                                 static_cast<const DEVMODEA*>(devmode));
}

std::unique_ptr<IDeviceContext> Gdi::CreateIC(const char* driver, const char* device,
                                              const char* port, const void* devmode) {
    DcHandle dc(::CreateICA(driver, device, port, static_cast<const DEVMODEA*>(devmode)));
    if (!dc) return nullptr;
    return std::make_unique<InformationContext>(std::move(dc));
}

}  // namespace plat::win32
