// Whole updates on the simulated machine against the simulated printer, with the worker on a real
// thread: start-up to completion in Japanese, and an update that sends the second package too.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "app_harness.h"
#include "res/catalog.h"
#include "support/package_file.h"
#include "transfer/progressdlg.h"
#include "transfer/transferstate.h"

using apptest::Program;

namespace {

// A package whose data is as long as its header says.
std::string Package(int32_t length, char fill) {
    return testpkg::Package(length, std::string(static_cast<size_t>(length), fill));
}

// What the user saw of the progress and device-busy windows at one progress report.
struct Seen {
    std::string progressCaption, transferText, percentText;
    std::string busyCaption, busyText;
    bool busyVisible = false;
    std::string cutName;  // the package's display name as the progress line would take it
};

// Watches each progress report of the simulated printer's XMSendFile from the worker thread.
struct Watch {
    sim::SimUi* ui = nullptr;
    maker::XMProgressCallback callback = nullptr;
    std::mutex mutex;
    std::vector<Seen> seen;
};
Watch* g_watch = nullptr;

int32_t ULMA_WINAPI WatchingCallback(uint32_t percent) {
    int32_t answer = g_watch->callback(percent);
    Seen s;
    sim::UiView view = g_watch->ui->View();
    if (const sim::DialogView* d = view.Find(IDD_PROGRESS)) {
        s.progressCaption = d->caption;
        s.transferText = d->Text(IDC_TRANSFER_TEXT);
        s.percentText = d->Text(IDC_PERCENT_TEXT);
    }
    if (const sim::DialogView* d = view.Find(IDD_DEVPROG)) {
        s.busyCaption = d->caption;
        s.busyText = d->Text(IDC_DEVPROG_TEXT);
        s.busyVisible = d->visible;
    }
    s.cutName = CutDisplayName(g_strCurrentName.Get(), CProgressDlg::kMaxNameBytes);
    std::lock_guard<std::mutex> lock(g_watch->mutex);
    g_watch->seen.push_back(s);
    return answer;
}

int32_t ULMA_WINAPI WatchedSendFile(const uint8_t* header64, const uint8_t* data,
                                    const uint32_t* length, uint8_t* status32, int32_t value,
                                    maker::XMProgressCallback callback) {
    g_watch->callback = callback;
    return simprinter::Instance().XMSendFile(header64, data, length, status32, value,
                                             &WatchingCallback);
}

// Puts the watching XMSendFile into the program's transfer-driver library.
void Watched(Program& p, Watch& watch) {
    watch.ui = &p.machine.ui;
    g_watch = &watch;
    auto xm = simprinter::XmLinkExports();
    xm["XMSendFile"] = reinterpret_cast<void*>(&WatchedSendFile);
    p.machine.modules.Register("XmLink.dll", xm);
}

int Count(const std::string& prefix) {
    auto log = simprinter::Instance().Log();
    return static_cast<int>(std::count_if(
        log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(WholeUpdate, JapaneseFromStartUpToCompletion) {
    sim::MachineOptions options;
    options.language = sim::Language::Japanese;
    Program p(options);
    Watch watch;
    Watched(p, watch);
    sim::SimUi& ui = p.machine.ui;
    const res::Catalog& ja = res::GetCatalog(res::Lang::Japanese);
    auto jaText = [&](uint32_t id, std::initializer_list<std::string> args) {
        return ui.Ansi(app::FormatText(ja.strings.at(id), args));
    };

    const std::string machineName = "ラベルライター QL";
    const std::string printer = ui.Ansi("事務所のラベルプリンター");
    // 37 bytes before the extension; 表 ends in the byte 0x5C.
    const std::string packageName = ui.Ansi("v表示用ファームウェア更新データ第二版");
    const std::string packagePath = std::string(apptest::kDir) + "\\" + packageName + ".kf7";
    p.SetIni(ui.Ansi("[UPDATE]\r\nNewVersion=1.06\r\nCountry=c\r\nDriverName=") + apptest::kDriver +
             "\r\nMachineName=" + ui.Ansi(machineName) + "\r\nKF7FileName=" + packageName +
             ".kf7\r\n");
    p.machine.system.AddFile(packagePath, Package(200, 'J'));
    p.machine.spooler.InstallSimple(printer, apptest::kDriver);
    simprinter::State state = simprinter::Instance().GetState();
    state.printerNames = {printer};
    simprinter::Instance().SetState(state);

    const std::string title = jaText(IDS_TITLE_FMT, {machineName});
    std::string warningCaption, warningText, mainCaption;
    std::vector<std::string> listed;
    bool exitPressed = false;
    p.scripts[IDD_WARNING] = [&](const sim::DialogView& d, sim::SimUi& u, int) {
        warningCaption = d.caption;
        warningText = d.Text(IDC_WARNING_TEXT);
        u.ClickIn(IDD_WARNING, win::IDOK);
    };
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& u, int step) {
        mainCaption = d.caption;
        if (const sim::ControlView* combo = d.Control(IDC_COMBO_PRINTER)) listed = combo->items;
        if (step > 0) exitPressed = true;
        u.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
    };
    EXPECT_EQ(p.Run(), 0);

    EXPECT_EQ(warningCaption, title);
    EXPECT_EQ(warningText, jaText(IDS_WARNING_TEXT, {machineName}));
    EXPECT_EQ(mainCaption, title);
    EXPECT_EQ(listed, std::vector<std::string>{printer});

    auto boxes = ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, jaText(IDS_CONFIRM_UPDATE, {"1.05c", "1.06", machineName}));
    EXPECT_EQ(boxes[0].type & win::MB_TYPEMASK, win::MB_YESNO);
    EXPECT_EQ(boxes[1].text, jaText(IDS_COMPLETED, {machineName}));
    EXPECT_EQ(boxes[1].type & win::MB_ICONMASK, win::MB_ICONINFORMATION);
    for (const auto& box : boxes) EXPECT_EQ(box.caption, title);
    EXPECT_FALSE(exitPressed);

    // The progress and device-busy windows in Japanese; the name cut at a character boundary.
    ASSERT_FALSE(watch.seen.empty());
    const std::string cut = ui.Ansi("v表示用ファームウェア更新データ") + "...";
    EXPECT_EQ(cut.size(), 31u + 3u);
    for (const Seen& s : watch.seen) {
        EXPECT_EQ(s.progressCaption, title);
        EXPECT_EQ(s.transferText, jaText(IDS_TRANSFERRING, {}));
        EXPECT_EQ(s.cutName, cut);
    }
    const Seen& last = watch.seen.back();
    EXPECT_EQ(last.percentText, "100 %");
    EXPECT_TRUE(last.busyVisible);
    EXPECT_EQ(last.busyCaption, title);
    EXPECT_EQ(last.busyText, ui.Ansi(ja.dialogs.at(IDD_DEVPROG).controls.at(0).text));

    // The package reached the printer the user confirmed, under its Japanese name.
    auto received = simprinter::Instance().ReceivedPackages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].printer, printer);
    EXPECT_EQ(Bytes(received[0].bytes), p.machine.system.ReadFile(packagePath));
    EXPECT_EQ(simprinter::Instance().GetState().version, "1.06");
    g_watch = nullptr;
}

TEST(WholeUpdate, TheSecondPackageIsSentAfterTheFirstInTheSameTransfer) {
    Program p;
    Watch watch;
    Watched(p, watch);
    p.SetIni(std::string("[UPDATE]\r\nNewVersion=1.06\r\nCountry=c\r\nDriverName=") +
             apptest::kDriver +
             "\r\nMachineName=M100\r\nKF7FileName=main.kf7\r\nKF7FileName2=sub\\second.bin\r\n");
    const std::string first = Package(300, 'A'), second = Package(100, 'B');
    p.machine.system.AddFile("C:\\Tools\\main.kf7", first);
    p.machine.system.AddFile("C:\\Tools\\sub\\second.bin", second);
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    simprinter::State state = simprinter::Instance().GetState();
    state.packages = 2;
    state.progressStep = 50;
    simprinter::Instance().SetState(state);
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [](const sim::DialogView&, sim::SimUi& u, int step) {
        u.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
    };
    EXPECT_EQ(p.Run(), 0);

    auto boxes = p.machine.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Completed the firmware update for M100.");
    auto received = simprinter::Instance().ReceivedPackages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(Bytes(received[0].bytes), first);
    EXPECT_EQ(Bytes(received[1].bytes), second);
    EXPECT_EQ(received[1].printer, "P1");
    // Two XMCmdInit of the Update command, one of the worker; then the two sends.
    EXPECT_EQ(Count("XMCmdInit"), 3);
    EXPECT_EQ(Count("XMSendFile"), 2);
    EXPECT_EQ(g_nTotalBytes.load(), 400u);
    // The overall percentage counts both packages; the second one's name is shown while it goes.
    std::vector<std::string> percents;
    for (const Seen& s : watch.seen) percents.push_back(s.percentText);
    EXPECT_EQ(percents, (std::vector<std::string>{"0 %", "37 %", "75 %", "75 %", "87 %", "100 %"}));
    EXPECT_EQ(watch.seen.front().cutName, "main");
    EXPECT_EQ(watch.seen.back().cutName, "second");
    // Only after both packages does the printer report the new firmware.
    EXPECT_EQ(simprinter::Instance().GetState().version, "1.06");
    g_watch = nullptr;
}
