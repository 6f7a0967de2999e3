// discoverycheck: runs the tool's printer discovery against the real print spooler and prints
// every spooler and GDI call it makes, for the end-to-end runs under Wine.
//
// Usage: discoverycheck DRIVER_NAME DRIVER_NAME2 [--again]
// The installed printers are first listed as the spooler reports them (outside the logged
// calls); then GetPrinterList().EnumeratePrinters(DRIVER_NAME, DRIVER_NAME2) runs with the real
// spooler wrapped in a logging layer (--again runs it a second time). Every call names the
// printer it addresses, so a test can show which printers discovery opened and which it never
// touched. Output: one record per line, fields separated by a tab:
//   installed <index> <printer name> <driver name>
//   call EnumPrinters <buffer size> <ok> <needed> <count>
//   call OpenPrinter <name> <ok>
//   call GetPrinter <name> <buffer size> <ok>
//   call DocumentProperties <name> <device name> <mode> <result>
//   call DeviceCapabilities <device> <capability> <result>
//   call CreateIC <device> <ok>
//   result <EnumeratePrinters' result>
//   listed <index> <display name>       (the printer list from head to tail)
//   count <number of printers in the list>
// Exit status 0 when the run completed.
// The platform headers come first: they include the Windows API after the interfaces and remove
// the macros that would rename the interfaces' methods (OpenPrinter, CreateIC, ...).
#include "platform/win32/win32_platform.h"
#include "printers/printerlist.h"
// (after the Windows API)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Text(const char* s) { return s ? std::string(s) : std::string("(null)"); }

void Out(const std::string& line) {
    std::string s = line + "\n";
    fwrite(s.data(), 1, s.size(), stdout);
    fflush(stdout);
}

void Call(const std::vector<std::string>& fields) {
    std::string line = "call";
    for (const std::string& f : fields) line += "\t" + f;
    Out(line);
}

class LoggingPrinterHandle : public plat::IPrinterHandle {
  public:
    LoggingPrinterHandle(std::unique_ptr<plat::IPrinterHandle> inner, std::string name)
        : m_inner(std::move(inner)), m_name(std::move(name)) {}

    bool GetPrinter2(uint8_t* buffer, uint32_t size, uint32_t* needed) override {
        const bool ok = m_inner->GetPrinter2(buffer, size, needed);
        Call({"GetPrinter", m_name, std::to_string(size), ok ? "1" : "0"});
        return ok;
    }

    int32_t DocumentProperties(const char* deviceName, void* out, const void* in,
                               uint32_t mode) override {
        const int32_t r = m_inner->DocumentProperties(deviceName, out, in, mode);
        Call({"DocumentProperties", m_name, Text(deviceName), std::to_string(mode),
              std::to_string(r)});
        return r;
    }

  private:
    std::unique_ptr<plat::IPrinterHandle> m_inner;
    std::string m_name;
};

class LoggingSpooler : public plat::ISpooler {
  public:
    explicit LoggingSpooler(plat::ISpooler& inner) : m_inner(inner) {}

    bool EnumPrinters(uint32_t flags, uint32_t level, uint8_t* buffer, uint32_t size,
                      uint32_t* needed, uint32_t* returned) override {
        const bool ok = m_inner.EnumPrinters(flags, level, buffer, size, needed, returned);
        Call({"EnumPrinters", std::to_string(size), ok ? "1" : "0",
              std::to_string(needed ? *needed : 0), std::to_string(returned ? *returned : 0)});
        return ok;
    }

    plat::PrinterInfo2 Info2At(const uint8_t* buffer, uint32_t index) override {
        // Reading a record of the buffer is no spooler call.
        return m_inner.Info2At(buffer, index);
    }

    size_t Info2Size() const override { return m_inner.Info2Size(); }

    std::unique_ptr<plat::IPrinterHandle> OpenPrinter(const char* name) override {
        std::unique_ptr<plat::IPrinterHandle> handle = m_inner.OpenPrinter(name);
        Call({"OpenPrinter", Text(name), handle ? "1" : "0"});
        if (!handle) return nullptr;
        return std::make_unique<LoggingPrinterHandle>(std::move(handle), Text(name));
    }

    // Folding a name is no spooler call.
    std::string QueueNameKey(const std::string& name) override {
        return m_inner.QueueNameKey(name);
    }

    int32_t DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                               void* output, size_t outputSize, const void* devmode) override {
        const int32_t r =
            m_inner.DeviceCapabilities(device, port, capability, output, outputSize, devmode);
        Call({"DeviceCapabilities", Text(device), std::to_string(capability), std::to_string(r)});
        return r;
    }

  private:
    plat::ISpooler& m_inner;
};

class LoggingGdi : public plat::IGdi {
  public:
    explicit LoggingGdi(plat::IGdi& inner) : m_inner(inner) {}

    std::unique_ptr<plat::IDeviceContext> CreateIC(const char* driver, const char* device,
                                                   const char* port, const void* devmode) override {
        std::unique_ptr<plat::IDeviceContext> dc = m_inner.CreateIC(driver, device, port, devmode);
        Call({"CreateIC", Text(device), dc ? "1" : "0"});
        return dc;
    }

  private:
    plat::IGdi& m_inner;
};

// The installed printers as the spooler reports them, straight from the Windows API.
bool ListInstalled() {
    DWORD needed = 0, count = 0;
    ::EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!::EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
        return false;
    const auto* records = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        Out("installed\t" + std::to_string(i) + "\t" + Text(records[i].pPrinterName) + "\t" +
            Text(records[i].pDriverName));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const bool again = argc == 4 && std::strcmp(argv[3], "--again") == 0;
    if (argc != 3 && !again) {
        fprintf(stderr, "usage: discoverycheck DRIVER_NAME DRIVER_NAME2 [--again]\n");
        return 2;
    }
    if (!ListInstalled()) {
        fprintf(stderr, "discoverycheck: EnumPrintersA failed (error %lu)\n",
                static_cast<unsigned long>(GetLastError()));
        return 1;
    }

    plat::win32::Platform real(GetModuleHandleA(nullptr));
    LoggingSpooler spooler(*plat::Get().spooler);
    LoggingGdi gdi(*plat::Get().gdi);
    plat::Platform logged = plat::Get();
    logged.spooler = &spooler;
    logged.gdi = &gdi;
    plat::Install(logged);

    CPrinterList& list = GetPrinterList();
    for (int run = 0; run < (again ? 2 : 1); ++run)
        Out("result\t" + std::to_string(list.EnumeratePrinters(argv[1], argv[2])));
    int index = 0;
    for (const auto& printer : list.Printers())
        Out("listed\t" + std::to_string(index++) + "\t" + CPrinterList::GetPrinterText(*printer));
    Out("count\t" + std::to_string(list.GetCount()));

    // The printers are released while the logging layer is still installed.
    list.ResetForTest();
    return 0;
}
