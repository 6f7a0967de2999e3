// Print spooler and GDI information contexts over the Windows API.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

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

// The most bytes a capability array is believed to take.
constexpr uint64_t kLargestArray = 0x7FFFFFFF;

// Bytes per entry of the capabilities that fill an array; 0 for the others.
size_t EntrySize(uint16_t capability) {
    switch (capability) {
        case DC_PAPERS:
        case DC_BINS:
            return sizeof(WORD);
        case DC_PAPERSIZE:
            return sizeof(POINT);
        case DC_ENUMRESOLUTIONS:
            return 2 * sizeof(LONG);
        case DC_PAPERNAMES:
        case DC_FILEDEPENDENCIES:
        case DC_MEDIAREADY:
        case DC_MEDIATYPENAMES:
            return 64;
        case DC_BINNAMES:
            return 24;
        case DC_PERSONALITY:
            return 32;
        case DC_MEDIATYPES:
        case DC_NUP:
            return sizeof(DWORD);
        default:
            return 0;
    }
}

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

size_t Spooler::Info2Size() const { return sizeof(PRINTER_INFO_2A); }

std::unique_ptr<IPrinterHandle> Spooler::OpenPrinter(const char* name) {
    PrinterHandle handle;
    if (!::OpenPrinterA(const_cast<LPSTR>(name), handle.put(), nullptr)) return nullptr;
    if (!handle) return nullptr;
    return std::make_unique<OpenedPrinter>(std::move(handle));
}

std::string Spooler::QueueNameKey(const std::string& name) {
    // The system's own upper-casing, which knows the code page's letters and its double-byte
    // characters, as the spooler folds names through Unicode.
    std::string key = name;
    if (!key.empty()) ::CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

int32_t FillCapabilityArray(const std::function<int32_t(void*)>& call, size_t entry, void* output,
                            size_t outputSize) {
    if (!output || entry == 0) return call(output);
    // A driver writes every entry it has and cannot be told the buffer's size: ask for the count
    // first and let a driver with more entries than the caller's buffer holds fill a buffer of
    // its own, of which only what fits is copied.
    const int32_t count = call(nullptr);
    if (count <= 0) return count;
    // One entry more than announced, for a driver that counts one short: the caller's buffer is
    // handed over only when it has room for that entry too, as a buffer sized from the count has
    // not.
    const uint64_t bytes = (static_cast<uint64_t>(count) + 1) * entry;
    // A count whose entries, with that spare one, would take more than 2 GB is no answer, in
    // both builds alike: in a 32-bit process the size would wrap around to a small one and the
    // caller's buffer would go to a driver about to write far more than it holds, and a buffer
    // above 2 GB is refused there with an error of another kind than a lack of memory.
    if (bytes > kLargestArray) return -1;
    const size_t need = static_cast<size_t>(bytes);
    if (need <= outputSize) return call(output);
    std::vector<uint8_t> whole;
    try {
        whole.resize(need);
    } catch (const std::bad_alloc&) {
        return -1;
    } catch (const std::length_error&) {
        return -1;
    }
    const int32_t filled = call(whole.data());
    if (filled > 0) std::memcpy(output, whole.data(), std::min(outputSize, whole.size()));
    return filled;
}

int32_t Spooler::DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                                    void* output, size_t outputSize, const void* devmode) {
    auto call = [&](void* out) {
        return ::DeviceCapabilitiesA(device, port, capability, static_cast<LPSTR>(out),
                                     static_cast<const DEVMODEA*>(devmode));
    };
    return FillCapabilityArray(call, EntrySize(capability), output, outputSize);
}

std::unique_ptr<IDeviceContext> Gdi::CreateIC(const char* driver, const char* device,
                                              const char* port, const void* devmode) {
    DcHandle dc(::CreateICA(driver, device, port, static_cast<const DEVMODEA*>(devmode)));
    if (!dc) return nullptr;
    return std::make_unique<InformationContext>(std::move(dc));
}

}  // namespace plat::win32
