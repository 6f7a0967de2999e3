// The simulated print spooler, GDI and registry of the simulated Windows machine. Installed
// printers and their drivers are data; every spooler call is logged and counted, and failures can
// be injected per printer and per call.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace sim {

// The answer of a driver to an array capability (DC_ENUMRESOLUTIONS, DC_PAPERS, ...): the count
// it gives to a query without a buffer, and the bytes and answer of the fill.
struct CapabilityArray {
    int32_t countAnswer = 0;
    int32_t fillAnswer = 0;
    std::vector<uint8_t> bytes;
};

// One installed printer and its driver.
struct SimPrinter {
    // PRINTER_INFO_2 names; a null server name is a local printer.
    std::string name;
    std::string driver;
    std::string port = "USB001";
    std::optional<std::string> server;
    // The name as the ANSI spooler calls hand it back, when that differs from `name`: a queue
    // name the code page cannot hold comes back with '?' for each character it lacks. Opening
    // that text reaches the queue literally so named, if there is one.
    std::optional<std::string> ansiName;

    // DC_* answers of the driver; a capability missing from both maps answers -1.
    std::map<uint16_t, int32_t> capabilities;
    std::map<uint16_t, CapabilityArray> arrays;

    // The driver's settings block: public part and private part.
    std::vector<uint8_t> devMode;
    // Overrides the size the driver reports to the size query (0 or negative included). The
    // driver writes that many bytes of its block on a fill.
    std::optional<int32_t> devModeSizeAnswer;
    // Overrides the answer to DM_OUT_BUFFER / DM_IN_BUFFER fills (IDOK by default).
    std::optional<int32_t> fillAnswer;
    // Called on DM_IN_BUFFER | DM_OUT_BUFFER with the merged block before it is written out, so
    // a driver can validate it.
    std::function<void(std::vector<uint8_t>&)> validate;

    // Failure injection.
    bool failOpen = false;
    // 1-based number of the GetPrinterA call (per handle) that fails; 0 = none.
    int failGetPrinterCall = 0;
    // A faulty spooler: GetPrinterA asks for this many bytes and then reports success for any
    // buffer of that size, writing nothing into it.
    std::optional<uint32_t> getPrinterSizeAnswer;

    // Fills the answers of a simple driver: DC_FIELDS, resolutions and a public settings block
    // of dmSize 156 followed by `privateBytes` driver-private bytes.
    void SetResolutions(const std::vector<std::pair<int32_t, int32_t>>& pairs);
    void SetDevMode(uint32_t fields, size_t privateBytes);
};

// One call that reached the simulated spooler.
struct SpoolerCall {
    std::string function;  // "EnumPrinters", "OpenPrinter", "GetPrinter", ...
    std::string printer;
    uint32_t detail = 0;  // capability index, DocumentProperties mode, or buffer size
    bool withBuffer = false;
};

struct SpoolerCounters {
    int enumPrinters = 0;
    int openPrinter = 0;
    int closePrinter = 0;
    int getPrinter = 0;
    int documentProperties = 0;
    int deviceCapabilities = 0;
    // Fills where the driver had more bytes to write than the caller's buffer holds.
    int overruns = 0;
    int openHandles() const { return openPrinter - closePrinter; }
    int total() const {
        return enumPrinters + openPrinter + getPrinter + documentProperties + deviceCapabilities;
    }
};

class SimSpooler : public plat::ISpooler {
  public:
    SimSpooler();
    ~SimSpooler() override;

    // Installs a printer at the end of the spooler's order, or in the place of the one that its
    // name already opens, and returns it for further set-up. The reference stays valid until Clear.
    SimPrinter& Install(SimPrinter printer);
    // A printer of the given driver with a usable settings block, DC_FIELDS answered and one
    // resolution of 300 dpi.
    SimPrinter& InstallSimple(const std::string& name, const std::string& driver);
    // The printer a name opens: letter case does not count, as in the spooler.
    SimPrinter* Find(const std::string& name);
    void Clear();

    // Whole-spooler failure injection.
    bool failEnumeration = false;
    // Overrides the record count a successful fill of EnumPrinters reports.
    std::optional<uint32_t> enumCountAnswer;
    // Printers installed right after the next size query of EnumPrinters, so that the fill
    // finds a buffer that has become too small.
    std::vector<SimPrinter> installAfterSizeQuery;

    // The record of calls, and how many there were of each kind.
    std::vector<SpoolerCall> log;
    bool keepLog = true;
    SpoolerCounters counters;
    void ResetLog();
    // How many calls named this printer (open, get, properties, capabilities).
    int CallsFor(const std::string& printer) const;

    bool EnumPrinters(uint32_t flags, uint32_t level, uint8_t* buffer, uint32_t size,
                      uint32_t* needed, uint32_t* returned) override;
    plat::PrinterInfo2 Info2At(const uint8_t* buffer, uint32_t index) override;
    size_t Info2Size() const override;
    std::unique_ptr<plat::IPrinterHandle> OpenPrinter(const char* name) override;
    std::string QueueNameKey(const std::string& name) override;
    int32_t DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                               void* output, size_t outputSize, const void* devmode) override;
    // The code page whose letters fold when names are compared (the machine's).
    void SetCodePage(int codePage) { codePage_ = codePage; }

  private:
    friend class SimPrinterHandle;
    void Record(const char* function, const std::string& printer, uint32_t detail, bool withBuffer);

    std::vector<std::unique_ptr<SimPrinter>> printers_;
    std::unordered_map<std::string, SimPrinter*> byName_;  // by QueueNameKey
    std::unordered_map<std::string, int> callsByPrinter_;
    int codePage_ = 1252;
};

// GDI: information contexts answer escapes from data.
class SimGdi : public plat::IGdi {
  public:
    struct EscapeAnswer {
        int result = 0;
        std::vector<uint8_t> output;
    };
    // Escape answers by escape code, for every context; a code not listed answers 0.
    std::map<int, EscapeAnswer> escapes;
    // Answers for contexts whose settings select this dmPaperSize; they take the place of
    // `escapes` for such a context (a code not listed there answers 0).
    std::map<int16_t, std::map<int, EscapeAnswer>> escapesByPaper;
    bool failCreateIC = false;
    // 1-based number of the CreateIC call that fails; 0 = none.
    int failCreateICCall = 0;
    int created = 0;
    int deleted = 0;
    int calls = 0;
    int liveContexts() const { return created - deleted; }

    // Every CreateIC call, with the paper size of the settings it was given (0 without them).
    struct IcCall {
        std::string driver, device, port;
        bool withDevMode = false;
        int16_t paperSize = 0;
        int16_t orientation = 0;
        bool created = false;
    };
    std::vector<IcCall> log;

    // Sets GETPHYSPAGESIZE and GETPRINTINGOFFSET answers for contexts of one paper size.
    void SetPaperEscapes(int16_t paperSize, int32_t width, int32_t length, int32_t sideMargin,
                         int32_t endMargin);

    std::unique_ptr<plat::IDeviceContext> CreateIC(const char* driver, const char* device,
                                                   const char* port, const void* devmode) override;
};

// The registry below HKEY_LOCAL_MACHINE: a tree of keys with values. Key names are compared
// without regard to case when opened, and enumerated in sorted order.
class SimRegistry : public plat::IRegistry {
  public:
    struct Value {
        uint32_t type = 1;
        std::vector<uint8_t> data;
    };
    struct Key;
    struct CaseLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    struct Key {
        std::map<std::string, Key, CaseLess> subkeys;
        std::map<std::string, Value, CaseLess> values;
    };

    Key root;
    int opened = 0;
    int closed = 0;
    int openKeys() const { return opened - closed; }

    // Failure injection: opening a path (as passed, compared without regard to case) answers
    // this error; enumerating the subkey at this index of any key fails with `enumError`;
    // QueryValue fails with `queryError` when that is not 0.
    std::map<std::string, long, CaseLess> failOpen;
    int64_t failEnumIndex = -1;
    long enumError = 1009;  // ERROR_BADDB
    long queryError = 0;

    // Every OpenKey call: the path as passed and the access rights.
    struct OpenCall {
        std::string path;
        uint32_t access = 0;
        bool succeeded = false;
    };
    std::vector<OpenCall> openLog;
    // Subkey enumerations served (successful or not).
    int enumCalls = 0;

    // Creates the keys of a backslash-separated path and sets a string value there.
    void SetString(const std::string& path, const std::string& valueName, const std::string& text);
    // Sets a value of raw bytes (for instance a string without its terminator).
    void SetBytes(const std::string& path, const std::string& valueName, uint32_t type,
                  const std::vector<uint8_t>& bytes);
    Key& CreateKey(const std::string& path);

    long OpenKey(plat::IRegKey* parent, const char* subKey, uint32_t access,
                 std::unique_ptr<plat::IRegKey>& out) override;
};

}  // namespace sim
