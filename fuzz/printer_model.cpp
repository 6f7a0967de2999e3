#include "printer_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "device/devmode.h"
#include "device/infolib.h"
#include "device/media.h"

namespace fuzz {

namespace {

constexpr char kInfoPath[] = "C:\\Tools\\qvinfo.dll";
constexpr char kVendor[] = "Vantoro Industries, Ltd.";

// What the fuzzed information library answers: a value (or -1) per capability, and the bytes
// its table fills are taken from.
struct LibraryAnswers {
    std::map<uint32_t, int32_t> answers;
    std::vector<uint8_t> pool;
} g_library;

int32_t ULMA_WINAPI FakeDeviceCapabilities(const char* device, const char*, uint32_t capability,
                                           char* output, const void*) {
    Check(device != nullptr, "the information library was asked without a device name");
    auto it = g_library.answers.find(capability);
    int32_t answer = it == g_library.answers.end() ? -1 : it->second;
    if (!output || answer <= 0) return answer;
    // A fill writes the records of the count it answered to the query, no more.
    size_t record = capability == infolib::kCapTapes   ? media::kTapeSize
                    : capability == infolib::kCapFeeds ? media::kFeedSize
                                                       : 0;
    // The pool repeated, copied a pool at a time: tables of many records stay fast to fill, and
    // the sanitizer still checks every copy against the caller's buffer.
    const std::vector<uint8_t>& pool = g_library.pool;
    const size_t bytes = record * size_t(answer);
    for (size_t done = 0; done < bytes;) {
        const size_t n = pool.empty() ? bytes - done : std::min(pool.size(), bytes - done);
        if (pool.empty()) {
            std::memset(output + done, 0, n);
        } else {
            std::memcpy(output + done, pool.data(), n);
        }
        done += n;
    }
    return answer;
}

int32_t Count(FuzzedDataProvider& in) {
    // Mostly small counts; now and then any negative value or a large one. Counts whose tables
    // cannot be allocated take the std::bad_alloc path in a normal build, which AddressSanitizer
    // reports as out-of-memory instead of throwing, so they stay below 2^17.
    if (in.ConsumeBool()) return in.ConsumeIntegralInRange<int32_t>(-2, 40);
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(INT32_MIN, -1)
                            : in.ConsumeIntegralInRange<int32_t>(0, 1 << 17);
}

// True for one selector value in `odds`. An input that has run out reads as 0, so a short
// input gives the well-formed world and each failure has to be asked for.
bool Rarely(FuzzedDataProvider& in, int odds) {
    return in.ConsumeIntegralInRange<int>(0, odds - 1) == odds - 1;
}

std::vector<uint8_t> Bytes(FuzzedDataProvider& in, size_t max) {
    return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, max));
}

// Writes the low `width` bytes of value little-endian at offset, those that fall inside the block;
// a write that runs past the end is cut there, as the fuzzed overwrites want.
void Put(std::vector<uint8_t>& block, size_t offset, uint32_t value, size_t width) {
    for (size_t i = 0; i < width && offset + i < block.size(); ++i)
        block[offset + i] = uint8_t(value >> (8 * i));
}

// How the driver keeps its forms in the private area of the settings block; the library's driver
// flags tell the same layout, as a driver and its library come together.
enum class Layout { None, New, Old };

// A private area of the layout, mostly as long as its form count needs (at times any length), and
// for the new layout with a size tag that agrees with the count (or one of the two fixed tags,
// or any), so that the forms and the options behind them are read; the rest of the area comes
// from the input.
std::vector<uint8_t> LayoutArea(FuzzedDataProvider& in, Layout layout) {
    const bool isNew = layout == Layout::New;
    const uint16_t count = in.ConsumeIntegralInRange<uint16_t>(0, isNew ? 24 : 12);
    const size_t fitting = isNew ? media::kPrivForms + media::kFormSize * count
                                 : media::kOldForms + media::kOldFormSize * count;
    const size_t length = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(0, 4600) : fitting;
    std::vector<uint8_t> area = in.ConsumeBytes<uint8_t>(length);
    area.resize(length, 0);
    if (isNew) {
        const uint16_t tags[] = {uint16_t(fitting), 3030, 4530, in.ConsumeIntegral<uint16_t>()};
        Put(area, media::kPrivTag, tags[in.ConsumeIntegralInRange<size_t>(0, 3)], 2);
        Put(area, media::kPrivFormCount, count, 2);
    } else {
        Put(area, media::kOldFormCount, count, 1);
    }
    return area;
}

// The paper table a driver answers when there is no information library: names in 64-byte slots,
// sizes in tenths of a millimetre, paper codes.
void SetPapers(sim::SimPrinter& p) {
    const char* const names[] = {"62mm x 100mm", "29mm x 90mm"};
    const int32_t sizes[][2] = {{620, 1000}, {290, 900}};
    const uint16_t codes[] = {1, 260};
    sim::CapabilityArray n{2, 2, std::vector<uint8_t>(2 * 64, 0)};
    sim::CapabilityArray z{2, 2, std::vector<uint8_t>(2 * 8, 0)};
    sim::CapabilityArray c{2, 2, std::vector<uint8_t>(2 * 2, 0)};
    for (size_t i = 0; i < 2; ++i) {
        std::memcpy(n.bytes.data() + i * 64, names[i], std::strlen(names[i]));
        Put(z.bytes, i * 8, uint32_t(sizes[i][0]), 4);
        Put(z.bytes, i * 8 + 4, uint32_t(sizes[i][1]), 4);
        Put(c.bytes, i * 2, codes[i], 2);
    }
    p.arrays[win::DC_PAPERNAMES] = n;
    p.arrays[win::DC_PAPERSIZE] = z;
    p.arrays[win::DC_PAPERS] = c;
}

// The page size and printing offset a driver's device context answers, in dots.
void SetEscapes(sim::Machine& machine) {
    auto point = [](int32_t x, int32_t y) {
        std::vector<uint8_t> out(8, 0);
        Put(out, 0, uint32_t(x), 4);
        Put(out, 4, uint32_t(y), 4);
        return sim::SimGdi::EscapeAnswer{1, out};
    };
    machine.gdi.escapes[win::GETPHYSPAGESIZE] = point(732, 1181);
    machine.gdi.escapes[win::GETPRINTINGOFFSET] = point(18, 12);
}

// Replaces the private area after the public part of the block, with its size in the block.
void SetPrivateArea(sim::SimPrinter& p, const std::vector<uint8_t>& area) {
    p.devMode.resize(devmode::kPublicSize);
    p.devMode.insert(p.devMode.end(), area.begin(), area.end());
    Put(p.devMode, devmode::kDriverExtra, uint32_t(area.size()), 2);
}

// The settings block: the well-formed one, that block with public fields or private area
// changed, or any bytes.
void FuzzDevMode(FuzzedDataProvider& in, sim::SimPrinter& p) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return;
        case 1: {
            // Public fields as a driver may set them, and at times a private area of any bytes.
            std::vector<uint8_t>& dm = p.devMode;
            for (size_t offset : {devmode::kFields, devmode::kOrientation, devmode::kPaperSize,
                                  devmode::kPaperLength, devmode::kPaperWidth, devmode::kScale,
                                  devmode::kPrintQuality, devmode::kColor, devmode::kYResolution}) {
                if (in.ConsumeBool())
                    Put(dm, offset, in.ConsumeIntegral<uint32_t>(),
                        offset == devmode::kFields ? 4 : 2);
            }
            if (in.ConsumeBool()) SetPrivateArea(p, Bytes(in, 256));
            return;
        }
        case 2: {
            // A few bytes overwritten anywhere, the sizes in the block included; the block may
            // also be cut or grown.
            std::vector<uint8_t>& dm = p.devMode;
            if (in.ConsumeBool()) dm.resize(in.ConsumeIntegralInRange<size_t>(0, 1024));
            for (int i = in.ConsumeIntegralInRange<int>(1, 6); i > 0 && !dm.empty(); --i) {
                size_t at = in.ConsumeIntegralInRange<size_t>(0, dm.size() - 1);
                Put(dm, at, in.ConsumeIntegral<uint32_t>(),
                    in.ConsumeIntegralInRange<size_t>(1, 4));
            }
            return;
        }
        default:
            p.devMode = Bytes(in, 1024);
            return;
    }
}

void FuzzDriver(FuzzedDataProvider& in, sim::Machine& machine, sim::SimPrinter& p) {
    if (in.ConsumeBool()) p.port = in.ConsumeRandomLengthString(300);
    if (in.ConsumeBool()) p.server = in.ConsumeRandomLengthString(300);
    for (uint16_t cap : {win::DC_FIELDS, win::DC_MAXEXTENT, win::DC_MINEXTENT, win::DC_ORIENTATION,
                         win::DC_COPIES}) {
        if (in.ConsumeBool()) p.capabilities[cap] = in.ConsumeIntegral<int32_t>();
    }
    for (uint16_t cap :
         {win::DC_ENUMRESOLUTIONS, win::DC_PAPERNAMES, win::DC_PAPERSIZE, win::DC_PAPERS}) {
        if (!in.ConsumeBool()) continue;
        sim::CapabilityArray a;
        a.countAnswer = Count(in);
        a.fillAnswer = Count(in);
        a.bytes = Bytes(in, 4096);
        p.arrays[cap] = std::move(a);
    }
    FuzzDevMode(in, p);
    if (in.ConsumeBool()) p.devModeSizeAnswer = in.ConsumeIntegralInRange<int32_t>(-4, 1024);
    if (in.ConsumeBool()) p.fillAnswer = in.ConsumeIntegralInRange<int32_t>(-2, 2);
    p.failOpen = Rarely(in, 16);
    p.failGetPrinterCall = in.ConsumeIntegralInRange<int>(0, 3);
    for (int code : {win::GETPHYSPAGESIZE, win::GETPRINTINGOFFSET}) {
        if (!in.ConsumeBool()) continue;
        sim::SimGdi::EscapeAnswer e;
        e.result = in.ConsumeIntegralInRange<int>(-1, 2);
        e.output = in.ConsumeBytes<uint8_t>(8);  // the escape's POINT
        e.output.resize(8);
        machine.gdi.escapes[code] = e;
    }
    machine.gdi.failCreateICCall = in.ConsumeIntegralInRange<int>(0, 4);
    // A spooler asking for less than a record, or counting more records than it filled.
    if (Rarely(in, 8)) p.getPrinterSizeAnswer = in.ConsumeIntegralInRange<uint32_t>(0, 256);
    if (Rarely(in, 8)) machine.spooler.enumCountAnswer = in.ConsumeIntegral<uint32_t>();
    // Queues of another driver, named like ours but for letter case or the special-tape suffix,
    // each listed under its own name; and ours listed under any name, as a name the code page
    // cannot hold comes back with '?' in place of what it lacks.
    std::string lower = p.name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (int i = in.ConsumeIntegralInRange<int>(0, 2); i > 0; --i) {
        const std::string names[] = {lower, p.name + "(special tape)", lower + "(Special Tape)",
                                     p.name.substr(0, 1) + "?"};
        std::string name = in.ConsumeBool() ? names[in.ConsumeIntegralInRange<size_t>(0, 3)]
                                            : in.ConsumeRandomLengthString(40);
        if (name == p.name) name += "x";
        machine.spooler.InstallSimple(name, "Other Driver");
    }
    if (in.ConsumeBool()) {
        p.ansiName =
            in.ConsumeBool() ? p.name.substr(0, 1) + "?" : in.ConsumeRandomLengthString(40);
    }
}
void FuzzRegistry(FuzzedDataProvider& in, sim::Machine& machine, const std::string& printer) {
    sim::SimRegistry& reg = machine.registry;
    // Vendor keys before and after ours, model keys beside the driver's.
    for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0; --i)
        reg.CreateKey("SOFTWARE\\" + in.ConsumeRandomLengthString(160));
    std::string models = std::string("SOFTWARE\\") + kVendor + "\\Q-varni\\Driver\\3.0\\";
    for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0; --i)
        reg.CreateKey(models + in.ConsumeRandomLengthString(160));
    // Enough keys before ours to pass the search's limits on vendor and model keys.
    if (Rarely(in, 8)) {
        const bool vendors = in.ConsumeBool();
        const int limit = vendors ? infolib::kMaxVendorKeys : infolib::kMaxModelKeys;
        const int count = in.ConsumeBool() ? limit + in.ConsumeIntegralInRange<int>(-2, 2)
                                           : in.ConsumeIntegralInRange<int>(0, limit + 10);
        char filler[16];
        for (int i = 0; i < count; ++i) {
            std::snprintf(filler, sizeof filler, "K%05d", i);
            reg.CreateKey((vendors ? std::string("SOFTWARE\\") : models) + filler);
        }
    }
    // The driver's key, one under the printer's name, or any name.
    std::string model = apptest::kDriver;
    const int which = in.ConsumeIntegralInRange<int>(0, 2);
    if (which == 1) model = printer;
    if (which == 2) model = in.ConsumeRandomLengthString(160);
    std::vector<uint8_t> value(kInfoPath, kInfoPath + sizeof kInfoPath);
    if (in.ConsumeBool()) value = Bytes(in, 400);
    reg.SetBytes(models + model, "Info Dll", in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : 1,
                 value);
    if (Rarely(in, 8)) reg.failEnumIndex = in.ConsumeIntegralInRange(0, 5);
    if (Rarely(in, 8)) reg.queryError = 234;  // ERROR_MORE_DATA
}

// Starts from the answers of a well-formed library; each answer may be replaced.
void FuzzLibrary(FuzzedDataProvider& in) {
    for (uint32_t cap :
         {infolib::kCapDriverFlags, infolib::kCapTapes, infolib::kCapFeeds, infolib::kCapColors,
          infolib::kCapOrigin, infolib::kCapOffset, infolib::kCap276, infolib::kCapModelCode}) {
        if (!in.ConsumeBool()) continue;
        bool table = cap == infolib::kCapTapes || cap == infolib::kCapFeeds;
        g_library.answers[cap] = table ? Count(in) : in.ConsumeIntegral<int32_t>();
    }
    std::vector<uint8_t> pool = Bytes(in, 2048);
    if (!pool.empty()) g_library.pool = std::move(pool);
}

}  // namespace

void BuildModel(FuzzedDataProvider& in, sim::Machine& machine, const ModelParts& parts) {
    g_library = LibraryAnswers();
    // Installers name a queue after its driver by default.
    const std::string name = in.ConsumeBool() ? apptest::kDriver : "P1";
    const Layout layout = Layout(in.ConsumeIntegralInRange<int>(0, 2));
    const uint32_t layoutFlag = layout == Layout::New   ? media::kNewLayout
                                : layout == Layout::Old ? media::kOldLayout
                                                        : 0;
    g_library.answers = {
        {infolib::kCapDriverFlags, int32_t(infolib::kSpecialTapeSupport | layoutFlag)},
        {infolib::kCapTapes, 2},
        {infolib::kCapFeeds, 1}};
    g_library.pool.assign(64, 0x11);
    sim::SimPrinter& p = machine.spooler.InstallSimple(name, apptest::kDriver);
    SetPapers(p);
    SetEscapes(machine);
    if (layout != Layout::None) SetPrivateArea(p, LayoutArea(in, layout));
    if (parts.fuzzDriver) FuzzDriver(in, machine, p);
    if (parts.fuzzRegistry) {
        FuzzRegistry(in, machine, name);
    } else if (!Rarely(in, 4)) {
        // At times no library is named, and the driver's own paper table is read instead.
        machine.registry.SetString(
            std::string("SOFTWARE\\") + kVendor + "\\Q-varni\\Driver\\3.0\\" + apptest::kDriver,
            "Info Dll", kInfoPath);
    }
    if (parts.fuzzLibrary) FuzzLibrary(in);
    machine.modules.Register(
        "qvinfo.dll", {{"MyDeviceCapabilities", reinterpret_cast<void*>(&FakeDeviceCapabilities)}});
    // A special-tape queue of the same printer.
    if (in.ConsumeBool()) {
        sim::SimPrinter copy = p;
        copy.name = name + "(Special Tape)";
        machine.spooler.Install(std::move(copy));
    }
}

void DiscoverAndCheck(sim::Machine& machine) {
    CPrinterList& list = GetPrinterList();
    list.EnumeratePrinters(apptest::kDriver, "");
    for (const auto& printer : list.Printers()) {
        std::string text = CPrinterList::GetPrinterText(*printer);
        Check(text.size() < 260, "a printer text longer than its field");
        char name[260];
        printer->GetDisplayName(name, sizeof name);
        Check(std::memchr(name, '\0', sizeof name) != nullptr, "a display name without end");
    }
    // No listed printer is a queue of another driver, and a queue the enumeration shows under
    // another driver is never opened.
    for (const auto& printer : list.Printers()) {
        const sim::SimPrinter* queue = machine.spooler.Find(printer->m_szPrinterName);
        Check(!queue || queue->driver != "Other Driver", "a queue of another driver was listed");
    }
    for (const sim::SpoolerCall& call : machine.spooler.log) {
        const sim::SimPrinter* opened =
            call.function == "OpenPrinter" ? machine.spooler.Find(call.printer) : nullptr;
        Check(!opened || opened->driver != "Other Driver" ||
                  machine.spooler.enumCountAnswer.has_value(),
              "a listed queue of another driver was opened");
    }
    Check(machine.spooler.counters.openHandles() == 0, "a printer handle was left open");
    Check(machine.gdi.liveContexts() == 0, "an information context was left open");
    Check(machine.registry.openKeys() == 0, "a registry key was left open");
    Check(machine.modules.LiveModules() == 0, "an information library was left loaded");
    list.ResetForTest();
}

}  // namespace fuzz
