// The Update command on the simulated machine: every way it can end before the transfer, the
// confirmation, the system-information check, and a completed update that ends the program.
#include <gtest/gtest.h>

#include <algorithm>

#include "app_harness.h"
#include "support/package_file.h"

using apptest::Program;

namespace {

constexpr char kInboxDriver[] = "VT-200 Inbox";

std::string Ini(const std::string& country) {
    return std::string("[UPDATE]\r\nNewVersion=1.06\r\nCountry=") + country +
           "\r\nDriverName=" + apptest::kDriver + "\r\nInboxDriverName=" + kInboxDriver +
           "\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\nKF7FileName2=\r\n";
}

// Where the library stand-ins below type: the main dialog's user, who types while the dialog
// does not respond.
sim::SimUi* g_typingUi = nullptr;
void TypeEnter() {
    if (g_typingUi) g_typingUi->TypeAhead(sim::TypedKey::Enter);
}

// The transfer-driver library's printer set-up and status read, with Enter typed while each runs.
int32_t ULMA_WINAPI InitPrinterWhileTyping(const char* printerName, uint8_t* record10) {
    TypeEnter();
    return simprinter::Instance().XMInitPrinter(printerName, record10);
}
int32_t ULMA_WINAPI GetStatusWhileTyping(uint8_t* status32, int32_t value) {
    TypeEnter();
    return simprinter::Instance().XMGetStatus(status32, value);
}

// A program whose user presses Update once and then Exit, on printer P1 (or another name) of
// the configured driver (or another).
class UpdateRun {
  public:
    explicit UpdateRun(const std::string& country = "c", const std::string& printer = "P1",
                       const std::string& driver = apptest::kDriver) {
        p.SetIni(Ini(country));
        p.machine.system.AddFile("C:\\Tools\\fw.kf7", testpkg::Package(256, std::string(256, 'F')));
        p.machine.spooler.InstallSimple(printer, driver);
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [this](const sim::DialogView&, sim::SimUi& ui,
                                                  int step) {
            if (step > 0) exitPressed = true;
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
        };
    }
    ~UpdateRun() {
        if (g_typingUi == &p.machine.ui) g_typingUi = nullptr;
    }
    // Replaces one export of the transfer-driver library with a stand-in that types at this
    // program's main dialog.
    void TypeDuring(const char* exportName, void* typingExport) {
        auto exports = simprinter::XmLinkExports();
        exports[exportName] = typingExport;
        p.machine.modules.Register("XmLink.dll", exports);
        g_typingUi = &p.machine.ui;
    }
    void Change(const std::function<void(simprinter::State&)>& f) {
        simprinter::State s = simprinter::Instance().GetState();
        f(s);
        simprinter::Instance().SetState(s);
    }
    int Count(const std::string& prefix) const {
        auto log = simprinter::Instance().Log();
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    std::vector<sim::MessageBoxRecord> Boxes() const { return p.machine.ui.MessageBoxes(); }

    Program p;
    bool exitPressed = false;
};

uint32_t Icon(const sim::MessageBoxRecord& box) { return box.type & win::MB_ICONMASK; }

}  // namespace

TEST(UpdateCommand, ACompletedUpdateAsksFirstAndEndsTheProgram) {
    // A printer of the second driver name the configuration gives is updated alike.
    for (const char* driver : {apptest::kDriver, kInboxDriver}) {
        SCOPED_TRACE(driver);
        UpdateRun run("c", "P1", driver);
        run.p.Run();
        auto boxes = run.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].text,
                  "The current firmware version is 1.05c.\n\nThis firmware update is version "
                  "1.06.\n\nOK to update the current M100 firmware?\n\n\n");
        EXPECT_EQ(boxes[0].type & win::MB_TYPEMASK, win::MB_YESNO);
        EXPECT_EQ(Icon(boxes[0]), win::MB_ICONQUESTION);
        EXPECT_EQ(boxes[0].type & 0xF00u, win::MB_DEFBUTTON1);
        EXPECT_EQ(boxes[0].ownerTemplateId, IDD_ULMAUPDATE_DIALOG);
        EXPECT_EQ(boxes[1].text, "Completed the firmware update for M100.");
        // The main dialog closed by itself: Exit was never needed.
        EXPECT_FALSE(run.exitPressed);
        auto received = simprinter::Instance().ReceivedPackages();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].printer, "P1");
        EXPECT_EQ(received[0].bytes.size(), 64u + 256u);
    }
}

TEST(UpdateCommand, APrinterThatCannotBeSelectedGetsNothing) {
    // The driver library does not know this printer: XMInitPrinter fails. An Enter typed while
    // the library was at it must not dismiss the failure before the user has read it.
    UpdateRun run("c", "P9");
    run.TypeDuring("XMInitPrinter", reinterpret_cast<void*>(&InitPrinterWhileTyping));
    run.p.Run();
    auto boxes = run.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Cannot communicate with the printer.", 0), 0u);
    EXPECT_EQ(Icon(boxes[0]), win::MB_ICONWARNING);
    EXPECT_FALSE(boxes[0].typedAhead) << "the failure went before the user could see it";
    EXPECT_EQ(run.Count("XMInitPrinter"), 1);
    EXPECT_EQ(run.Count("QVWriteFile"), 0);
    EXPECT_EQ(run.Count("XMCmdInit"), 0);
    EXPECT_EQ(run.Count("XMSendFile"), 0);
    EXPECT_TRUE(run.exitPressed);
}

TEST(UpdateCommand, PrinterExchangeFailuresEndTheCommand) {
    struct Case {
        std::function<void(simprinter::State&)> fault;
        uint32_t icon;
        bool readFailure;
    };
    std::vector<Case> cases = {
        {[](simprinter::State& s) { s.statusNotReady = true; }, win::MB_ICONWARNING, false},
        {[](simprinter::State& s) { s.noAnswerPreamble = true; }, win::MB_ICONERROR, false},
        {[](simprinter::State& s) { s.noAnswerInfo = true; }, win::MB_ICONERROR, false},
        {[](simprinter::State& s) { s.noAnswerRead = true; }, win::MB_ICONERROR, true},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        UpdateRun run;
        run.Change(cases[i].fault);
        // The status is read while the main dialog does not respond: an Enter typed meanwhile
        // must not dismiss the failure before the user has read it.
        run.TypeDuring("XMGetStatus", reinterpret_cast<void*>(&GetStatusWhileTyping));
        run.p.Run();
        auto boxes = run.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_FALSE(boxes[0].typedAhead) << "the failure went before the user could see it";
        if (cases[i].readFailure) {
            EXPECT_EQ(boxes[0].text, run.p.machine.ui.LoadString(IDS_READ_FAILED));
            EXPECT_FALSE(boxes[0].text.empty());
        } else {
            EXPECT_EQ(boxes[0].text.rfind("Cannot communicate with the printer.", 0), 0u);
        }
        EXPECT_EQ(Icon(boxes[0]), cases[i].icon);
        EXPECT_EQ(run.Count("XMSendFile"), 0);
        EXPECT_TRUE(run.exitPressed);
    }
}

TEST(UpdateCommand, AnsweringNoSendsNothingFurther) {
    // No, and any answer that is not Yes: a question that could not be shown (0) or one ended
    // by the cancel command.
    for (int answer : {win::IDNO, 0, win::IDCANCEL}) {
        SCOPED_TRACE(answer);
        UpdateRun run;
        run.p.machine.ui.OnMessageBox([answer](const sim::MessageBoxRecord& box) {
            return (box.type & win::MB_TYPEMASK) == win::MB_YESNO ? answer : win::IDOK;
        });
        run.p.Run();
        EXPECT_EQ(run.Boxes().size(), 1u);
        EXPECT_EQ(run.Count("QVWriteFile"), 2);  // the two commands of the query only
        EXPECT_EQ(run.Count("XMSendFile"), 0);
        EXPECT_TRUE(simprinter::Instance().ReceivedPackages().empty());
        EXPECT_TRUE(run.exitPressed);
    }
}

TEST(UpdateCommand, SystemInformationIsComparedExactlyAfterTheConfirmation) {
    struct Case {
        std::string country;
        uint8_t sysInfo;
        bool refused;
    };
    for (const Case& c : {Case{"c", 'c', false}, Case{"C", 'c', true}, Case{"", 'x', false},
                          Case{"", 0, false}, Case{"c", 0, true}}) {
        SCOPED_TRACE(c.country + "/" + std::to_string(c.sysInfo));
        UpdateRun run(c.country);
        run.Change([&](simprinter::State& s) { s.sysInfo = c.sysInfo; });
        run.p.Run();
        auto boxes = run.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].type & win::MB_TYPEMASK, win::MB_YESNO);
        if (c.refused) {
            EXPECT_EQ(boxes[1].text, "The printer system information is different.");
            EXPECT_EQ(Icon(boxes[1]), win::MB_ICONWARNING);
            EXPECT_EQ(run.Count("XMSendFile"), 0);
            EXPECT_TRUE(run.exitPressed);
        } else {
            EXPECT_EQ(boxes[1].text, "Completed the firmware update for M100.");
        }
    }
}

TEST(UpdateCommand, APackageThatCannotBeOpenedIsNamedAsConfigured) {
    UpdateRun run;
    run.p.machine.system.LockFile("C:\\Tools\\fw.kf7");
    run.p.Run();
    auto boxes = run.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "File not found:\n\nfw.kf7");
    EXPECT_EQ(Icon(boxes[1]), win::MB_ICONERROR);
    EXPECT_EQ(run.Count("QVWriteFile"), 2);  // no preamble of a transfer
    EXPECT_TRUE(run.exitPressed);
}

TEST(UpdateCommand, WithoutTheRawIoLibraryNothingReachesThePrinter) {
    UpdateRun run;
    run.p.machine.modules.Register("qvfilo.dll", simprinter::QvFiloExports({"QVReadFile"}));
    run.p.Run();
    auto boxes = run.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, run.p.machine.ui.LoadString(IDS_RAWIO_UNAVAILABLE));
    EXPECT_EQ(Icon(boxes[0]), win::MB_ICONERROR);
    EXPECT_EQ(run.Count("XMInitPrinter"), 0);
    EXPECT_EQ(run.Count("QVWriteFile"), 0);
}

TEST(UpdateCommand, KeysTypedWhileThePrinterIsAskedDoNotAnswerTheConfirmation) {
    // The main dialog does not respond while a slow printer is asked for its version: an Enter
    // typed meanwhile must not answer the confirmation before the user has seen the versions.
    UpdateRun run;
    run.Change([](simprinter::State& s) { s.slowAnswer = true; });
    simprinter::Instance().SetSleep(
        [&run](uint32_t) { run.p.machine.ui.TypeAhead(sim::TypedKey::Enter); });
    run.p.machine.ui.OnMessageBox([](const sim::MessageBoxRecord&) { return win::IDNO; });
    run.p.Run();

    auto boxes = run.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type & win::MB_TYPEMASK, win::MB_YESNO);
    EXPECT_FALSE(boxes[0].typedAhead) << "a key typed before the question answered it";
    EXPECT_EQ(boxes[0].answer, win::IDNO);
    EXPECT_EQ(run.Count("XMSendFile"), 0);
    EXPECT_TRUE(simprinter::Instance().ReceivedPackages().empty());
}

TEST(UpdateCommand, KeysTypedWhileThePrinterTakesTheTransferCommandDoNotAnswerItsFailure) {
    // After Yes the main dialog again does not respond while the printer is given the command
    // that opens the transfer. When that command times out, an Enter typed meanwhile must not
    // dismiss the failure before the user has read it.
    UpdateRun run;
    run.p.machine.ui.OnMessageBox([&run](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
        run.Change([](simprinter::State& s) {
            s.slowAnswer = true;
            s.noAnswerPreamble = true;
        });
        simprinter::Instance().SetSleep(
            [&run](uint32_t) { run.p.machine.ui.TypeAhead(sim::TypedKey::Enter); });
        return win::IDYES;
    });
    run.p.Run();

    auto boxes = run.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text.rfind("Cannot communicate with the printer.", 0), 0u);
    EXPECT_EQ(Icon(boxes[1]), win::MB_ICONERROR);
    EXPECT_FALSE(boxes[1].typedAhead) << "the failure went before the user could see it";
    EXPECT_EQ(run.p.machine.ui.TypedAheadPending(), 0);
    EXPECT_EQ(run.Count("XMSendFile"), 0);
    EXPECT_TRUE(run.exitPressed);
}
