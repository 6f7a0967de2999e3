#include "printer_model.h"

#include <cstring>

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
    size_t bytes = record * size_t(answer);
    for (size_t i = 0; i < bytes; ++i)
        output[i] = g_library.pool.empty() ? 0 : char(g_library.pool[i % g_library.pool.size()]);
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

std::vector<uint8_t> Bytes(FuzzedDataProvider& in, size_t max) {
    return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, max));
}

void FuzzDriver(FuzzedDataProvider& in, sim::Machine& machine, sim::SimPrinter& p) {
    p.port = in.ConsumeRandomLengthString(300);
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
    p.devMode = Bytes(in, 1024);
    if (in.ConsumeBool()) p.devModeSizeAnswer = in.ConsumeIntegralInRange<int32_t>(-4, 1024);
    if (in.ConsumeBool()) p.fillAnswer = in.ConsumeIntegralInRange<int32_t>(-2, 2);
    p.failOpen = in.ConsumeIntegralInRange<int>(0, 15) == 0;
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
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        p.getPrinterSizeAnswer = in.ConsumeIntegralInRange<uint32_t>(0, 256);
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        machine.spooler.enumCountAnswer = in.ConsumeIntegral<uint32_t>();
    // Queues of another driver, named like ours but for letter case or the special-tape suffix,
    // each listed under its own name; and ours listed under any name, as a name the code page
    // cannot hold comes back with '?' in place of what it lacks.
    for (int i = in.ConsumeIntegralInRange<int>(0, 2); i > 0; --i) {
        static const char* const kNames[] = {"p1", "P1(special tape)", "p1(Special Tape)", "P?"};
        std::string name = in.ConsumeBool() ? kNames[in.ConsumeIntegralInRange<size_t>(0, 3)]
                                            : in.ConsumeRandomLengthString(40);
        if (name == p.name) name += "x";
        machine.spooler.InstallSimple(name, "Other Driver");
    }
    if (in.ConsumeBool()) p.ansiName = in.ConsumeBool() ? "P?" : in.ConsumeRandomLengthString(40);
}

void FuzzRegistry(FuzzedDataProvider& in, sim::Machine& machine) {
    sim::SimRegistry& reg = machine.registry;
    // Vendor keys before and after ours, model keys beside the driver's.
    for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0; --i)
        reg.CreateKey("SOFTWARE\\" + in.ConsumeRandomLengthString(160));
    std::string models = std::string("SOFTWARE\\") + kVendor + "\\Q-varni\\Driver\\3.0\\";
    for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0; --i)
        reg.CreateKey(models + in.ConsumeRandomLengthString(160));
    std::string model = in.ConsumeBool() ? apptest::kDriver : in.ConsumeRandomLengthString(160);
    std::vector<uint8_t> value;
    if (in.ConsumeBool()) {
        value.assign(kInfoPath, kInfoPath + sizeof kInfoPath);
    } else {
        value = Bytes(in, 400);
    }
    reg.SetBytes(models + model, "Info Dll", in.ConsumeBool() ? 1 : in.ConsumeIntegral<uint32_t>(),
                 value);
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        reg.failEnumIndex = in.ConsumeIntegralInRange(0, 5);
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) reg.queryError = 234;  // ERROR_MORE_DATA
}

void FuzzLibrary(FuzzedDataProvider& in) {
    for (uint32_t cap :
         {infolib::kCapDriverFlags, infolib::kCapTapes, infolib::kCapFeeds, infolib::kCapColors,
          infolib::kCapOrigin, infolib::kCapOffset, infolib::kCap276, infolib::kCapModelCode}) {
        if (!in.ConsumeBool()) continue;
        bool table = cap == infolib::kCapTapes || cap == infolib::kCapFeeds;
        g_library.answers[cap] = table ? Count(in) : in.ConsumeIntegral<int32_t>();
    }
    g_library.pool = Bytes(in, 2048);
}

}  // namespace

void BuildModel(FuzzedDataProvider& in, sim::Machine& machine, const ModelParts& parts) {
    g_library = LibraryAnswers();
    sim::SimPrinter& p = machine.spooler.InstallSimple("P1", apptest::kDriver);
    if (parts.fuzzDriver) FuzzDriver(in, machine, p);
    if (parts.fuzzRegistry) {
        FuzzRegistry(in, machine);
    } else {
        machine.registry.SetString(
            std::string("SOFTWARE\\") + kVendor + "\\Q-varni\\Driver\\3.0\\" + apptest::kDriver,
            "Info Dll", kInfoPath);
    }
    if (parts.fuzzLibrary) {
        FuzzLibrary(in);
    } else {
        g_library.answers = {{infolib::kCapDriverFlags, int32_t(infolib::kSpecialTapeSupport)},
                             {infolib::kCapTapes, 2},
                             {infolib::kCapFeeds, 1}};
        g_library.pool.assign(64, 0x11);
    }
    machine.modules.Register(
        "qvinfo.dll", {{"MyDeviceCapabilities", reinterpret_cast<void*>(&FakeDeviceCapabilities)}});
    // A special-tape queue of the same printer.
    if (in.ConsumeBool()) {
        sim::SimPrinter copy = p;
        copy.name = "P1(Special Tape)";
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
