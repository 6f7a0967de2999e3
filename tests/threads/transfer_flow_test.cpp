// The transfer run end to end on the simulated machine, with the worker on a real thread: the
// packages sent, the progress shown while the library reports, cancellation, the cancel limit,
// failures of the library and of the package files, and a second transfer in the same run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "app_harness.h"
#include "support/package_file.h"
#include "support/sim_fixture.h"
#include "transfer/progressdlg.h"
#include "transfer/transferstate.h"

using apptest::Program;

namespace {

constexpr char kPkg1[] = "C:\\Tools\\fw.kf7";
constexpr char kPkg2[] = "C:\\Tools\\fw2.kf7";

std::string Package(int32_t statedLength, size_t actualBytes, char fill) {
    return testpkg::Package(statedLength, std::string(actualBytes, fill));
}

std::string Ini(bool twoPackages) {
    return std::string("[UPDATE]\r\nNewVersion=1.06\r\nCountry=c\r\nDriverName=") +
           apptest::kDriver + "\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\nKF7FileName2=" +
           (twoPackages ? "fw2.kf7" : "") + "\r\n";
}

// What the user saw after one progress report.
struct Report {
    uint32_t percent = 0;
    int32_t answer = 0;
    std::string percentText, transferText;
    int position = -1, animationId = 0;
    bool cancelEnabled = false, progressVisible = false, busyVisible = false;
};

// How one XMSendFile call behaves: the percentages reported, then the result. With
// untilStopped the call keeps reporting `percents.back()` until the callback says stop.
struct SendPlan {
    std::vector<uint32_t> percents{0, 50, 100};
    int32_t result = 0;
    bool untilStopped = false;
    std::function<void()> before;      // runs on the worker before the first report
    std::function<void()> afterFirst;  // runs on the worker after the first report
};

struct SendCall {
    std::vector<uint8_t> header, data;
    std::vector<Report> reports;
    int32_t result = 0;
};

// A transfer-driver library whose XMSendFile takes data at memory speed and reports progress
// as planned; every other entry point is the simulated printer's.
struct FakeLibrary {
    std::mutex mutex;
    std::vector<SendPlan> plans{SendPlan{}};  // the last plan repeats
    std::vector<SendCall> calls;
    int failCmdInitFrom = 0;  // 1-based XMCmdInit call from which it fails
    int32_t cmdInitFailure = 0;
    int cmdInits = 0;
    std::function<void(int)> onCmdInit;  // runs at each XMCmdInit call, given its number
    int failWriteCall = 0;               // 1-based QVWriteFile call that fails
    int writes = 0;
    sim::SimUi* ui = nullptr;
};
FakeLibrary* g_fake = nullptr;

Report Look(uint32_t percent, int32_t answer) {
    Report r;
    r.percent = percent;
    r.answer = answer;
    sim::UiView view = g_fake->ui->View();
    if (const sim::DialogView* d = view.Find(IDD_PROGRESS)) {
        r.percentText = d->Text(IDC_PERCENT_TEXT);
        r.transferText = d->Text(IDC_TRANSFER_TEXT);
        r.progressVisible = d->visible;
        if (const sim::ControlView* bar = d->Control(IDC_PROGRESS_BAR)) r.position = bar->position;
        if (const sim::ControlView* clip = d->Control(IDC_ANIMATE))
            r.animationId = clip->animationId;
        if (const sim::ControlView* c = d->Control(win::IDCANCEL)) r.cancelEnabled = c->enabled;
    }
    if (const sim::DialogView* d = view.Find(IDD_DEVPROG)) r.busyVisible = d->visible;
    return r;
}

int32_t ULMA_WINAPI FakeSendFile(const uint8_t* header64, const uint8_t* data,
                                 const uint32_t* length, uint8_t*, int32_t,
                                 maker::XMProgressCallback callback) {
    SendPlan plan;
    SendCall call;
    {
        std::lock_guard<std::mutex> lock(g_fake->mutex);
        size_t n = g_fake->calls.size();
        plan = g_fake->plans[std::min(n, g_fake->plans.size() - 1)];
    }
    call.header.assign(header64, header64 + 64);
    call.data.assign(data, data + *length);
    if (plan.before) plan.before();
    call.result = plan.result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (size_t i = 0; i < plan.percents.size(); ++i) {
        bool last = i + 1 == plan.percents.size();
        do {
            int32_t answer = callback(plan.percents[i]);
            call.reports.push_back(Look(plan.percents[i], answer));
            if (i == 0 && plan.afterFirst && call.reports.size() == 1) plan.afterFirst();
            if (answer == 0) {
                call.result = maker::XM_RESULT_STOPPED;
                break;
            }
            if (last && plan.untilStopped)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (last && plan.untilStopped && std::chrono::steady_clock::now() < deadline);
        if (call.result == maker::XM_RESULT_STOPPED) break;
    }
    std::lock_guard<std::mutex> lock(g_fake->mutex);
    g_fake->calls.push_back(call);
    return call.result;
}

int32_t ULMA_WINAPI FakeCmdInit(int32_t value) {
    int n;
    {
        std::lock_guard<std::mutex> lock(g_fake->mutex);
        n = ++g_fake->cmdInits;
    }
    if (g_fake->onCmdInit) g_fake->onCmdInit(n);
    if (g_fake->failCmdInitFrom != 0 && n >= g_fake->failCmdInitFrom) return g_fake->cmdInitFailure;
    return simprinter::Instance().XMCmdInit(value);
}

int32_t ULMA_WINAPI FakeWriteFile(char* printerName, int32_t zero, const uint8_t* bytes,
                                  uint32_t length, uint32_t* count, uint32_t timeout) {
    int n;
    {
        std::lock_guard<std::mutex> lock(g_fake->mutex);
        n = ++g_fake->writes;
    }
    if (n == g_fake->failWriteCall) return 0;
    return simprinter::Instance().QVWriteFile(printerName, zero, bytes, length, count, timeout);
}

// A program run whose main dialog presses Update `updates` times, then Exit.
class TransferRun {
  public:
    explicit TransferRun(bool twoPackages, int updates = 1) {
        g_fake = &fake;
        fake.ui = &p.machine.ui;
        g_bCancelEnabled = 1;
        p.SetIni(Ini(twoPackages));
        p.machine.system.AddFile(kPkg1, Package(300, 300, 'A'));
        if (twoPackages) p.machine.system.AddFile(kPkg2, Package(100, 100, 'B'));
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        auto xm = simprinter::XmLinkExports();
        xm["XMSendFile"] = reinterpret_cast<void*>(&FakeSendFile);
        xm["XMCmdInit"] = reinterpret_cast<void*>(&FakeCmdInit);
        p.machine.modules.Register("XmLink.dll", xm);
        auto qv = simprinter::QvFiloExports();
        qv["QVWriteFile"] = reinterpret_cast<void*>(&FakeWriteFile);
        p.machine.modules.Register("qvfilo.dll", qv);
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [this, updates](const sim::DialogView&, sim::SimUi& ui,
                                                           int step) {
            if (step >= updates) exitPressed = true;
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step < updates ? IDC_UPDATE : IDC_EXIT);
        };
    }
    ~TransferRun() { g_fake = nullptr; }

    void SetCancelLimit(uint32_t limit) {
        simprinter::State s = simprinter::Instance().GetState();
        s.cancelLimit = limit;
        simprinter::Instance().SetState(s);
    }
    // Message boxes after the confirmation question.
    std::vector<sim::MessageBoxRecord> Outcome() const {
        std::vector<sim::MessageBoxRecord> out;
        for (const auto& box : p.machine.ui.MessageBoxes())
            if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) out.push_back(box);
        return out;
    }
    bool ProgressShown() const {
        for (int id : p.machine.ui.DialogsCreated())
            if (id == IDD_PROGRESS) return true;
        return false;
    }

    Program p;
    FakeLibrary fake;
    bool exitPressed = false;  // the main dialog was still open after the last Update
};

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Work for the worker thread: wait until the user-interface thread has been given the input,
// then leave it time to act on it.
std::function<void()> WaitUntilGiven(std::atomic<bool>& given) {
    return [&given] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!given && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
}

// A send that pauses after its first report until the input has been given.
SendPlan PausedAfterFirstReport(std::atomic<bool>& given) {
    SendPlan plan;
    plan.afterFirst = WaitUntilGiven(given);
    return plan;
}

// One package was sent, its Cancel control disabled from the first report on, whole, and the
// update completed.
void ExpectOneUncancellablePackageSentWhole(const TransferRun& run) {
    ASSERT_EQ(run.fake.calls.size(), 1u);
    EXPECT_FALSE(run.fake.calls[0].reports.front().cancelEnabled);
    EXPECT_EQ(run.fake.calls[0].result, 0) << "the package was stopped part-way";
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
}

// The printer had its wait after the transfer, and the update ended with the completion
// message and no window left.
void ExpectCompletedAfterTheWait(const TransferRun& run) {
    EXPECT_GE(run.p.machine.system.TotalSleptMs(), 12000u);
    // The computer is kept awake from the start of the transfer until the wait is over.
    std::vector<uint64_t> times = run.p.machine.system.ExecutionStateTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[1] - times[0], 12000u) << "the computer was let sleep during the wait";
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
    EXPECT_EQ(run.p.machine.ui.OpenDialogs(), 0);
}

// Runs `act` once, when the user-interface thread (the one calling this) first sleeps: it
// sleeps only in the printer's wait after the transfer. `done` tells whether it has run.
void AtTheStartOfThePrintersWait(TransferRun& run, bool& done, std::function<void()> act) {
    const std::thread::id uiThread = std::this_thread::get_id();
    run.p.machine.system.OnSleep([&done, uiThread, act = std::move(act)](uint32_t) {
        if (done || std::this_thread::get_id() != uiThread) return;
        done = true;
        act();
    });
}

}  // namespace

TEST(TransferFlow, TwoPackagesAreSentInOrderWithTheOverallPercentage) {
    TransferRun run(true);
    // After the last package reached 100 % the library reports once more.
    SendPlan first, second;
    second.percents = {0, 50, 100, 100};
    // Windows asks whether the session may end while the first package is being sent.
    std::atomic<intptr_t> endAnswer{-1};
    first.afterFirst = [&run, &endAnswer] {
        plat::Window progress = run.p.machine.ui.FindDialog(IDD_PROGRESS);
        endAnswer = plat::Ui().SendMessage(progress, win::WM_QUERYENDSESSION, 0, 0);
    };
    run.fake.plans = {first, second};
    run.p.Run();
    EXPECT_EQ(endAnswer.load(), 0) << "the session was let end in the middle of the transfer";

    ASSERT_EQ(run.fake.calls.size(), 2u);
    const SendCall& a = run.fake.calls[0];
    const SendCall& b = run.fake.calls[1];
    std::string file1 = run.p.machine.system.ReadFile(kPkg1);
    EXPECT_EQ(Bytes(a.header), file1.substr(0, 64));
    EXPECT_EQ(Bytes(a.data), file1.substr(64));
    EXPECT_EQ(Bytes(b.data), std::string(100, 'B'));

    // The dialog opened at 0 %; 300 + 100 bytes: 50 % of the first is 37 %, of the second 87 %.
    EXPECT_EQ(a.reports[0].percentText, "0 %");
    EXPECT_EQ(a.reports[0].position, 0);
    EXPECT_EQ(a.reports[0].transferText, "Transferring");
    EXPECT_EQ(a.reports[0].animationId, IDR_AVI_TRANSFER);
    EXPECT_EQ(a.reports[1].percentText, "37 %");
    EXPECT_EQ(a.reports[2].percentText, "75 %");
    EXPECT_EQ(b.reports[1].percentText, "87 %");
    EXPECT_EQ(b.reports[1].position, 87);
    EXPECT_FALSE(b.reports[1].busyVisible);
    // At 100 % the device-busy window takes the progress dialog's place; later reports go on.
    EXPECT_EQ(b.reports[2].percentText, "100 %");
    EXPECT_EQ(b.reports[2].position, 100);
    EXPECT_FALSE(b.reports[2].progressVisible);
    EXPECT_TRUE(b.reports[2].busyVisible);
    EXPECT_EQ(b.reports[3].answer, 1);
    EXPECT_EQ(b.reports[3].percentText, "100 %");

    // One XMCmdInit on the worker besides the two of the Update command.
    EXPECT_EQ(run.fake.cmdInits, 3);
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
    EXPECT_EQ(outcome[0].type & win::MB_ICONMASK, win::MB_ICONINFORMATION);
    EXPECT_EQ(outcome[0].caption, "M100 Firmware Update Tool");

    // The wait after the transfer cost 12000 ms of virtual time; the busy window is gone, and
    // sleep and shutdown are held only while the progress dialog is open.
    EXPECT_GE(run.p.machine.system.TotalSleptMs(), 12000u);
    EXPECT_EQ(g_pDevProgDlg.load(), nullptr);
    EXPECT_FALSE(run.p.machine.ui.ShutdownBlocked());
    EXPECT_EQ(run.p.machine.ui.ShutdownReasons().size(), 1u);
    EXPECT_EQ(
        run.p.machine.system.ExecutionStates(),
        (std::vector<uint32_t>{win::ES_CONTINUOUS | win::ES_SYSTEM_REQUIRED, win::ES_CONTINUOUS}));
    EXPECT_EQ(run.p.machine.ui.OpenDialogs(), 0);
}

TEST(TransferFlow, CancelStopsTheTransferAndLeavesTheMainDialogOpen) {
    TransferRun run(true);
    run.SetCancelLimit(1000);
    SendPlan plan;
    plan.percents = {0, 10};
    plan.untilStopped = true;
    run.fake.plans = {plan};
    run.p.scripts[IDD_PROGRESS] = [](const sim::DialogView& d, sim::SimUi& ui, int) {
        ui.PressEscape(d.window);
    };
    run.p.Run();

    ASSERT_EQ(run.fake.calls.size(), 1u);  // the second package is not sent
    const SendCall& a = run.fake.calls[0];
    EXPECT_EQ(a.result, maker::XM_RESULT_STOPPED);
    EXPECT_TRUE(a.reports.front().cancelEnabled);  // 300 bytes, below the limit of 1000
    EXPECT_EQ(a.reports.back().answer, 0);
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Transferring cancelled.");
    EXPECT_EQ(outcome[0].type & win::MB_ICONMASK, win::MB_ICONWARNING);
    // Exit was pressed after the transfer: the main dialog had stayed open.
    EXPECT_TRUE(run.exitPressed);
    EXPECT_EQ(run.p.machine.ui.OpenDialogs(), 0);
    EXPECT_GE(run.p.machine.system.TotalSleptMs(), 12000u);
}

TEST(TransferFlow, TheCancelLimitEnablesCancelOnlyBelowIt) {
    {
        // Limit 300: the 300-byte package may not be cancelled, the 100-byte one may.
        TransferRun run(true);
        run.SetCancelLimit(300);
        run.p.Run();
        ASSERT_EQ(run.fake.calls.size(), 2u);
        EXPECT_FALSE(run.fake.calls[0].reports[0].cancelEnabled);
        EXPECT_TRUE(run.fake.calls[1].reports[0].cancelEnabled);
    }
    {
        // No limit reported by the printer: Cancel is disabled from the first report on.
        TransferRun run(false);
        run.p.Run();
        ASSERT_EQ(run.fake.calls.size(), 1u);
        for (const Report& r : run.fake.calls[0].reports) EXPECT_FALSE(r.cancelEnabled);
    }
}

TEST(TransferFlow, APercentageAbove100StopsLikeACancel) {
    TransferRun run(false);
    SendPlan plan;
    plan.percents = {0, 101};
    run.fake.plans = {plan};
    run.p.Run();
    ASSERT_EQ(run.fake.calls.size(), 1u);
    EXPECT_EQ(run.fake.calls[0].reports.back().answer, 0);
    EXPECT_EQ(run.fake.calls[0].reports.back().percentText, "0 %");  // nothing shown for 101
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Transferring cancelled.");
}

TEST(TransferFlow, AFailedSecondPackageKeepsTheFirstAndASecondTransferSendsBothAgain) {
    TransferRun run(true, 2);
    SendPlan fail;
    fail.result = 5;
    run.fake.plans = {SendPlan{}, fail, SendPlan{}};
    run.p.Run();

    // First Update: package 1 sent, package 2 failed. Second Update: both, once each.
    ASSERT_EQ(run.fake.calls.size(), 4u);
    EXPECT_EQ(Bytes(run.fake.calls[0].data), std::string(300, 'A'));
    EXPECT_EQ(Bytes(run.fake.calls[1].data), std::string(100, 'B'));
    EXPECT_EQ(Bytes(run.fake.calls[2].data), std::string(300, 'A'));
    EXPECT_EQ(Bytes(run.fake.calls[3].data), std::string(100, 'B'));
    // The second transfer starts from 0 % again.
    EXPECT_EQ(run.fake.calls[2].reports[0].percentText, "0 %");
    EXPECT_EQ(run.fake.calls[2].reports[1].percentText, "37 %");

    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 2u);
    EXPECT_EQ(outcome[0].text, "Failed to transfer.");
    EXPECT_EQ(outcome[0].type & win::MB_ICONMASK, win::MB_ICONERROR);
    EXPECT_EQ(outcome[1].text, "Completed the firmware update for M100.");
    // The confirmation was asked again for the second Update.
    EXPECT_EQ(run.p.machine.ui.MessageBoxes().size(), 4u);
}

TEST(TransferFlow, PackagesThatCannotBeReadFailWithoutSending) {
    {
        // The header promises more data than the file holds.
        TransferRun run(false);
        run.p.machine.system.AddFile(kPkg1, Package(500, 100, 'A'));
        run.p.Run();
        EXPECT_TRUE(run.fake.calls.empty());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Failed to transfer.");
    }
    {
        // The second package is missing when the sizes are added up: no transfer starts.
        TransferRun run(true);
        run.p.machine.system.RemoveFile(kPkg2);
        run.p.Run();
        EXPECT_TRUE(run.fake.calls.empty());
        EXPECT_FALSE(run.ProgressShown());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "File not found:\n\nfw2.kf7");
        EXPECT_EQ(outcome[0].type & win::MB_ICONMASK, win::MB_ICONERROR);
    }
    {
        // The first package is locked by someone else after the sizes were added up, before the
        // worker (after its XMCmdInit, the third call) comes to it: it is named as missing.
        TransferRun run(false);
        sim::SimSystem* sys = &run.p.machine.system;
        run.fake.onCmdInit = [sys](int n) {
            if (n == 3) sys->LockFile(kPkg1);
        };
        run.p.Run();
        EXPECT_TRUE(run.fake.calls.empty());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "File not found:\n\nfw.kf7");
    }
    {
        // The second package is locked by someone else while the first is being sent.
        TransferRun run(true);
        SendPlan lockSecond;
        sim::SimSystem* sys = &run.p.machine.system;
        lockSecond.before = [sys] { sys->LockFile(kPkg2); };
        run.fake.plans = {lockSecond};
        run.p.Run();
        EXPECT_EQ(run.fake.calls.size(), 1u);
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "File not found:\n\nfw2.kf7");
        EXPECT_EQ(run.p.machine.system.OpenFileCount(), 0);
    }
    for (int32_t replaced : {1000, 50}) {
        // The second package is replaced by one of another length while the first is being
        // sent. Sent anyway, the larger one would bring up the busy window (and drop a cancel)
        // with most of it still to go, the smaller one never reach 100 %.
        SCOPED_TRACE(replaced);
        TransferRun run(true);
        SendPlan replaceSecond;
        sim::SimSystem* sys = &run.p.machine.system;
        replaceSecond.before = [sys, replaced] {
            sys->AddFile(kPkg2, Package(replaced, static_cast<size_t>(replaced), 'C'));
        };
        run.fake.plans = {replaceSecond};
        run.p.Run();
        ASSERT_EQ(run.fake.calls.size(), 1u);
        EXPECT_EQ(Bytes(run.fake.calls[0].data), std::string(300, 'A'));
        for (const Report& r : run.fake.calls[0].reports) EXPECT_FALSE(r.busyVisible);
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Failed to transfer.");
        EXPECT_EQ(run.p.machine.system.OpenFileCount(), 0);
    }
    for (int32_t stated : {500, 101, 0, -100}) {
        // The second package is unusable (more data stated than held, by far or by one byte,
        // none, or a negative length): the first is not sent either, so the printer never gets
        // half an update.
        SCOPED_TRACE(stated);
        TransferRun run(true);
        run.p.machine.system.AddFile(kPkg2, Package(stated, 100, 'B'));
        run.p.Run();
        EXPECT_TRUE(run.fake.calls.empty());
        EXPECT_FALSE(run.ProgressShown());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Failed to transfer.");
        EXPECT_EQ(outcome[0].type & win::MB_ICONMASK, win::MB_ICONERROR);
    }
    {
        // A byte in the middle of the first package's data cannot be read (a damaged sector;
        // its last byte still reads): the package is not sent with a gap in it.
        TransferRun run(false);
        run.p.machine.system.SetReadFaults(kPkg1, 0, 64 + 150);
        run.p.Run();
        EXPECT_TRUE(run.fake.calls.empty());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Failed to transfer.");
        EXPECT_EQ(run.p.machine.system.OpenFileCount(), 0);
    }
    {
        // Data handed over in pieces smaller than the package is read on to its end.
        TransferRun run(false);
        run.p.machine.system.SetReadFaults(kPkg1, 64);
        run.p.Run();
        ASSERT_EQ(run.fake.calls.size(), 1u);
        EXPECT_EQ(Bytes(run.fake.calls[0].data), std::string(300, 'A'));
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
    }
    {
        // A package that states no data: nothing to send, no message, the dialog stays.
        TransferRun run(false);
        run.p.machine.system.AddFile(kPkg1, Package(0, 0, 'A'));
        run.p.Run();
        EXPECT_FALSE(run.ProgressShown());
        EXPECT_TRUE(run.Outcome().empty());
    }
}

TEST(TransferFlow, PrinterFailuresBeforeAndAtTheStartOfTheTransfer) {
    {
        // The preamble of the transfer (the third write) is not taken.
        TransferRun run(false);
        run.fake.failWriteCall = 3;
        run.p.Run();
        EXPECT_FALSE(run.ProgressShown());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text.rfind("Cannot communicate with the printer.", 0), 0u);
        EXPECT_EQ(outcome[0].type & win::MB_ICONMASK, win::MB_ICONERROR);
    }
    for (int32_t code : {maker::XM_RESULT_STOPPED, 3}) {
        // XMCmdInit fails on the worker: nothing is sent.
        TransferRun run(true);
        run.fake.failCmdInitFrom = 3;
        run.fake.cmdInitFailure = code;
        run.p.Run();
        EXPECT_TRUE(run.fake.calls.empty());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, code == 8 ? "Transferring cancelled." : "Failed to transfer.");
    }
}

TEST(TransferFlow, AWorkerThatCannotStartEndsAsAFailedTransfer) {
    // The start either reports failure or throws (no memory for what the thread is handed):
    // either way the progress dialog must not wait for a worker that never runs, with the
    // system's shutdown held, but end as a failed transfer. The last case also refuses the
    // command the dialog posts itself (its queue full): it must then end at once.
    // The progress dialog itself may not be made, so that no worker is ever started; and a
    // worker may end by an exception (no memory) after the library has last answered 0: neither
    // may pass for a completed update.
    enum { kFails, kThrows, kFailsAndQueueFull, kNoDialog, kWorkerThrows };
    for (int way : {kFails, kThrows, kFailsAndQueueFull, kNoDialog, kWorkerThrows}) {
        SCOPED_TRACE(way);
        TransferRun run(false);
        std::vector<std::string> stuck;
        run.p.machine.ui.OnFailure([&stuck](const std::string& m) { stuck.push_back(m); });
        if (way == kNoDialog) {
            run.p.machine.ui.FailCreateDialog(IDD_PROGRESS);
        } else if (way == kWorkerThrows) {
            SendPlan plan;
            plan.before = [] { throw std::bad_alloc(); };
            run.fake.plans = {plan};
        } else if (way == kThrows) {
            run.p.machine.system.ThrowOnStartThread(true);
        } else {
            run.p.machine.system.FailStartThread(true);
        }
        if (way == kFailsAndQueueFull) run.p.machine.ui.FailPostMessage(win::WM_COMMAND, 1);
        run.p.Run();
        EXPECT_TRUE(stuck.empty()) << stuck.front();
        EXPECT_TRUE(run.fake.calls.empty());
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Failed to transfer.");
        EXPECT_FALSE(run.p.machine.ui.ShutdownBlocked());
        EXPECT_EQ(run.p.machine.ui.OpenDialogs(), 0);
    }
}

TEST(TransferFlow, PackageSizesAreAddedWithoutWrappingAround) {
    // Two packages stating 1.5 GB each: their sum is beyond a signed 32-bit value. Had it
    // wrapped around to a negative sum the run would end without a message; kept whole it goes
    // on to the check that the files hold their data, which these do not, so nothing is sent.
    TransferRun run(true);
    run.p.machine.system.AddFile(kPkg1, Package(1500000000, 0, 'A'));
    run.p.machine.system.AddFile(kPkg2, Package(1500000000, 0, 'B'));
    run.p.Run();
    EXPECT_FALSE(run.ProgressShown());
    EXPECT_TRUE(run.fake.calls.empty());
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Failed to transfer.");
}

TEST(TransferFlow, TheBusyWindowIsCentredOnTheMainWindowAndPaintedDuringTheWait) {
    TransferRun run(false);
    plat::Rect mainRect;
    run.p.scripts[IDD_ULMAUPDATE_DIALOG] = [&mainRect](const sim::DialogView& d, sim::SimUi& ui,
                                                       int step) {
        mainRect = d.rect;
        ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
    };
    run.p.Run();
    std::vector<std::pair<plat::Window, plat::Rect>> moves = run.p.machine.ui.Moves();
    ASSERT_FALSE(moves.empty());
    const plat::Rect& w = moves.back().second;
    EXPECT_EQ(w.left, (mainRect.left + mainRect.right - (w.right - w.left)) / 2);
    EXPECT_EQ(w.top, (mainRect.top + mainRect.bottom - (w.bottom - w.top)) / 2);
    EXPECT_GT(run.p.machine.ui.PaintPumps(), 0);
}

TEST(TransferFlow, EnterInTheProgressDialogDoesNotEndTheTransferEarly) {
    // The progress dialog has no default button, so Enter gives the OK command that the worker
    // uses to say it has finished. Pressed mid-transfer it must not close the dialog: the
    // outcome is judged only once the library has returned.
    TransferRun run(false);
    std::atomic<bool> pressed{false};
    std::atomic<size_t> callsWhenJudged{99};
    SendPlan plan;
    plan.before = WaitUntilGiven(pressed);
    run.fake.plans = {plan};
    run.p.scripts[IDD_PROGRESS] = [&pressed](const sim::DialogView& d, sim::SimUi& ui, int step) {
        if (step == 0 && ui.PressEnter(d.window)) pressed = true;
    };
    run.p.machine.ui.OnMessageBox([&run, &callsWhenJudged](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) {
            std::lock_guard<std::mutex> lock(run.fake.mutex);
            callsWhenJudged = run.fake.calls.size();
        }
        return (box.type & win::MB_TYPEMASK) == win::MB_YESNO ? win::IDYES : win::IDOK;
    });
    run.p.Run();

    EXPECT_TRUE(pressed);
    ASSERT_EQ(run.fake.calls.size(), 1u);
    EXPECT_EQ(run.fake.calls[0].result, 0);
    EXPECT_EQ(callsWhenJudged.load(), 1u);
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
}

namespace {

// Both packages went out whole and the update completed: the first with Cancel enabled as
// given, the second (of secondSize bytes) with the opposite.
void ExpectBothSentWhole(TransferRun& run, bool firstCancellable, size_t secondSize) {
    ASSERT_EQ(run.fake.calls.size(), 2u);
    EXPECT_EQ(run.fake.calls[0].reports.front().cancelEnabled, firstCancellable);
    EXPECT_EQ(run.fake.calls[1].reports.front().cancelEnabled, !firstCancellable);
    EXPECT_EQ(run.fake.calls[1].result, 0) << "the second package was stopped part-way";
    EXPECT_EQ(Bytes(run.fake.calls[1].data), std::string(secondSize, 'B'));
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
}

}  // namespace

TEST(TransferFlow, APackageThatMayNotBeCancelledIsSentWholeWhateverTheKeyboardSays) {
    // Cancel is disabled because the printer reports no cancel limit (ways 0 and 2) or the
    // package is at the limit (ways 1 and 3); Escape (0, 1) and the close box (2, 3) then leave
    // the package to be sent whole.
    for (int way = 0; way < 4; ++way) {
        SCOPED_TRACE(way);
        TransferRun run(false);
        if (way % 2 == 1) run.SetCancelLimit(300);
        std::atomic<bool> given{false};
        run.fake.plans = {PausedAfterFirstReport(given)};
        run.p.scripts[IDD_PROGRESS] = [&given, way](const sim::DialogView& d, sim::SimUi& ui, int) {
            const sim::ControlView* cancel = d.Control(win::IDCANCEL);
            if (given || !cancel || cancel->enabled) return;
            if (way < 2)
                ui.PressEscape(d.window);
            else
                ui.CloseBox(d.window);
            given = true;
        };
        run.p.Run();
        EXPECT_TRUE(given);
        ExpectOneUncancellablePackageSentWhole(run);
    }
    {
        // Escape while a first package below the limit may still be cancelled, given after its
        // last report: the cancel must not stop the second package, which is at the limit.
        TransferRun run(true);
        run.p.machine.system.AddFile(kPkg1, Package(100, 100, 'A'));
        run.p.machine.system.AddFile(kPkg2, Package(300, 300, 'B'));
        run.SetCancelLimit(300);
        std::atomic<bool> reported{false}, given{false};
        SendPlan first;
        first.percents = {100};
        first.afterFirst = [&reported, &given] {
            // The last report has been answered: wake the user-interface thread for the key.
            reported = true;
            plat::Ui().PostMessage(app::MainWindow(), 0, 0, 0);
            WaitUntilGiven(given)();
        };
        run.fake.plans = {first, SendPlan{}};
        run.p.scripts[IDD_PROGRESS] = [&reported, &given](const sim::DialogView& d, sim::SimUi& ui,
                                                          int) {
            const sim::ControlView* cancel = d.Control(win::IDCANCEL);
            if (!reported || given || !cancel || !cancel->enabled) return;
            ui.PressEscape(d.window);
            given = true;
        };
        run.p.Run();
        EXPECT_TRUE(given);
        ExpectBothSentWhole(run, true, 300);
    }
    {
        // Escape while the first package may not be cancelled is ignored, and stays ignored:
        // it does not stop the second package, below the limit, once Cancel is enabled there.
        TransferRun run(true);
        run.SetCancelLimit(200);
        std::atomic<bool> given{false};
        run.fake.plans = {PausedAfterFirstReport(given), SendPlan{}};
        run.p.scripts[IDD_PROGRESS] = [&given](const sim::DialogView& d, sim::SimUi& ui, int) {
            const sim::ControlView* cancel = d.Control(win::IDCANCEL);
            if (given || !cancel || cancel->enabled) return;
            ui.PressEscape(d.window);
            given = true;
        };
        run.p.Run();
        EXPECT_TRUE(given);
        ExpectBothSentWhole(run, false, 100);
    }
}

TEST(TransferFlow, CommandsPostedToTheMainDialogDuringTheTransferStartNothing) {
    // The main dialog is disabled under the progress dialog, but a command posted to it is
    // still served by the progress dialog's loop: Update must start no second query or
    // transfer, and Exit must not cut the transfer short.
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way == 0 ? "Update" : "Exit");
        TransferRun run(false);
        std::atomic<bool> given{false};
        run.fake.plans = {PausedAfterFirstReport(given)};
        int questions = 0;
        run.p.machine.ui.OnMessageBox([&questions](const sim::MessageBoxRecord& box) {
            if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
            ++questions;
            return win::IDYES;
        });
        run.p.scripts[IDD_PROGRESS] = [&given, way](const sim::DialogView&, sim::SimUi&, int) {
            if (given) return;
            plat::Ui().PostMessage(app::MainWindow(), win::WM_COMMAND,
                                   way == 0 ? IDC_UPDATE : IDC_EXIT, 0);
            given = true;
        };
        run.p.Run();
        EXPECT_TRUE(given);
        EXPECT_EQ(questions, 1) << "a second confirmation came during the transfer";
        EXPECT_EQ(run.fake.calls.size(), 1u);
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
    }
}

TEST(TransferFlow, ACancelLimitReportedByOnePrinterDoesNotMakeAnotherPrintersPackageCancellable) {
    // P1 reports a limit of 1000, the user answers No; P2 reports none and the user answers
    // Yes: P2's package may not be cancelled, and Escape leaves it to be sent whole.
    TransferRun run(false, 2);
    run.p.machine.spooler.InstallSimple("P2", apptest::kDriver);
    simprinter::State s = simprinter::Instance().GetState();
    s.printerNames = {"P1", "P2"};
    s.cancelLimit = 1000;
    simprinter::Instance().SetState(s);
    int questions = 0;
    run.p.machine.ui.OnMessageBox([&questions](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
        return ++questions == 1 ? win::IDNO : win::IDYES;
    });
    run.p.scripts[IDD_ULMAUPDATE_DIALOG] = [&run](const sim::DialogView&, sim::SimUi& ui,
                                                  int step) {
        if (step == 0) ui.SelectItem(IDC_COMBO_PRINTER, "P1");
        if (step == 1) {
            run.SetCancelLimit(0);
            ui.SelectItem(IDC_COMBO_PRINTER, "P2");
        }
        ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step < 2 ? IDC_UPDATE : IDC_EXIT);
    };
    std::atomic<bool> given{false};
    run.fake.plans = {PausedAfterFirstReport(given)};
    run.p.scripts[IDD_PROGRESS] = [&given](const sim::DialogView& d, sim::SimUi& ui, int) {
        if (given) return;
        ui.PressEscape(d.window);
        given = true;
    };
    run.p.Run();

    EXPECT_EQ(questions, 2);
    ExpectOneUncancellablePackageSentWhole(run);
}

TEST(TransferFlow, TheBusyWindowCannotBeClosedByTheUserWhileThePrinterWorks) {
    // At 100 % the busy window stands in for the progress dialog until the printer is done. A
    // cancel command (Escape; Alt+F4 on Windows, as the window has no system menu) or the OK
    // command (Enter) must not hide it while the library sends no further report.
    for (bool enter : {false, true}) {
        SCOPED_TRACE(enter ? "Enter" : "Escape");
        TransferRun run(false);
        std::atomic<bool> given{false}, shownAfter{false};
        SendPlan plan;
        plan.percents = {100};
        plan.afterFirst = [&given, &shownAfter] {
            WaitUntilGiven(given)();
            shownAfter = Look(100, 1).busyVisible;
        };
        run.fake.plans = {plan};
        run.p.scripts[IDD_DEVPROG] = [&given, enter](const sim::DialogView& d, sim::SimUi& ui,
                                                     int) {
            if (given) return;
            EXPECT_TRUE(enter ? ui.PressEnter(d.window) : ui.PressEscape(d.window));
            given = true;
        };
        run.p.Run();
        EXPECT_TRUE(given);
        EXPECT_TRUE(shownAfter) << "the busy window was closed while the printer worked";
        EXPECT_GE(run.p.machine.system.TotalSleptMs(), 12000u);
        auto outcome = run.Outcome();
        ASSERT_EQ(outcome.size(), 1u);
        EXPECT_EQ(outcome[0].text, "Completed the firmware update for M100.");
    }
}

TEST(TransferFlow, TheProgressDialogStaysHiddenWhenItsLoopFirstGoesIdleAfter100Percent) {
    // The library reports 100 % before the progress dialog's loop has first run out of
    // messages (the thread is still busy with a message posted earlier). The loop then shows
    // the dialog, hidden by the report, as every modal loop does: the busy window must still
    // be the one left on screen while the printer works, also when the dialog's own note to
    // hide itself again cannot be posted.
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "the note to hide again refused" : "the note to hide again posted");
        TransferRun run(false);
        if (refused) run.p.machine.ui.FailPostMessage(CProgressDlg::WM_KEEP_REPLACED, 1);
        std::atomic<bool> reporting{false}, busyActive{false}, shownAgain{false};
        Report settled, waiting;
        bool looked = false;
        SendPlan plan;
        plan.percents = {100};
        plan.before = [&reporting] { reporting = true; };
        if (!refused) {
            plan.afterFirst = [&busyActive, &settled] {
                WaitUntilGiven(busyActive)();
                settled = Look(100, 1);
            };
        } else {
            // The transfer ends only once the loop has shown the dialog again, so that only the
            // wait is left to hide it.
            plan.afterFirst = WaitUntilGiven(shownAgain);
            run.p.scripts[IDD_PROGRESS] = [&shownAgain](const sim::DialogView& d, sim::SimUi&,
                                                        int) {
                if (d.visible && d.Text(IDC_PERCENT_TEXT) == "100 %") shownAgain = true;
            };
        }
        run.fake.plans = {plan};
        AtTheStartOfThePrintersWait(run, looked, [&waiting] { waiting = Look(100, 1); });
        // A window of the user-interface thread whose message, posted before the progress
        // dialog opens, keeps that thread busy until the worker is waiting in its 100 % report.
        static constexpr uint32_t kBusy = win::WM_USER + 9;
        test::RecordingHost blocker;
        blocker.onMessage = [&reporting](plat::Window, uint32_t msg, uintptr_t,
                                         intptr_t) -> intptr_t {
            if (msg != kBusy) return 0;
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!reporting && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return 1;
        };
        run.p.machine.ui.OnMessageBox([&blocker](const sim::MessageBoxRecord& box) {
            if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) {
                plat::Ui().DestroyWindow(blocker.window);
                return win::IDOK;
            }
            plat::Window w = plat::Ui().CreateDialog(IDD_ABOUTBOX, {}, &blocker);
            plat::Ui().PostMessage(w, kBusy, 0, 0);
            return win::IDYES;
        });
        run.p.scripts[IDD_DEVPROG] = [&busyActive](const sim::DialogView&, sim::SimUi&, int) {
            busyActive = true;
        };
        run.p.Run();

        ASSERT_EQ(run.fake.calls.size(), 1u);
        if (!refused) {
            EXPECT_TRUE(busyActive) << "the progress dialog came back over the busy window";
            EXPECT_FALSE(settled.progressVisible);
            EXPECT_TRUE(settled.busyVisible);
        }
        ASSERT_TRUE(looked);
        EXPECT_FALSE(waiting.progressVisible) << "the progress dialog stood beside the busy window";
        EXPECT_TRUE(waiting.busyVisible);
        ExpectCompletedAfterTheWait(run);
    }
}

TEST(TransferFlow, WithoutTheBusyWindowThePrinterStillGetsItsTimeBeforeCompletion) {
    // The busy window cannot be made (the system is out of window resources). The printer
    // still takes the firmware in after the last byte: the progress dialog stays up at 100 %
    // in its place, and the completion is reported only after the wait.
    TransferRun run(false);
    run.p.machine.ui.FailCreateDialog(IDD_DEVPROG);
    // The library waits after its 100 % report until the user-interface thread, idle again, has
    // been looked at.
    std::atomic<bool> looked{false}, shownAt100{false};
    SendPlan plan;
    plan.percents = {100};
    plan.afterFirst = WaitUntilGiven(looked);
    run.fake.plans = {plan};
    run.p.scripts[IDD_PROGRESS] = [&looked, &shownAt100](const sim::DialogView& d, sim::SimUi&,
                                                         int) {
        if (looked || d.Text(IDC_PERCENT_TEXT) != "100 %") return;
        shownAt100 = d.visible;
        looked = true;
    };
    run.p.Run();
    ASSERT_EQ(run.fake.calls.size(), 1u);
    EXPECT_TRUE(shownAt100) << "no window was left to show the printer is working";
    // Shown by the report itself: a modal dialog shows itself only once its queue first runs
    // empty, which a transfer this quick may not have let happen yet.
    EXPECT_TRUE(run.fake.calls[0].reports.back().progressVisible);
    ExpectCompletedAfterTheWait(run);
}

TEST(TransferFlow, TheEndOfTheTransferReachesTheProgressDialogThroughAFullQueue) {
    // The OK command that closes the progress dialog is refused while the user-interface
    // thread's message queue is full. The dialog must still close and the outcome be reported;
    // a lost command would leave it standing for good. (A dialog without a worker is in
    // AWorkerThatCannotStartEndsAsAFailedTransfer.)
    TransferRun run(false);
    std::vector<std::string> stuck;
    run.p.machine.ui.OnFailure([&stuck](const std::string& m) { stuck.push_back(m); });
    run.p.machine.ui.FailPostMessage(win::WM_COMMAND, 3);
    run.p.Run();
    EXPECT_TRUE(stuck.empty()) << stuck.front();
    ASSERT_EQ(run.fake.calls.size(), 1u);
    ExpectCompletedAfterTheWait(run);
}

TEST(TransferFlow, AProgressDialogGoneBeforeTheWorkerHasFinishedLeavesTheOutcomeToTheLibrary) {
    // The progress dialog's modal loop ends while the library still sends: its window is
    // destroyed, alone or with the main window that owns it and the busy window (on Windows a
    // quit message posted to it by another program ends the loop too). The outcome must be
    // judged only once the library has returned, the package sent whole, and the printer still
    // given its time; nothing may reach the freed windows' objects.
    for (bool mainWindow : {false, true}) {
        SCOPED_TRACE(mainWindow ? "main window destroyed" : "progress dialog destroyed");
        TransferRun run(false);
        std::atomic<bool> given{false};
        std::atomic<size_t> callsWhenJudged{99};
        run.fake.plans = {PausedAfterFirstReport(given)};
        run.p.scripts[IDD_PROGRESS] = [&given, mainWindow](const sim::DialogView& d, sim::SimUi& ui,
                                                           int) {
            if (given) return;
            EXPECT_TRUE(ui.DestroyWindow(mainWindow ? app::MainWindow() : d.window));
            given = true;
        };
        run.p.machine.ui.OnMessageBox([&run, &callsWhenJudged](const sim::MessageBoxRecord& box) {
            if ((box.type & win::MB_TYPEMASK) == win::MB_YESNO) return win::IDYES;
            std::lock_guard<std::mutex> lock(run.fake.mutex);
            callsWhenJudged = run.fake.calls.size();
            return win::IDOK;
        });
        run.p.Run();

        EXPECT_TRUE(given);
        ASSERT_EQ(run.fake.calls.size(), 1u);
        EXPECT_EQ(run.fake.calls[0].result, 0) << "the package was stopped part-way";
        EXPECT_EQ(Bytes(run.fake.calls[0].data), std::string(300, 'A'));
        EXPECT_EQ(callsWhenJudged.load(), 1u) << "the outcome was judged while the library sent";
        ExpectCompletedAfterTheWait(run);
    }
}

TEST(TransferFlow, AfterTheProgressDialogHasGoneTheComputerStaysAwakeAndThePrinterGetsItsTime) {
    // The progress dialog's window is destroyed while the library still sends: the computer
    // must not be let go to sleep before the rest of the package and the printer's wait are
    // over, and it is let go exactly once at the end. The wait itself must come after the
    // library has returned.
    TransferRun run(false);
    std::atomic<bool> given{false};
    std::atomic<uint32_t> stateWhileSending{0};
    std::atomic<uint64_t> sleptWhileSending{0}, sleptWhenJudged{0};
    sim::SimSystem* sys = &run.p.machine.system;
    SendPlan plan;
    plan.afterFirst = [&given, &stateWhileSending, &sleptWhileSending, sys] {
        WaitUntilGiven(given)();
        stateWhileSending = sys->CurrentExecutionState();
        sleptWhileSending = sys->TotalSleptMs();
    };
    run.fake.plans = {plan};
    run.p.scripts[IDD_PROGRESS] = [&given](const sim::DialogView& d, sim::SimUi& ui, int) {
        if (given) return;
        EXPECT_TRUE(ui.DestroyWindow(d.window));
        given = true;
    };
    run.p.machine.ui.OnMessageBox([&sleptWhenJudged, sys](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) == win::MB_YESNO) return win::IDYES;
        sleptWhenJudged = sys->TotalSleptMs();
        return win::IDOK;
    });
    run.p.Run();
    EXPECT_TRUE(given);
    // The user-interface thread's own waiting for the worker counts as virtual time too: the
    // printer's wait is what lies between the library's last call and the outcome.
    EXPECT_GE(sleptWhenJudged.load() - sleptWhileSending.load(), 12000u)
        << "the printer was not given its time after the library returned";
    EXPECT_EQ(stateWhileSending.load(), win::ES_CONTINUOUS | win::ES_SYSTEM_REQUIRED)
        << "the computer was let sleep while the library sent";
    EXPECT_EQ(
        sys->ExecutionStates(),
        (std::vector<uint32_t>{win::ES_CONTINUOUS | win::ES_SYSTEM_REQUIRED, win::ES_CONTINUOUS}));
    EXPECT_FALSE(run.p.machine.ui.ShutdownBlocked());
    ExpectCompletedAfterTheWait(run);
}

TEST(TransferFlow, KeysTypedDuringThePrintersWaitDoNotAnswerTheOutcome) {
    // Nothing responds while the printer takes the firmware in, so a user presses Escape and
    // Enter at the frozen progress dialog: the failure must still be shown to them, and the
    // Enter must not run Update again.
    TransferRun run(true, 1);
    SendPlan fail;
    fail.result = 5;
    run.fake.plans = {SendPlan{}, fail};
    bool typed = false;
    AtTheStartOfThePrintersWait(run, typed, [&run] {
        run.p.machine.ui.TypeAhead(sim::TypedKey::Escape);
        run.p.machine.ui.TypeAhead(sim::TypedKey::Enter);
    });
    run.p.Run();

    ASSERT_TRUE(typed);
    auto outcome = run.Outcome();
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].text, "Failed to transfer.");
    EXPECT_FALSE(outcome[0].typedAhead) << "the failure went before the user could see it";
    EXPECT_EQ(run.p.machine.ui.TypedAheadPending(), 0);
    // One confirmation, one transfer: the printer was not asked again.
    EXPECT_EQ(run.p.machine.ui.MessageBoxes().size(), 2u);
    EXPECT_EQ(run.fake.calls.size(), 2u);
}
