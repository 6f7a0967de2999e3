// A whole update on the simulated machine with each allocation the tool's code makes failing in
// turn, as when the system runs out of memory at that moment.
#include <gtest/gtest.h>

#include <algorithm>

#include "hostile_harness.h"
#include "memory/failing_new.h"

using apptest::Program;

namespace {

int Count(const char* function) { return static_cast<int>(hostile::Calls(function).size()); }

std::string g_held;

// What one run showed the user and sent to the printer.
struct Outcome {
    bool armed = false;
    bool escaped = false;
    std::vector<std::string> boxes;
    int questionAt = -1;        // index of the confirmation among the boxes
    int writesAtQuestion = 0;   // raw writes made before it
    int writes = 0, sends = 0;  // raw writes and package transfers in all
    std::vector<simprinter::Received> received;
    std::string held;  // what the run left open
};

// Starts the tool, presses Update on the only printer and answers Yes; fails the request of the
// tool's code numbered `from`, and with `onwards` every later one too.
Outcome RunUpdate(long from, bool onwards = false) {
    Outcome r;
    g_held.clear();
    apptest::g_reportHeld = [](const std::string& what) { g_held += what; };
    int shown = 0;  // message boxes so far
    {
        Program p;
        p.SetIni(
            "[UPDATE]\r\nNewVersion=1.06\r\nCountry=c\r\nDriverName=VT-200 Label Driver\r\n"
            "MachineName=M100\r\nKF7FileName=fw.kf7\r\nKF7FileName2=fw2.kf7\r\n");
        p.machine.system.AddFile("C:\\Tools\\fw.kf7", hostile::Package(256, 256, 'A'));
        p.machine.system.AddFile("C:\\Tools\\fw2.kf7", hostile::Package(100, 100, 'B'));
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [](const sim::DialogView&, sim::SimUi& ui, int step) {
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
        };
        p.machine.ui.OnMessageBox([&r, &shown](const sim::MessageBoxRecord& box) {
            const int index = shown++;
            if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
            r.questionAt = index;
            r.writesAtQuestion = Count("QVWriteFile");
            return win::IDYES;
        });
        r.armed = failing_new::Arm(from, reinterpret_cast<void*>(&app::UlmaMain), onwards);
        try {
            p.Run();
        } catch (const std::bad_alloc&) {
            r.escaped = true;
        }
        failing_new::Disarm();
        r.boxes = p.BoxTexts();
        r.writes = Count("QVWriteFile");
        r.sends = Count("XMSendFile");
        r.received = simprinter::Instance().ReceivedPackages();
    }
    r.held = g_held;
    return r;
}

}  // namespace

TEST(OutOfMemory, NoFailedAllocationLeavesThePrinterHalfUpdatedUnsaid) {
    // The first run also parses the simulated resources once for the process; the second counts.
    RunUpdate(-1);
    Outcome clean = RunUpdate(-1);
    ASSERT_TRUE(clean.armed);
    ASSERT_EQ(failing_new::Failed(), -1);
    ASSERT_EQ(clean.received.size(), 2u);
    ASSERT_EQ(clean.boxes.size(), 2u);
    const std::string completed = clean.boxes.back();

    const long toolRequests = failing_new::ToolRequests();
    // Memory refused once, then memory refused from that request on: once the printer has been
    // told to take firmware, telling the user the outcome must need none of it.
    for (bool onwards : {false, true}) {
        SCOPED_TRACE(onwards ? "every request from it on failing" : "one request failing");
        int runs = 0, aboutRuns = 0;
        for (long from = 0; from < toolRequests + 50; ++from) {
            Outcome r = RunUpdate(from, onwards);
            long failed = failing_new::Failed();
            if (failed < 0) continue;
            ++runs;
            const std::string where = failing_new::FailedWhere();
            SCOPED_TRACE("request " + std::to_string(failed) + " from " + where);
            // Nothing the tool opened stays open, whatever the point of failure.
            EXPECT_EQ(r.held, "");
            // Start-up may end on the failure, but only before anything reached the printer.
            if (r.escaped) {
                EXPECT_EQ(r.writes + r.sends, 0);
            }
            // Success is reported only for a printer that took both packages whole.
            if (std::find(r.boxes.begin(), r.boxes.end(), completed) != r.boxes.end()) {
                ASSERT_EQ(r.received.size(), 2u);
                EXPECT_EQ(r.received[0].bytes.size(), 64u + 256u);
                EXPECT_EQ(r.received[1].bytes.size(), 64u + 100u);
            }
            // A text the main dialog can do without (its About entry) keeps no printer from it.
            if (!onwards &&
                where.rfind("app::LoadStr[abi:cxx11] <- CulmaUpDateDlg::OnInitDialog", 0) == 0) {
                ++aboutRuns;
                EXPECT_EQ(r.received.size(), 2u);
            }
            // Without the question nothing goes beyond the version query; after it, once the
            // printer was told to take firmware, the user learns how the update ended.
            if (r.questionAt < 0) {
                EXPECT_EQ(r.sends, 0);
                EXPECT_LE(r.writes, clean.writesAtQuestion);
            } else if (r.writes > r.writesAtQuestion || r.sends > 0) {
                EXPECT_GT(static_cast<int>(r.boxes.size()), r.questionAt + 1);
            }
        }
        EXPECT_GE(runs, toolRequests - 5);
        if (!onwards) {
            EXPECT_GT(aboutRuns, 0);
        }
        std::printf("requests of the tool's code in a whole update: %ld; failed %s: %d\n",
                    toolRequests, onwards ? "each with all later ones" : "one at a time", runs);
    }
}
