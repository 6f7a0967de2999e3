// Bad installed printers, drivers, registry entries and information libraries, through the whole
// program: each printer is listed or not as discovery defines, the program never fails, and an
// update still reaches only the printer the user confirmed.
#include <gtest/gtest.h>

#include "hostile_harness.h"
#include "standins/infosim.h"

using hostile::Session;

namespace {

constexpr char kNoPrinter[] = "A compatible printer cannot be found.";
constexpr char kModels[] = "SOFTWARE\\Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0\\";
constexpr char kLibraryPath[] = "C:\\Drivers\\qvinfo.dll";

// A session that only looks at the list and leaves.
struct Look : Session {
    Look() { choices.clear(); }
};

}  // namespace

TEST(HostileDiscovery, DriversAnsweringNothingOrZeroAndBadSettingsSizes) {
    Look s;
    auto& spooler = s.p.machine.spooler;
    // Printers that cannot be opened or read come first: the ones after them are still listed.
    spooler.InstallSimple("NoOpen", apptest::kDriver).failOpen = true;
    spooler.InstallSimple("NoInfo", apptest::kDriver).failGetPrinterCall = 2;
    // Every DC_* answered with -1: DC_FIELDS is unanswered, so the printer is unusable.
    sim::SimPrinter& none = spooler.InstallSimple("Minus", apptest::kDriver);
    none.capabilities.clear();
    none.arrays.clear();
    // Every DC_* answered with 0, arrays empty: usable, with nothing known.
    sim::SimPrinter& zero = spooler.InstallSimple("Zero", apptest::kDriver);
    for (uint16_t cap = 1; cap <= 40; ++cap) zero.capabilities[cap] = 0;
    zero.arrays.clear();
    for (uint16_t cap : {win::DC_ENUMRESOLUTIONS}) zero.arrays[cap] = sim::CapabilityArray{};
    // Settings-block size queries answering 0, a negative size, or a size too small for the
    // public part; and a driver that cancels its settings fill.
    spooler.InstallSimple("Size0", apptest::kDriver).devModeSizeAnswer = 0;
    spooler.InstallSimple("SizeNeg", apptest::kDriver).devModeSizeAnswer = -2;
    spooler.InstallSimple("Size1", apptest::kDriver).devModeSizeAnswer = 1;
    spooler.InstallSimple("Cancel", apptest::kDriver).fillAnswer = win::IDCANCEL;
    s.p.Run();
    EXPECT_EQ(s.Listed(), (std::vector<std::string>{"Cancel", "Size1", "Zero"}));
    EXPECT_TRUE(s.BoxTexts().empty());
    EXPECT_EQ(spooler.counters.openHandles(), 0);
}

TEST(HostileDiscovery, EnumerationFailuresAndManyPrinters) {
    for (int way = 0; way < 2; ++way) {
        // The buffer grows between the size query and the fill, or the enumeration fails.
        Look s;
        s.Install("P1");
        if (way == 0) {
            sim::SimPrinter late;
            late.name = "Late";
            late.driver = apptest::kDriver;
            s.p.machine.spooler.installAfterSizeQuery.push_back(late);
        } else {
            s.p.machine.spooler.failEnumeration = true;
        }
        s.p.Run();
        EXPECT_TRUE(s.Listed().empty());
        EXPECT_EQ(s.BoxTexts(), (std::vector<std::string>{kNoPrinter}));
        EXPECT_EQ(s.Boxes()[0].type & win::MB_ICONMASK, win::MB_ICONERROR);
        EXPECT_FALSE(s.mainView.Control(IDC_UPDATE)->enabled);
        EXPECT_FALSE(s.mainView.Control(IDC_COMBO_PRINTER)->enabled);
        EXPECT_TRUE(s.exitPressed);
        EXPECT_EQ(s.p.machine.ui.OpenDialogs(), 0);
        EXPECT_TRUE(simprinter::Instance().Log().empty());
    }
    {
        // 5000 installed printers, three of them of the model's drivers: only those three are
        // ever opened.
        Session s;
        auto& spooler = s.p.machine.spooler;
        spooler.keepLog = false;
        for (int i = 0; i < 5000; ++i) {
            std::string name = "Office " + std::to_string(i);
            if (i == 10 || i == 2500 || i == 4999)
                spooler.InstallSimple(name, i == 2500 ? "VT-200 Inbox" : apptest::kDriver);
            else
                spooler.InstallSimple(name, "Generic Office Driver");
        }
        hostile::ChangePrinter([](simprinter::State& st) {
            st.printerNames = {"Office 10", "Office 2500"};
        });
        s.p.Run();
        EXPECT_EQ(s.Listed(),
                  (std::vector<std::string>{"Office 10", "Office 2500", "Office 4999"}));
        EXPECT_EQ(spooler.counters.enumPrinters, 2);
        EXPECT_EQ(spooler.counters.openPrinter, spooler.counters.closePrinter);
        EXPECT_LE(spooler.counters.openPrinter, 3 * 8);
        // The preselected first printer was updated, and only it.
        EXPECT_EQ(s.confirmed, (std::set<std::string>{"Office 10"}));
        s.ExpectNothingUnconfirmed();
    }
}

TEST(HostileDiscovery, NamesThatDoNotFitAreNotListedAndListedNamesAreUsedWhole) {
    Session s;
    const std::string fits(259, 'n'), tooLong(260, 'n'), far(300, 'f');
    for (const std::string& name : {fits, tooLong, far}) s.Install(name);
    // A driver name that only begins like the model's driver does not count.
    s.p.machine.spooler.InstallSimple("Lookalike", std::string(apptest::kDriver) + " X");
    s.choices = {fits};
    hostile::ChangePrinter([&](simprinter::State& st) { st.printerNames = {fits}; });
    s.p.Run();
    EXPECT_EQ(s.Listed(), (std::vector<std::string>{fits}));
    ASSERT_EQ(s.BoxTexts().size(), 2u);
    EXPECT_EQ(s.BoxTexts()[1], "Completed the firmware update for M100.");
    ASSERT_EQ(simprinter::Instance().ReceivedPackages().size(), 1u);
    EXPECT_EQ(simprinter::Instance().ReceivedPackages()[0].printer, fits);
    EXPECT_EQ(s.p.machine.spooler.CallsFor(far.substr(0, 259)), 0);
    EXPECT_EQ(s.p.machine.spooler.CallsFor("Lookalike"), 0);
    s.ExpectNothingUnconfirmed();
}

TEST(HostileDiscovery, JapaneseNamesWithTrailBytesLikeASeparatorReachTheirOwnPrinter) {
    // "表示" and "ソ" carry 0x5C, the backslash byte, as their second byte in code page 932.
    const std::string display = "\x95\x5C\x8E\xA6", sole = "\x83\x5C";
    Session s(sim::MachineOptions{sim::Language::Japanese});
    s.Install(display);
    s.Install(sole);
    s.Install(display + sole);
    s.choices = {sole};
    hostile::ChangePrinter([&](simprinter::State& st) { st.printerNames = {sole}; });
    s.p.Run();
    EXPECT_EQ(s.Listed().size(), 3u);
    EXPECT_EQ(s.confirmed, (std::set<std::string>{sole}));
    ASSERT_EQ(simprinter::Instance().ReceivedPackages().size(), 1u);
    EXPECT_EQ(simprinter::Instance().ReceivedPackages()[0].printer, sole);
    s.ExpectNothingUnconfirmed();
}

TEST(HostileDiscovery, BadInformationLibrariesLeaveThePrinterListedAndUpdatable) {
    struct Case {
        const char* what;
        std::function<void(Session&)> setUp;
    };
    const std::string key = std::string(kModels) + apptest::kDriver;
    auto registerLibrary = [&](Session& s, const infosim::Data& data) {
        s.p.machine.registry.SetString(key, "Info Dll", kLibraryPath);
        s.p.machine.modules.Register("qvinfo.dll", simprinter::QvInfoExports());
        s.p.machine.system.AddFile(kLibraryPath, "");
        infosim::Instance().SetData(data);
    };
    infosim::Data checkOnly;
    checkOnly.answers[269] = 0x40000;
    checkOnly.answerTapes = checkOnly.answerFeeds = false;
    infosim::Data silly = infosim::DefaultData();
    silly.tapeCountOverride = 100000;
    silly.feedCountOverride = -7;
    const std::vector<Case> cases = {
        {"value without terminator",
         [&](Session& s) {
             s.p.machine.registry.SetBytes(key, "Info Dll", win::REG_SZ,
                                           std::vector<uint8_t>(260, 'C'));
         }},
        {"value too long",
         [&](Session& s) {
             s.p.machine.registry.SetString(key, "Info Dll", "C:\\" + std::string(400, 'x'));
         }},
        {"value empty",
         [&](Session& s) { s.p.machine.registry.SetBytes(key, "Info Dll", win::REG_SZ, {}); }},
        {"value of another type",
         [&](Session& s) {
             s.p.machine.registry.SetBytes(key, "Info Dll", 4, {0xFF, 0xFF, 0xFF, 0xFF});
         }},
        {"library missing",
         [&](Session& s) {
             s.p.machine.registry.SetString(key, "Info Dll", "C:\\Drivers\\gone.dll");
         }},
        {"library unloadable",
         [&](Session& s) {
             s.p.machine.registry.SetString(key, "Info Dll", "C:\\Drivers\\junk.dll");
             s.p.machine.system.AddFile("C:\\Drivers\\junk.dll", "MZ junk");
         }},
        {"library without the export",
         [&](Session& s) {
             s.p.machine.registry.SetString(key, "Info Dll", "C:\\Drivers\\empty.dll");
             s.p.machine.modules.Register("empty.dll", {});
             s.p.machine.system.AddFile("C:\\Drivers\\empty.dll", "");
         }},
        {"library answering -1", [&](Session& s) { registerLibrary(s, infosim::Data{}); }},
        {"library answering only its check", [&](Session& s) { registerLibrary(s, checkOnly); }},
        {"library answering odd counts", [&](Session& s) { registerLibrary(s, silly); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.Install("P1");
        c.setUp(s);
        s.p.Run();
        EXPECT_EQ(s.Listed(), (std::vector<std::string>{"P1"}));
        ASSERT_EQ(s.BoxTexts().size(), 2u);
        EXPECT_EQ(s.BoxTexts()[1], "Completed the firmware update for M100.");
        EXPECT_EQ(s.p.machine.registry.openKeys(), 0);
        EXPECT_EQ(s.p.machine.modules.LiveModules(), 0);
        s.ExpectNothingUnconfirmed();
    }
    infosim::Instance().SetData(infosim::DefaultData());
    infosim::Instance().ClearCalls();
}

TEST(HostileDiscovery, SpecialTapeNamesAreUpdatedUnderTheNameTheUserChose) {
    Session s;
    s.Install("Label");
    s.Install("Label(Special Tape)");
    s.Install("Office(Special Tape)");  // addresses "Office", a queue of another driver
    s.p.machine.spooler.InstallSimple("Office", "Generic Office Driver");
    s.choices = {"Label(Special Tape)"};
    hostile::ChangePrinter([](simprinter::State& st) {
        st.printerNames = {"Label", "Label(Special Tape)", "Office"};
    });
    s.p.Run();
    EXPECT_EQ(s.Listed(), (std::vector<std::string>{"Label", "Label(Special Tape)"}));
    EXPECT_EQ(s.p.machine.spooler.CallsFor("Office"), 0);
    ASSERT_EQ(simprinter::Instance().ReceivedPackages().size(), 1u);
    EXPECT_EQ(simprinter::Instance().ReceivedPackages()[0].printer, "Label(Special Tape)");
    s.ExpectNothingUnconfirmed();
}
