#include "platform/sim/printing.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/sim/system.h"

namespace sim {

namespace {

// The layout of a level-2 record in the buffers this spooler fills: four pointers into the same
// buffer, as PRINTER_INFO_2 holds them, followed by the strings.
struct InfoRecord {
    const char* server;
    const char* printer;
    const char* port;
    const char* driver;
};

void PutLE(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, size_t width) {
    if (bytes.size() < offset + width) bytes.resize(offset + width);
    for (size_t i = 0; i < width; ++i) bytes[offset + i] = uint8_t(value >> (8 * i));
}

size_t RecordStringBytes(const SimPrinter& p) {
    return (p.server ? p.server->size() + 1 : 0) + p.ansiName.value_or(p.name).size() + 1 +
           p.port.size() + 1 + p.driver.size() + 1;
}

// Writes the record for p at `record` and its strings at `strings`; returns the end of the
// strings.
uint8_t* WriteRecord(const SimPrinter& p, uint8_t* record, uint8_t* strings) {
    auto put = [&](const std::string& text) {
        char* at = reinterpret_cast<char*>(strings);
        std::memcpy(at, text.c_str(), text.size() + 1);
        strings += text.size() + 1;
        return at;
    };
    InfoRecord r{};
    r.server = p.server ? put(*p.server) : nullptr;
    r.printer = put(p.ansiName.value_or(p.name));
    r.port = put(p.port);
    r.driver = put(p.driver);
    std::memcpy(record, &r, sizeof r);
    return strings;
}

constexpr int32_t kIdOk = 1;
constexpr size_t kPublicDevModeSize = 156;

}  // namespace

void SimPrinter::SetResolutions(const std::vector<std::pair<int32_t, int32_t>>& pairs) {
    CapabilityArray array;
    array.countAnswer = array.fillAnswer = int32_t(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
        PutLE(array.bytes, i * 8, uint32_t(pairs[i].first), 4);
        PutLE(array.bytes, i * 8 + 4, uint32_t(pairs[i].second), 4);
    }
    arrays[win::DC_ENUMRESOLUTIONS] = std::move(array);
}

void SimPrinter::SetDevMode(uint32_t fields, size_t privateBytes) {
    devMode.assign(kPublicDevModeSize + privateBytes, 0);
    std::memcpy(devMode.data(), name.c_str(), std::min<size_t>(name.size(), 31));
    PutLE(devMode, 32, 0x0401, 2);  // dmSpecVersion
    PutLE(devMode, 36, kPublicDevModeSize, 2);
    PutLE(devMode, 38, uint32_t(privateBytes), 2);
    PutLE(devMode, 40, fields, 4);
}

// An open printer; closing it is counted.
class SimPrinterHandle : public plat::IPrinterHandle {
  public:
    SimPrinterHandle(SimSpooler& spooler, SimPrinter& printer)
        : spooler_(spooler), printer_(printer) {}
    ~SimPrinterHandle() override {
        ++spooler_.counters.closePrinter;
        spooler_.Record("ClosePrinter", printer_.name, 0, false);
    }

    bool GetPrinter2(uint8_t* buffer, uint32_t size, uint32_t* needed) override {
        ++spooler_.counters.getPrinter;
        spooler_.Record("GetPrinter", printer_.name, size, buffer != nullptr);
        ++calls_;
        uint32_t total = uint32_t(sizeof(InfoRecord) + RecordStringBytes(printer_));
        if (printer_.failGetPrinterCall == calls_) {
            if (needed) *needed = 0;
            return false;
        }
        if (printer_.getPrinterSizeAnswer) {
            if (needed) *needed = *printer_.getPrinterSizeAnswer;
            return buffer && size >= *printer_.getPrinterSizeAnswer;
        }
        if (needed) *needed = total;
        if (!buffer || size < total) return false;
        WriteRecord(printer_, buffer, buffer + sizeof(InfoRecord));
        return true;
    }

    int32_t DocumentProperties(const char* deviceName, void* out, const void* in,
                               uint32_t mode) override {
        ++spooler_.counters.documentProperties;
        spooler_.Record("DocumentProperties", deviceName ? deviceName : "", mode, out != nullptr);
        int32_t size = printer_.devModeSizeAnswer.value_or(int32_t(printer_.devMode.size()));
        if (!(mode & win::DM_OUT_BUFFER) || !out) return size;
        if (size <= 0) return -1;
        std::vector<uint8_t> block = printer_.devMode;
        block.resize(size_t(size), 0);
        // The driver takes an input block to be as long as the size it reports.
        if ((mode & win::DM_IN_BUFFER) && in) {
            std::memcpy(block.data(), in, size_t(size));
            if (printer_.validate) printer_.validate(block);
            block.resize(size_t(size), 0);
        }
        std::memcpy(out, block.data(), size_t(size));
        // Like a real driver, it fills at least its public part, whatever size it answered.
        const size_t publicPart = std::min(printer_.devMode.size(), kPublicDevModeSize);
        if (size_t(size) < publicPart)
            std::memcpy(static_cast<uint8_t*>(out) + size, printer_.devMode.data() + size,
                        publicPart - size_t(size));
        return printer_.fillAnswer.value_or(kIdOk);
    }

  private:
    SimSpooler& spooler_;
    SimPrinter& printer_;
    int calls_ = 0;
};

SimSpooler::SimSpooler() = default;
SimSpooler::~SimSpooler() = default;

SimPrinter& SimSpooler::Install(SimPrinter printer) {
    if (SimPrinter* existing = Find(printer.name)) {
        *existing = std::move(printer);
        return *existing;
    }
    printers_.push_back(std::make_unique<SimPrinter>(std::move(printer)));
    SimPrinter& added = *printers_.back();
    byName_[QueueNameKey(added.name)] = &added;
    return added;
}

SimPrinter& SimSpooler::InstallSimple(const std::string& name, const std::string& driver) {
    SimPrinter p;
    p.name = name;
    p.driver = driver;
    uint32_t fields = win::DM_ORIENTATION | win::DM_PAPERSIZE | win::DM_COPIES;
    p.SetDevMode(fields, 64);
    p.capabilities[win::DC_FIELDS] = int32_t(fields);
    p.capabilities[win::DC_COPIES] = 999;
    p.SetResolutions({{300, 300}});
    return Install(std::move(p));
}

SimPrinter* SimSpooler::Find(const std::string& name) {
    auto found = byName_.find(QueueNameKey(name));
    return found == byName_.end() ? nullptr : found->second;
}

void SimSpooler::Clear() {
    printers_.clear();
    byName_.clear();
    installAfterSizeQuery.clear();
    failEnumeration = false;
    enumCountAnswer.reset();
    ResetLog();
}

void SimSpooler::ResetLog() {
    log.clear();
    counters = SpoolerCounters{};
    callsByPrinter_.clear();
}

int SimSpooler::CallsFor(const std::string& printer) const {
    auto found = callsByPrinter_.find(printer);
    return found == callsByPrinter_.end() ? 0 : found->second;
}

void SimSpooler::Record(const char* function, const std::string& printer, uint32_t detail,
                        bool withBuffer) {
    if (!printer.empty() && std::strcmp(function, "ClosePrinter") != 0) ++callsByPrinter_[printer];
    if (keepLog) log.push_back(SpoolerCall{function, printer, detail, withBuffer});
}

bool SimSpooler::EnumPrinters(uint32_t, uint32_t level, uint8_t* buffer, uint32_t size,
                              uint32_t* needed, uint32_t* returned) {
    ++counters.enumPrinters;
    Record("EnumPrinters", "", size, buffer != nullptr);
    if (returned) *returned = 0;
    if (needed) *needed = 0;
    if (failEnumeration || level != 2) return false;

    size_t total = printers_.size() * sizeof(InfoRecord);
    for (const auto& p : printers_) total += RecordStringBytes(*p);
    if (needed) *needed = uint32_t(total);
    if (!buffer || size < total) {
        if (!buffer) {
            for (auto& p : installAfterSizeQuery) Install(std::move(p));
            installAfterSizeQuery.clear();
        }
        return total == 0 && buffer == nullptr;
    }
    uint8_t* strings = buffer + printers_.size() * sizeof(InfoRecord);
    for (size_t i = 0; i < printers_.size(); ++i)
        strings = WriteRecord(*printers_[i], buffer + i * sizeof(InfoRecord), strings);
    if (returned) *returned = enumCountAnswer.value_or(uint32_t(printers_.size()));
    return true;
}

plat::PrinterInfo2 SimSpooler::Info2At(const uint8_t* buffer, uint32_t index) {
    InfoRecord r{};
    std::memcpy(&r, buffer + size_t(index) * sizeof(InfoRecord), sizeof r);
    plat::PrinterInfo2 info;
    info.pServerName = r.server;
    info.pPrinterName = r.printer;
    info.pPortName = r.port;
    info.pDriverName = r.driver;
    return info;
}

size_t SimSpooler::Info2Size() const { return sizeof(InfoRecord); }

std::string SimSpooler::QueueNameKey(const std::string& name) { return FoldAnsi(name, codePage_); }

std::unique_ptr<plat::IPrinterHandle> SimSpooler::OpenPrinter(const char* name) {
    std::string key = name ? name : "";
    Record("OpenPrinter", key, 0, false);
    SimPrinter* printer = Find(key);
    if (!printer || printer->failOpen) return nullptr;
    ++counters.openPrinter;
    return std::make_unique<SimPrinterHandle>(*this, *printer);
}

int32_t SimSpooler::DeviceCapabilities(const char* device, const char* /*port*/,
                                       uint16_t capability, void* output, size_t outputSize,
                                       const void* /*devmode*/) {
    ++counters.deviceCapabilities;
    std::string key = device ? device : "";
    Record("DeviceCapabilities", key, capability, output != nullptr);
    SimPrinter* printer = Find(key);
    if (!printer) return -1;
    auto array = printer->arrays.find(capability);
    if (array != printer->arrays.end()) {
        if (!output) return array->second.countAnswer;
        const auto& bytes = array->second.bytes;
        if (bytes.size() > outputSize) ++counters.overruns;
        // A driver with nothing to write leaves the buffer alone (no copy from a null source).
        if (!bytes.empty()) std::memcpy(output, bytes.data(), std::min(bytes.size(), outputSize));
        return array->second.fillAnswer;
    }
    auto scalar = printer->capabilities.find(capability);
    return scalar == printer->capabilities.end() ? -1 : scalar->second;
}

// ---------------------------------------------------------------------------------------------

namespace {

class SimDeviceContext : public plat::IDeviceContext {
  public:
    SimDeviceContext(SimGdi& gdi, const std::map<int, SimGdi::EscapeAnswer>& answers)
        : gdi_(gdi), answers_(answers) {}
    ~SimDeviceContext() override { ++gdi_.deleted; }

    int Escape(int code, int inSize, const void* in, void* out) override {
        if (code == win::QUERYESCSUPPORT) {
            int16_t queried = 0;
            if (in && inSize >= 2) std::memcpy(&queried, in, 2);
            auto found = answers_.find(queried);
            return found != answers_.end() && found->second.result > 0 ? 1 : 0;
        }
        auto found = answers_.find(code);
        if (found == answers_.end()) return 0;
        if (out && !found->second.output.empty())
            std::memcpy(out, found->second.output.data(), found->second.output.size());
        return found->second.result;
    }

  private:
    SimGdi& gdi_;
    std::map<int, SimGdi::EscapeAnswer> answers_;
};

int16_t Read16(const void* block, size_t offset) {
    int16_t value = 0;
    std::memcpy(&value, static_cast<const uint8_t*>(block) + offset, 2);
    return value;
}

SimGdi::EscapeAnswer PointAnswer(int32_t x, int32_t y) {
    SimGdi::EscapeAnswer answer;
    answer.result = 1;
    answer.output.resize(8);
    std::memcpy(answer.output.data(), &x, 4);
    std::memcpy(answer.output.data() + 4, &y, 4);
    return answer;
}

}  // namespace

void SimGdi::SetPaperEscapes(int16_t paperSize, int32_t width, int32_t length, int32_t sideMargin,
                             int32_t endMargin) {
    auto& answers = escapesByPaper[paperSize];
    answers[win::GETPHYSPAGESIZE] = PointAnswer(width, length);
    answers[win::GETPRINTINGOFFSET] = PointAnswer(sideMargin, endMargin);
}

std::unique_ptr<plat::IDeviceContext> SimGdi::CreateIC(const char* driver, const char* device,
                                                       const char* port, const void* devmode) {
    ++calls;
    IcCall call;
    call.driver = driver ? driver : "";
    call.device = device ? device : "";
    call.port = port ? port : "";
    call.withDevMode = devmode != nullptr;
    // The settings are a DEVMODEA: dmSize at 36, dmOrientation at 44, dmPaperSize at 46. A block
    // of an installed printer is only as long as its driver reported; nothing past it is read.
    size_t length = SIZE_MAX;
    if (auto* spooler = dynamic_cast<SimSpooler*>(plat::Get().spooler)) {
        if (const SimPrinter* printer = spooler->Find(call.device)) {
            int32_t reported =
                printer->devModeSizeAnswer.value_or(int32_t(printer->devMode.size()));
            length = size_t(std::max(reported, 0));
        }
    }
    if (devmode && length >= 48 && uint16_t(Read16(devmode, 36)) >= 48) {
        call.orientation = Read16(devmode, 44);
        call.paperSize = Read16(devmode, 46);
    }
    call.created = !failCreateIC && failCreateICCall != calls;
    log.push_back(call);
    if (!call.created) return nullptr;
    ++created;
    auto byPaper = escapesByPaper.find(call.paperSize);
    return std::make_unique<SimDeviceContext>(
        *this, byPaper != escapesByPaper.end() ? byPaper->second : escapes);
}

// ---------------------------------------------------------------------------------------------

bool SimRegistry::CaseLess::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

class SimRegKey : public plat::IRegKey {
  public:
    SimRegKey(SimRegistry& registry, SimRegistry::Key& key) : registry_(registry), key_(key) {
        ++registry_.opened;
    }
    ~SimRegKey() override { ++registry_.closed; }
    SimRegistry::Key& key() { return key_; }

    long EnumKey(uint32_t index, char* name, uint32_t* nameLength) override {
        ++registry_.enumCalls;
        if (registry_.failEnumIndex >= 0 && int64_t(index) == registry_.failEnumIndex)
            return registry_.enumError;
        if (index >= key_.subkeys.size()) return win::ERROR_NO_MORE_ITEMS;
        auto it = key_.subkeys.begin();
        std::advance(it, index);
        const std::string& text = it->first;
        if (!name || !nameLength || *nameLength < text.size() + 1) return win::ERROR_MORE_DATA;
        std::memcpy(name, text.c_str(), text.size() + 1);
        *nameLength = uint32_t(text.size());
        return win::ERROR_SUCCESS;
    }

    long QueryValue(const char* valueName, uint32_t* type, uint8_t* data,
                    uint32_t* dataSize) override {
        if (registry_.queryError != 0) return registry_.queryError;
        auto found = key_.values.find(valueName ? valueName : "");
        if (found == key_.values.end()) return win::ERROR_FILE_NOT_FOUND;
        const auto& value = found->second;
        if (type) *type = value.type;
        if (!data) {
            if (dataSize) *dataSize = uint32_t(value.data.size());
            return win::ERROR_SUCCESS;
        }
        if (!dataSize || *dataSize < value.data.size()) {
            if (dataSize) *dataSize = uint32_t(value.data.size());
            return win::ERROR_MORE_DATA;
        }
        // An empty value copies nothing (and never from a null source).
        if (!value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
        *dataSize = uint32_t(value.data.size());
        return win::ERROR_SUCCESS;
    }

  private:
    SimRegistry& registry_;
    SimRegistry::Key& key_;
};

}  // namespace

SimRegistry::Key& SimRegistry::CreateKey(const std::string& path) {
    Key* key = &root;
    for (const auto& part : SplitPath(path)) key = &key->subkeys[part];
    return *key;
}

void SimRegistry::SetString(const std::string& path, const std::string& valueName,
                            const std::string& text) {
    Value value;
    value.type = win::REG_SZ;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
    CreateKey(path).values[valueName] = std::move(value);
}

void SimRegistry::SetBytes(const std::string& path, const std::string& valueName, uint32_t type,
                           const std::vector<uint8_t>& bytes) {
    Value value;
    value.type = type;
    value.data = bytes;
    CreateKey(path).values[valueName] = std::move(value);
}

long SimRegistry::OpenKey(plat::IRegKey* parent, const char* subKey, uint32_t access,
                          std::unique_ptr<plat::IRegKey>& out) {
    std::string path = subKey ? subKey : "";
    openLog.push_back(OpenCall{path, access, false});
    auto injected = failOpen.find(path);
    if (injected != failOpen.end()) return injected->second;
    Key* key = parent ? &static_cast<SimRegKey*>(parent)->key() : &root;
    for (const auto& part : SplitPath(path)) {
        auto found = key->subkeys.find(part);
        if (found == key->subkeys.end()) return win::ERROR_FILE_NOT_FOUND;
        key = &found->second;
    }
    out = std::make_unique<SimRegKey>(*this, *key);
    openLog.back().succeeded = true;
    return win::ERROR_SUCCESS;
}

}  // namespace sim
