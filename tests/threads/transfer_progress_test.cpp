// The arithmetic and text rules of the progress report: the overall percentage in 64 bits, the
// package name cut at a character boundary, and the centring of the device-busy window.
#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "transfer/devprogdlg.h"
#include "transfer/progressdlg.h"
#include "transfer/transferstate.h"

TEST(TransferProgress, OverallPercentDoesNotOverflowForLargePackages) {
    // Two packages of 300 and 100 bytes, half of the second sent.
    EXPECT_EQ(OverallPercent(100, 50, 300, 400), 87u);
    EXPECT_EQ(OverallPercent(0, 0, 0, 1), 0u);
    // 100 MB at 50 %: current x percent alone is beyond 32 bits.
    EXPECT_EQ(OverallPercent(100000000u, 50, 0, 100000000u), 50u);
    // Two packages of 2,000,000,000 bytes: (done + current/2) x 100 is beyond 32 bits too.
    EXPECT_EQ(OverallPercent(2000000000u, 50, 2000000000u, 4000000000u), 75u);
    EXPECT_EQ(OverallPercent(2000000000u, 100, 2000000000u, 4000000000u), 100u);
}

TEST(TransferProgress, DisplayNamesAreCutAtACharacterBoundary) {
    {
        sim::Machine m;
        EXPECT_EQ(CutDisplayName(std::string(32, 'a'), 32), std::string(32, 'a'));
        EXPECT_EQ(CutDisplayName(std::string(40, 'a'), 32), std::string(32, 'a') + "...");
    }
    {
        sim::Machine m(sim::MachineOptions{sim::Language::Japanese});
        const std::string kana = "\x82\xa0";  // one double-byte character in code page 932
        // The character would straddle byte 32: it is left out whole.
        EXPECT_EQ(CutDisplayName(std::string(31, 'a') + kana + "b", 32),
                  std::string(31, 'a') + "...");
        // Ending exactly at byte 32 it is kept.
        EXPECT_EQ(CutDisplayName(std::string(30, 'a') + kana + "bc", 32),
                  std::string(30, 'a') + kana + "...");
        // A lead byte at the very end (a broken name) does not step past the text.
        EXPECT_EQ(CutDisplayName(std::string(33, 'a') + "\x82", 32), std::string(32, 'a') + "...");
        // The second byte of a double-byte character may be 0x5C, the backslash: it does not
        // end the folder part of a package path.
        const std::string soft = "\x83\x5c\x83\x74\x83\x67";  // three characters, 0x5C inside
        EXPECT_EQ(PackageDisplayName("C:\\Tools\\" + soft + ".kf7"), soft);
        EXPECT_EQ(PackageDisplayName("C:\\" + soft + "\\main.kf7"), "main");
    }
}

TEST(TransferProgress, CallbackStopsWithoutAnOpenDialogOrData) {
    sim::Machine m;
    ResetTransferState();
    EXPECT_EQ(TransferProgress(0), 0);
    EXPECT_EQ(PackageDisplayName("C:\\fw\\main.bin"), "main");
    EXPECT_EQ(PackageDisplayName("C:\\fw.d\\main"), "main");
    EXPECT_EQ(PackageDisplayName("a/b.c.kf7"), "b.c");
}

TEST(TransferProgress, DeviceBusyWindowIsCentredTruncatingTowardZero) {
    int x = 0, y = 0;
    CDevProgDlg::CentreOver(plat::Rect{100, 50, 500, 350}, plat::Rect{0, 0, 200, 100}, x, y);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 150);
    CDevProgDlg::CentreOver(plat::Rect{-301, -101, 0, 0}, plat::Rect{0, 0, 0, 0}, x, y);
    EXPECT_EQ(x, -150);
    EXPECT_EQ(y, -50);
}

namespace {

// A dialog manager that answers private messages sent to a dialog as Windows does: the dialog
// procedure only says whether it handled the message, and the sender gets 0 back.
class WindowsLikeUi : public sim::SimUi {
  public:
    using sim::SimUi::SimUi;
    intptr_t SendMessage(plat::Window window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override {
        intptr_t result = sim::SimUi::SendMessage(window, message, wParam, lParam);
        return message >= 0x8000 ? 0 : result;
    }
};

}  // namespace

TEST(TransferProgress, ReportsWhileTheBusyWindowShowsGoOnEvenAfterACancel) {
    sim::Machine m;
    WindowsLikeUi ui(m.system);
    plat::Platform platform = plat::Get();
    platform.ui = &ui;
    plat::Install(platform);
    {
        // No worker: the test gives the reports itself.
        g_pfnTransferWorker = nullptr;
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(plat::Window{}));
        // Without data to send a report stops the transfer.
        EXPECT_EQ(TransferProgress(50), 0);
        g_nTotalBytes = 100;
        g_nCurrentBytes = 100;
        // A package that may be cancelled: only the busy window keeps the cancel from acting.
        g_bCancelEnabled = 1;
        EXPECT_EQ(TransferProgress(50), 1);
        EXPECT_EQ(TransferProgress(100), 1);
        ASSERT_NE(g_pDevProgDlg.load(), nullptr);
        EXPECT_TRUE(g_pDevProgDlg.load()->IsWindowVisible());
        // Once the whole transfer is handed over, a late cancel changes nothing.
        g_bCancel = 1;
        EXPECT_EQ(TransferProgress(100), 1);
        dlg.DestroyWindow();
    }
    EXPECT_EQ(g_pDevProgDlg.load(), nullptr);
    EXPECT_EQ(ui.OpenDialogs(), 0);
    platform.ui = &m.ui;
    plat::Install(platform);
}
