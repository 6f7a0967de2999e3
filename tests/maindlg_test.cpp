// The main dialog against the simulated machine: printer list, preselection, no printer,
// missing raw I/O library, system menu, icons and painting.
#include <gtest/gtest.h>

#include "app_harness.h"
#include "res/catalog.h"

using apptest::Program;

namespace {

// Captures the main dialog as the user first sees it, then leaves with Exit.
struct MainSnapshot {
    sim::DialogView view;
    std::vector<sim::MenuItem> menu;
    uintptr_t bigIcon = 0, smallIcon = 0;
};

void CaptureAndExit(Program& p, MainSnapshot& snap) {
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&snap](const sim::DialogView& d, sim::SimUi& ui, int) {
        snap.view = d;
        snap.menu = ui.SystemMenuItems(d.window);
        snap.bigIcon = ui.WindowIcon(d.window, win::ICON_BIG);
        snap.smallIcon = ui.WindowIcon(d.window, win::ICON_SMALL);
        ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
    };
}

}  // namespace

TEST(MainDialog, ListsPrintersSortedAndPreselectsTheFirst) {
    Program p;
    p.machine.spooler.InstallSimple("B-printer", apptest::kDriver);
    p.machine.spooler.InstallSimple("A-printer", "VT-200 Inbox");
    p.machine.spooler.InstallSimple("Other", "Some Other Driver");
    MainSnapshot snap;
    CaptureAndExit(p, snap);
    p.Run();

    const sim::ControlView* combo = snap.view.Control(IDC_COMBO_PRINTER);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->items, (std::vector<std::string>{"A-printer", "B-printer"}));
    EXPECT_EQ(combo->selection, 0);
    EXPECT_TRUE(combo->enabled);
    EXPECT_TRUE(snap.view.Control(IDC_UPDATE)->enabled);
    EXPECT_EQ(snap.view.caption, "M100 Firmware Update Tool");
    EXPECT_TRUE(p.BoxTexts().empty());

    // The About entry follows a separator; both icons are the program's icon.
    ASSERT_EQ(snap.menu.size(), 2u);
    EXPECT_EQ(snap.menu[0].flags & win::MF_SEPARATOR, win::MF_SEPARATOR);
    EXPECT_EQ(snap.menu[1].id, static_cast<uintptr_t>(IDM_ABOUTBOX));
    EXPECT_EQ(snap.menu[1].text, "&About...");
    EXPECT_NE(snap.bigIcon, 0u);
    EXPECT_EQ(snap.bigIcon, snap.smallIcon);
    EXPECT_EQ(p.machine.modules.LiveModules("qvfilo.dll"), 0);
}

TEST(MainDialog, PrinterNamedLikeTheDriverIsPreselectedWhateverItsCase) {
    Program p;
    p.machine.spooler.InstallSimple("A-printer", apptest::kDriver);
    p.machine.spooler.InstallSimple("vt-200 LABEL driver", apptest::kDriver);
    p.machine.spooler.InstallSimple("Z-printer", apptest::kDriver);
    p.machine.spooler.InstallSimple("VT-200 Label Driver (copy 1)", apptest::kDriver);
    MainSnapshot snap;
    CaptureAndExit(p, snap);
    p.Run();
    const sim::ControlView* combo = snap.view.Control(IDC_COMBO_PRINTER);
    ASSERT_NE(combo, nullptr);
    ASSERT_GE(combo->selection, 0);
    EXPECT_EQ(combo->items[static_cast<size_t>(combo->selection)], "vt-200 LABEL driver");
}

TEST(MainDialog, NoSupportedPrinterDisablesTheChoiceButKeepsExit) {
    Program p;
    p.machine.spooler.InstallSimple("Other", "Some Other Driver");
    MainSnapshot snap;
    // Leaving is all that is left to do, and Enter does it: the disabled Update must not stay
    // the button Enter presses, or the key does nothing while the focus is on Exit.
    bool entered = false;
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& ui, int) {
        snap.view = d;
        entered = ui.PressEnter();
        if (!entered) ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
    };
    p.Run();
    EXPECT_TRUE(entered) << "Enter pressed nothing";
    EXPECT_EQ(snap.view.Control(IDC_EXIT)->style & res::style::BS_TYPEMASK,
              res::style::BS_DEFPUSHBUTTON);
    EXPECT_EQ(snap.view.Control(IDC_UPDATE)->style & res::style::BS_TYPEMASK,
              res::style::BS_PUSHBUTTON);
    auto boxes = p.machine.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "A compatible printer cannot be found.");
    EXPECT_EQ(boxes[0].type, win::MB_OK | win::MB_ICONHAND);
    EXPECT_EQ(boxes[0].caption, "M100 Firmware Update Tool");
    EXPECT_FALSE(snap.view.Control(IDC_COMBO_PRINTER)->enabled);
    EXPECT_TRUE(snap.view.Control(IDC_COMBO_PRINTER)->items.empty());
    EXPECT_FALSE(snap.view.Control(IDC_UPDATE)->enabled);
    EXPECT_TRUE(snap.view.Control(IDC_EXIT)->enabled);
    EXPECT_EQ(snap.view.caption, "M100 Firmware Update Tool");
}

TEST(MainDialog, RawIoLibraryWithoutAnExportLeavesTemplateCaptionAndNeverReachesThePrinter) {
    for (const char* missing : {"QVWriteFile", "QVReadFile"}) {
        Program p;
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        p.machine.modules.Unregister("qvfilo.dll");
        p.machine.modules.Register("qvfilo.dll", simprinter::QvFiloExports({missing}));
        MainSnapshot snap;
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& ui, int step) {
            if (step == 0) {
                snap.view = d;
                ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_UPDATE);
            } else {
                ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
            }
        };
        p.Run();
        EXPECT_EQ(snap.view.caption, "XX Firmware Update Tool") << missing;
        EXPECT_TRUE(snap.view.Control(IDC_COMBO_PRINTER)->items.empty());
        EXPECT_EQ(p.machine.spooler.counters.enumPrinters, 0);
        for (const std::string& line : simprinter::Instance().Log()) {
            EXPECT_EQ(line.rfind("QV", 0), std::string::npos) << line;
        }
        // Update then ends with its own message instead of reaching the library.
        EXPECT_EQ(p.BoxTexts(), (std::vector<std::string>{app::LoadStr(IDS_RAWIO_UNAVAILABLE)}));
        EXPECT_EQ(p.machine.modules.LiveModules("qvfilo.dll"), 0) << missing;
    }
    {
        Program p;
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        p.machine.modules.Unregister("qvfilo.dll");  // the file stays, the library cannot load
        MainSnapshot snap;
        CaptureAndExit(p, snap);
        p.Run();
        EXPECT_EQ(snap.view.caption, "XX Firmware Update Tool");
        EXPECT_TRUE(p.BoxTexts().empty());
    }
}

TEST(MainDialog, SystemMenuPaintAndDragIcon) {
    Program p;
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    std::vector<int> aboutOpenedAt;
    intptr_t dragIcon = 0;
    uintptr_t icon = 0;
    int step = 0;
    p.scripts[IDD_ABOUTBOX] = [&](const sim::DialogView&, sim::SimUi& ui, int) {
        aboutOpenedAt.push_back(step);
        ui.ClickIn(IDD_ABOUTBOX, win::IDOK);
    };
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& ui, int s) {
        step = s;
        switch (s) {
            case 0:
                ui.SystemCommand(0x10);
                break;
            case 1:
                ui.SystemCommand(0x1F);
                break;
            case 2:
                ui.SystemCommand(0x20);
                break;  // not the About entry
            case 3: {
                icon = ui.WindowIcon(d.window, win::ICON_BIG);
                dragIcon = ui.SendMessage(d.window, win::WM_QUERYDRAGICON, 0, 0);
                ui.SendMessage(d.window, win::WM_PAINT, 0, 0);  // not minimised: default paint
                ui.SetIconic(d.window, true);
                ui.SendMessage(d.window, win::WM_PAINT, 0, 0);
                ui.SetIconic(d.window, false);
                ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
                break;
            }
            default:
                ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
                break;
        }
    };
    p.Run();
    EXPECT_EQ(aboutOpenedAt, (std::vector<int>{0, 1}));
    EXPECT_EQ(static_cast<uintptr_t>(dragIcon), icon);
    auto paints = p.machine.ui.IconPaints();
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(paints[0].icon, icon);
    // Centred in the client area with the system icon size.
    EXPECT_GE(paints[0].x, 0);
    EXPECT_GE(paints[0].y, 0);
}

TEST(MainDialog, KeysTypedWhileThePrintersAreGatheredDoNotAnswerWhatFollows) {
    // The main dialog does not respond while it gathers the printers and their drivers, which
    // can take long; a second Enter given to Start meanwhile must not dismiss the message that
    // no printer was found before the user has read it.
    Program p;
    p.machine.spooler.InstallSimple("Other", "Some Other Driver");
    p.scripts[IDD_WARNING] = [](const sim::DialogView&, sim::SimUi& ui, int) {
        ui.ClickIn(IDD_WARNING, win::IDOK);
        ui.TypeAhead(sim::TypedKey::Enter);
    };
    p.Run();
    auto boxes = p.machine.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "A compatible printer cannot be found.");
    EXPECT_FALSE(boxes[0].typedAhead) << "the message went before the user could see it";
    EXPECT_EQ(p.machine.ui.TypedAheadPending(), 0);
}
