#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "res/resource.h"
#include "support/sim_fixture.h"

namespace {

// A worker sends progress to the dialog's controls and ends by posting OK, as a transfer does:
// every send is served on the dialog's thread by its modal loop, and the post ends the dialog.
TEST(SimUiThreads, SendsFromAWorkerAreServedByTheModalLoopAndItsPostEndsIt) {
    test::SimMachine sim;
    sim::Machine& m = sim.machine;
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<int> servedElsewhere{0};
    std::atomic<intptr_t> lastAnswer{0};
    test::RecordingHost host;
    host.onMessage = [&](plat::Window w, uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
        if (std::this_thread::get_id() != uiThread) ++servedElsewhere;
        if (msg != win::WM_INITDIALOG) return 0;
        m.system.StartThread([w, &lastAnswer]() -> uint32_t {
            plat::IUi& ui = plat::Ui();
            plat::Window bar = ui.GetDlgItem(w, IDC_PROGRESS_BAR);
            for (int i = 0; i <= 100; i += 5) {
                lastAnswer = ui.SendMessage(bar, win::PBM_SETPOS, static_cast<uintptr_t>(i), 0);
                ui.SetWindowText(ui.GetDlgItem(w, IDC_PERCENT_TEXT), std::to_string(i) + " %");
            }
            ui.ShowWindow(w, win::SW_HIDE);
            ui.PostMessage(w, win::WM_COMMAND, win::IDOK, 0);
            return 7;
        });
        return 1;
    };
    int idleCalls = 0;
    std::optional<sim::DialogView> seenAtTheEnd;
    m.ui.OnIdle([&](const sim::UiView& view, sim::SimUi&) {
        ++idleCalls;
        if (const sim::DialogView* d = view.Find(IDD_PROGRESS)) seenAtTheEnd = *d;
    });
    EXPECT_EQ(m.ui.DialogBox(IDD_PROGRESS, {}, &host), win::IDOK);
    EXPECT_EQ(servedElsewhere, 0);
    EXPECT_EQ(lastAnswer, 95) << "PBM_SETPOS answers the previous position";
    // The loop slept while the worker ran: at most one idle call per served message.
    EXPECT_LE(idleCalls, 2 * 21 + 4);
    ASSERT_TRUE(m.system.WaitForThreads());
    EXPECT_EQ(m.system.ThreadExitCodes(), std::vector<uint32_t>{7});
    if (seenAtTheEnd) {
        EXPECT_LE(seenAtTheEnd->Control(IDC_PROGRESS_BAR)->position, 100);
    }
}

// The user cancels while the worker is still running: the worker sees the flag the dialog set on
// its own thread and stops.
TEST(SimUiThreads, TheUserCanActWhileAWorkerRuns) {
    test::SimMachine sim;
    sim::Machine& m = sim.machine;
    std::atomic<bool> cancel{false};
    std::atomic<int> sent{0};
    test::RecordingHost host;
    host.onMessage = [&](plat::Window w, uint32_t msg, uintptr_t wp, intptr_t) -> intptr_t {
        if (msg == win::WM_COMMAND && (wp & 0xFFFF) == win::IDCANCEL) {
            cancel = true;  // stays open until the worker's OK
            return 1;
        }
        if (msg != win::WM_INITDIALOG) return 0;
        m.system.StartThread([w, &cancel, &sent]() -> uint32_t {
            plat::Window bar = plat::Ui().GetDlgItem(w, IDC_PROGRESS_BAR);
            while (!cancel && sent < 100000) {
                plat::Ui().SendMessage(bar, win::PBM_SETPOS, static_cast<uintptr_t>(sent % 100), 0);
                ++sent;
            }
            plat::Ui().PostMessage(w, win::WM_COMMAND, win::IDOK, 0);
            return 0;
        });
        return 1;
    };
    m.ui.OnIdle([&](const sim::UiView& view, sim::SimUi& ui) {
        const sim::DialogView* d = view.Find(IDD_PROGRESS);
        if (d && d->Control(IDC_PROGRESS_BAR)->position >= 10 && !cancel) ui.PressEscape();
    });
    EXPECT_EQ(m.ui.DialogBox(IDD_PROGRESS, {}, &host), win::IDOK);
    EXPECT_TRUE(cancel);
    EXPECT_LT(sent, 100000);
}

// Two threads that send to each other's windows do not deadlock: a waiting sender serves what is
// sent to its own windows meanwhile.
TEST(SimUiThreads, ASenderServesSendsToItsOwnWindowsWhileItWaits) {
    test::SimMachine sim;
    sim::Machine& m = sim.machine;
    static constexpr uint32_t kPing = win::WM_USER + 5;
    std::string workerText;
    test::RecordingHost host;
    host.onMessage = [&](plat::Window w, uint32_t msg, uintptr_t, intptr_t lp) -> intptr_t {
        if (msg == kPing) {
            plat::Window other =
                plat::Ui().GetDlgItem(plat::Window{static_cast<uintptr_t>(lp)}, IDC_DEVPROG_TEXT);
            return plat::Ui().SetWindowText(other, "pong") ? 2 : 0;
        }
        if (msg != win::WM_INITDIALOG) return 0;
        m.system.StartThread([w, &workerText]() -> uint32_t {
            test::RecordingHost own;
            plat::Window mine = plat::Ui().CreateDialog(IDD_DEVPROG, {}, &own);
            intptr_t r = plat::Ui().SendMessage(w, kPing, 0, static_cast<intptr_t>(mine.id));
            workerText = plat::Ui().GetWindowText(plat::Ui().GetDlgItem(mine, IDC_DEVPROG_TEXT));
            plat::Ui().DestroyWindow(mine);
            plat::Ui().PostMessage(w, win::WM_COMMAND, win::IDOK, 0);
            return static_cast<uint32_t>(r);
        });
        return 1;
    };
    EXPECT_EQ(m.ui.DialogBox(IDD_PROGRESS, {}, &host), win::IDOK);
    ASSERT_TRUE(m.system.WaitForThreads());
    EXPECT_EQ(workerText, "pong");
    // A message the dialog procedure handled answers the sender with the dialog's message
    // result, 0, not with what the procedure returned.
    EXPECT_EQ(m.system.ThreadExitCodes(), std::vector<uint32_t>{0});
}

// A thread that waits with the paint pump answers what another thread sends to its windows, as
// the Windows layer's pump does, instead of leaving the sender blocked until a modal loop runs.
TEST(SimUiThreads, ThePaintPumpServesSendsFromAnotherThread) {
    test::SimMachine sim;
    sim::Machine& m = sim.machine;
    // A sender the pump never serves gives up after twice this; a loaded machine may leave the
    // pumping thread unscheduled for far longer than a fraction of a second.
    m.ui.SetMaxThreadWait(std::chrono::seconds(5));
    test::RecordingHost host;
    plat::Window dlg = m.ui.CreateDialog(IDD_DEVPROG, {}, &host);
    ASSERT_TRUE(dlg);
    plat::Window text = m.ui.GetDlgItem(dlg, IDC_DEVPROG_TEXT);
    std::atomic<intptr_t> answer{-1};
    ASSERT_TRUE(m.system.StartThread([text, &answer]() -> uint32_t {
        answer =
            plat::Ui().SendMessage(text, win::WM_SETTEXT, 0, reinterpret_cast<intptr_t>("Sent"));
        return 0;
    }));
    while (answer == -1) {
        m.ui.PumpPaintMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(answer, 1) << "the send was never served";
    EXPECT_EQ(m.ui.GetWindowText(text), "Sent");
    ASSERT_TRUE(m.system.WaitForThreads());
    EXPECT_TRUE(m.ui.DestroyWindow(dlg));
}

// A worker blocked in a send to a thread that never runs a modal loop does not hang the end of
// the test: the machine answers it with 0 before joining it.
TEST(SimUiThreads, MachineEndReleasesASenderNobodyServes) {
    std::atomic<intptr_t> answer{-5};
    std::atomic<bool> started{false};
    test::RecordingHost host;
    {
        test::SimMachine sim;
        plat::Window dlg = sim.machine.ui.CreateDialog(IDD_DEVPROG, {}, &host);
        ASSERT_TRUE(dlg);
        sim.machine.system.StartThread([dlg, &answer, &started]() -> uint32_t {
            started = true;
            answer =
                plat::Ui().SendMessage(dlg, win::WM_SETTEXT, 0, reinterpret_cast<intptr_t>("x"));
            return 0;
        });
        while (!started) std::this_thread::yield();
        EXPECT_FALSE(sim.machine.system.WaitForThreads(std::chrono::milliseconds(50)))
            << "the sender waits for the window's thread";
    }
    EXPECT_EQ(answer, 0);
}

}  // namespace
