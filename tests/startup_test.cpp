// Start-up of the whole program against the simulated machine: configuration file, required
// files, transfer-driver binding, warning, and the exit step.
#include <gtest/gtest.h>

#include "app_harness.h"

using apptest::Program;

namespace {

constexpr uint32_t kErrorOk = win::MB_OK | win::MB_ICONHAND;

std::string IniWith(const std::string& machineLine, const std::string& packageLine) {
    return "[UPDATE]\r\nNewVersion=1.06\r\nCountry=c\r\nDriverName=VT-200 Label Driver\r\n" +
           machineLine + "\r\n" + packageLine + "\r\n";
}

}  // namespace

TEST(Startup, HappyRunShowsWarningThenMainDialogAndFreesEverything) {
    Program p;
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    std::string warningTitle, warningText;
    p.scripts[IDD_WARNING] = [&](const sim::DialogView& d, sim::SimUi& ui, int) {
        warningTitle = d.caption;
        warningText = d.Text(IDC_WARNING_TEXT);
        ui.ClickIn(IDD_WARNING, win::IDOK);
    };
    EXPECT_EQ(p.Run(), 0);

    EXPECT_EQ(warningTitle, "M100 Firmware Update Tool");
    EXPECT_EQ(warningText,
              "Do not operate M100 or disconnect the USB cable until the update operation is "
              "completed.");
    EXPECT_EQ(p.machine.ui.DialogsCreated(),
              (std::vector<int>{IDD_WARNING, IDD_ULMAUPDATE_DIALOG}));
    EXPECT_TRUE(p.BoxTexts().empty());
    EXPECT_EQ(app::DisplayName(), "M100 Firmware Update Tool");
    EXPECT_EQ(GetApp().RegistryKey(), "Vantoro Industries, Ltd.");
    EXPECT_EQ(GetApp().m_strIniPath, "C:\\Tools\\ulmaupdate.ini");
    EXPECT_EQ(GetApp().m_strExeDir, "C:\\Tools");
    // The working folder is out of the library search, and both libraries are freed at the end.
    EXPECT_EQ(p.machine.system.DllSearchCurrentDirectoryRemovals(), 1);
    EXPECT_EQ(p.machine.modules.LiveModules("XmLink.dll"), 0);
    EXPECT_EQ(p.machine.modules.LiveModules("qvfilo.dll"), 0);
    EXPECT_EQ(p.machine.modules.Loads(), 2);
    EXPECT_EQ(p.machine.ui.OpenDialogs(), 0);
    EXPECT_TRUE(p.machine.system.Writes().empty());
}

TEST(Startup, WindowsWithoutAVisibleOwnerOpenInTheMiddleOfTheScreen) {
    Program p;
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    plat::Rect warning, main, about;
    p.scripts[IDD_WARNING] = [&](const sim::DialogView& d, sim::SimUi& ui, int) {
        warning = d.rect;
        ui.ClickIn(IDD_WARNING, win::IDOK);
    };
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& ui, int step) {
        main = d.rect;
        if (step == 0)
            ui.SystemCommand(IDM_ABOUTBOX);
        else
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
    };
    p.scripts[IDD_ABOUTBOX] = [&](const sim::DialogView& d, sim::SimUi& ui, int) {
        about = d.rect;
        ui.PressEscape();
    };
    EXPECT_EQ(p.Run(), 0);

    const int screenWidth = p.machine.ui.GetSystemMetrics(win::SM_CXSCREEN);
    const int screenHeight = p.machine.ui.GetSystemMetrics(win::SM_CYSCREEN);
    for (const plat::Rect& r : {warning, main}) {
        EXPECT_GT(r.right - r.left, 0);
        EXPECT_EQ(r.left, (screenWidth - (r.right - r.left)) / 2);
        EXPECT_EQ(r.top, (screenHeight - (r.bottom - r.top)) / 2);
    }
    // The About box belongs to the main dialog, which is on screen: it opens at its corner.
    EXPECT_GT(about.right - about.left, 0);
    EXPECT_GE(about.left, main.left);
    EXPECT_GE(about.top, main.top);
    EXPECT_LT(about.left, main.left + 16);
    EXPECT_LT(about.top, main.top + 40);
}

TEST(Startup, MissingConfigurationEndsAtOnceWithExecutableNameAsCaption) {
    {
        Program p;
        p.machine.system.RemoveFile(apptest::kIni);
        // A configuration file in the working folder does not count.
        p.machine.system.AddFile("C:\\Users\\user\\ulmaupdate.ini", apptest::DefaultIni());
        p.Run();
        auto boxes = p.machine.ui.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Error : Data file is not found.");
        EXPECT_EQ(boxes[0].caption, "ulmaupdate");
        EXPECT_EQ(boxes[0].type, kErrorOk);
        EXPECT_TRUE(p.machine.system.ProfileReads().empty());
        EXPECT_TRUE(p.machine.ui.DialogsCreated().empty());
        EXPECT_EQ(p.machine.modules.Loads(), 0);
    }
    {
        // Without the executable's path nothing is looked for at the root.
        Program p;
        p.machine.system.AddFile("\\ulmaupdate.ini", apptest::DefaultIni());
        p.machine.system.AddFile("C:\\ulmaupdate.ini", apptest::DefaultIni());
        p.machine.system.FailModuleFileName(true);
        p.Run();
        EXPECT_EQ(p.BoxTexts(), (std::vector<std::string>{"Error : Data file is not found."}));
        EXPECT_TRUE(p.machine.system.ProfileReads().empty());
        EXPECT_TRUE(p.machine.ui.DialogsCreated().empty());
    }
}

TEST(Startup, ExecutableFolderIsCutAtTheLastRealSeparator) {
    // 0x95 0x5C is one double-byte character in code page 932; its trail byte is no separator.
    sim::MachineOptions options;
    options.language = sim::Language::Japanese;
    options.exePath = "C:\\Tools\\\x95\x5C.exe";
    Program p(options);
    p.machine.system.RemoveFile(apptest::kIni);
    p.Run();
    auto boxes = p.machine.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "\x95\x5C");
    std::string dir = "unchanged";
    EXPECT_TRUE(GetApp().GetExeDirectory(dir));
    EXPECT_EQ(dir, "C:\\Tools");

    p.machine.system.SetExePath("D:/a/b:c.exe");
    EXPECT_TRUE(GetApp().GetExeDirectory(dir));
    EXPECT_EQ(dir, "D:/a/b");
    p.machine.system.SetExePath("D:/a/b/c.exe");
    EXPECT_TRUE(GetApp().GetExeDirectory(dir));
    EXPECT_EQ(dir, "D:/a/b");
    p.machine.system.FailModuleFileName(true);
    EXPECT_FALSE(GetApp().GetExeDirectory(dir));
    EXPECT_EQ(dir, "D:/a/b");
}

TEST(Startup, MissingFilesAreListedInOneMessage) {
    const std::string lib1 = "C:\\Tools\\XmLink.dll", lib2 = "C:\\Tools\\qvfilo.dll",
                      pkg = "C:\\Tools\\fw.kf7";
    for (int missing = 1; missing < 8; ++missing) {
        Program p;
        if (missing & 1) p.machine.system.RemoveFile(lib1);
        if (missing & 2) p.machine.system.RemoveFile(lib2);
        if (missing & 4) p.machine.system.RemoveFile(pkg);
        p.Run();
        std::string expected = "File is not found.\n\n";
        if (missing & 1) expected += "xmlink.dll";
        if (missing & 2) expected += "\nqvfilo.dll";
        if (missing & 4) expected += "\nfw.kf7";
        auto boxes = p.machine.ui.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << missing;
        EXPECT_EQ(boxes[0].text, expected) << missing;
        EXPECT_EQ(boxes[0].caption, "M100 Firmware Update Tool");
        EXPECT_EQ(boxes[0].type, kErrorOk);
        EXPECT_EQ(p.machine.modules.Loads(), 0) << missing;
        EXPECT_TRUE(p.machine.ui.DialogsCreated().empty());
    }
}

TEST(Startup, FoldersAndEmptyNamesDoNotCountAsRequiredFiles) {
    {
        Program p;
        p.machine.system.RemoveFile("C:\\Tools\\fw.kf7");
        p.machine.system.AddDirectory("C:\\Tools\\fw.kf7");
        p.machine.system.RemoveFile("C:\\Tools\\qvfilo.dll");
        p.machine.system.AddDirectory("C:\\Tools\\qvfilo.dll");
        p.Run();
        EXPECT_EQ(p.BoxTexts(),
                  (std::vector<std::string>{"File is not found.\n\n\nqvfilo.dll\nfw.kf7"}));
    }
    {
        // An empty package name would name the folder itself.
        Program p;
        p.SetIni(IniWith("MachineName=M100", "KF7FileName="));
        p.Run();
        EXPECT_EQ(p.BoxTexts(), (std::vector<std::string>{"File is not found.\n\n\n"}));
    }
}

TEST(Startup, TransferLibraryLackingAnExportEndsTheProgramAndIsFreed) {
    Program p;
    p.machine.modules.Unregister("XmLink.dll");
    p.machine.modules.Register("XmLink.dll", simprinter::XmLinkExports({"XMDeleteFile"}));
    p.Run();
    auto boxes = p.machine.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error : Transfer DLL : Open");
    EXPECT_EQ(boxes[0].type, kErrorOk);
    EXPECT_EQ(boxes[0].caption, "M100 Firmware Update Tool");
    EXPECT_TRUE(p.machine.ui.DialogsCreated().empty());
    EXPECT_EQ(p.machine.modules.LiveModules("XmLink.dll"), 0);
    EXPECT_EQ(p.machine.modules.Loads(), 1);
}

TEST(Startup, OnlyOneCopyRunsAndItHoldsItsLockUntilItEnds) {
    const std::string lockName = "Global\\ulmaupdate.one-copy";
    {
        // Another copy runs: this one says so under its title and touches nothing.
        Program p;
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        p.machine.system.HoldLockElsewhere(lockName);
        EXPECT_EQ(p.Run(), 0);
        auto boxes = p.machine.ui.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  "The firmware update tool is already running. Only one update can run at a "
                  "time.");
        EXPECT_EQ(boxes[0].caption, "M100 Firmware Update Tool");
        EXPECT_EQ(boxes[0].type, win::MB_OK | win::MB_ICONWARNING);
        EXPECT_TRUE(p.machine.ui.DialogsCreated().empty());
        EXPECT_EQ(p.machine.modules.Loads(), 0);
        EXPECT_EQ(p.machine.spooler.counters.total(), 0);
        EXPECT_TRUE(p.machine.system.HeldLocks().empty());
    }
    {
        // The only copy holds the lock through the main dialog and gives it back at the end.
        Program p;
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        std::vector<std::string> heldInMainDialog;
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView&, sim::SimUi& ui, int) {
            heldInMainDialog = p.machine.system.HeldLocks();
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
        };
        p.Run();
        EXPECT_EQ(heldInMainDialog, std::vector<std::string>{lockName});
        EXPECT_TRUE(p.machine.system.HeldLocks().empty());
        EXPECT_TRUE(p.BoxTexts().empty());
    }
}

TEST(Startup, CancellingTheWarningTouchesNoPrinter) {
    // Cancel, Escape, the close box, or a warning that cannot be shown at all (the system out of
    // window resources): the user has not accepted it, so the program ends.
    for (int way = 0; way < 4; ++way) {
        Program p;
        p.machine.spooler.InstallSimple("P1", apptest::kDriver);
        if (way == 3) p.machine.ui.FailCreateDialog(IDD_WARNING);
        p.scripts[IDD_WARNING] = [way](const sim::DialogView&, sim::SimUi& ui, int) {
            if (way == 0) ui.ClickIn(IDD_WARNING, win::IDCANCEL);
            if (way == 1) ui.PressEscape();
            if (way == 2) ui.CloseBox();
        };
        p.Run();
        EXPECT_EQ(p.machine.ui.DialogsCreated(),
                  way == 3 ? std::vector<int>{} : std::vector<int>{IDD_WARNING})
            << way;
        EXPECT_EQ(p.machine.modules.LiveModules(), 0);
        EXPECT_EQ(p.machine.modules.Loads(), 1);  // the transfer-driver library only
        EXPECT_EQ(p.machine.spooler.counters.total(), 0);
        EXPECT_EQ(GetPrinterList().GetCount(), 0);
    }
}

TEST(Startup, EmptyMachineNameStillFormsTitleAndWarning) {
    Program p;
    p.SetIni(IniWith("MachineName=", "KF7FileName=fw.kf7"));
    std::string title, text;
    p.scripts[IDD_WARNING] = [&](const sim::DialogView& d, sim::SimUi& ui, int) {
        title = d.caption;
        text = d.Text(IDC_WARNING_TEXT);
        ui.ClickIn(IDD_WARNING, win::IDCANCEL);
    };
    p.Run();
    EXPECT_EQ(title, " Firmware Update Tool");
    EXPECT_EQ(text,
              "Do not operate  or disconnect the USB cable until the update operation is "
              "completed.");
    EXPECT_EQ(app::DisplayName(), " Firmware Update Tool");
}

TEST(Startup, ConfigurationValuesAreCutAndKeysReadInAnyCase) {
    Program p;
    std::string longName(300, 'N');
    p.SetIni("[update]\r\nmachinename=" + longName + "\r\nKF7FILENAME=fw.kf7\r\nCOUNTRY=C\r\n" +
             "NewVersion=\r\nKF7FileName2=second.kf7\r\n[OTHER]\r\nDriverName=ignored\r\n");
    p.scripts[IDD_WARNING] = [](const sim::DialogView&, sim::SimUi& ui, int) {
        ui.ClickIn(IDD_WARNING, win::IDCANCEL);
    };
    p.Run();
    const CulmaUpDateApp& a = GetApp();
    EXPECT_EQ(a.m_strMachineName, std::string(259, 'N'));
    EXPECT_EQ(a.m_strKF7FileName, "fw.kf7");
    EXPECT_EQ(a.m_strCountry, "C");
    EXPECT_EQ(a.m_strNewVersion, "");
    EXPECT_EQ(a.m_strDriverName, "");
    EXPECT_EQ(a.m_strKF7FileName2, "second.kf7");
    EXPECT_EQ(app::DisplayName(), std::string(259, 'N') + " Firmware Update Tool");
    // The keys are read in their documented order, each from the UPDATE section.
    std::vector<std::string> keys;
    for (const std::string& read : p.machine.system.ProfileReads()) {
        keys.push_back(read.substr(read.rfind('|') + 1));
    }
    EXPECT_EQ(keys,
              (std::vector<std::string>{"NewVersion", "Country", "DriverName", "InboxDriverName",
                                        "MachineName", "KF7FileName", "KF7FileName2"}));
}

TEST(Startup, MalformedConfigurationNeverCrashes) {
    std::string junk;
    for (int i = 0; i < 2048; ++i) junk += static_cast<char>((i * 7919 + 13) & 0xFF);
    const std::vector<std::string> inputs = {
        "",
        "[NOTUPDATE]\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\n",
        junk,
        "[UPDATE]\r\n" + junk,
        "\xEF\xBB\xBF[UPDATE]\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\n",
        "[UPDATE\r\nMachineName\r\n=fw.kf7\r\nKF7FileName=" + std::string(5000, 'x') + "\r\n",
        std::string("[UPDATE]\r\nMachineName=M1\0"
                    "00\r\nKF7FileName=fw.kf7\r\n",
                    48),
    };
    for (const std::string& ini : inputs) {
        Program p;
        p.SetIni(ini);
        p.scripts[IDD_WARNING] = [](const sim::DialogView&, sim::SimUi& ui, int) {
            ui.ClickIn(IDD_WARNING, win::IDCANCEL);
        };
        EXPECT_EQ(p.Run(), 0);
        const CulmaUpDateApp& a = GetApp();
        for (const std::string* v :
             {&a.m_strNewVersion, &a.m_strCountry, &a.m_strDriverName, &a.m_strInboxDriverName,
              &a.m_strMachineName, &a.m_strKF7FileName, &a.m_strKF7FileName2}) {
            EXPECT_LE(v->size(), 259u);
            EXPECT_EQ(v->find('\0'), std::string::npos);
        }
        EXPECT_LE(p.machine.ui.MessageBoxes().size(), 1u);
    }
}

TEST(TransferLibrary, SelectionAndStatusCheckStoreResultsAndCancelLimit) {
    Program p;
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    ASSERT_EQ(BindXmLink(), 1);
    GetApp().m_strDriverName = apptest::kDriver;
    simprinter::Core& core = simprinter::Instance();

    // The printer list knows no printer before enumeration adds it: selection fails early.
    EXPECT_FALSE(GetApp().SelectPrinter("Nobody"));
    EXPECT_TRUE(GetApp().SelectPrinter("P1"));
    EXPECT_EQ(core.CurrentPrinter(), "P1");
    EXPECT_EQ(g_nLastResult.load(), 0);
    // A name that opens no queue is refused, not taken for the printer selected before it.
    EXPECT_FALSE(GetApp().SelectPrinter("Nobody"));

    EXPECT_EQ(CheckPrinterStatus(), 1);
    EXPECT_EQ(g_nCancelLimit.load(), 0u);
    simprinter::State s = core.GetState();
    s.cancelLimit = 0x01020304;
    core.SetState(s);
    EXPECT_EQ(CheckPrinterStatus(), 1);
    EXPECT_EQ(g_nCancelLimit.load(), 0x01020304u);
    s.cancelLimit = 0;
    core.SetState(s);
    EXPECT_EQ(CheckPrinterStatus(), 1);
    EXPECT_EQ(g_nCancelLimit.load(), 0x01020304u);  // a zero limit leaves the last one

    s.statusNotReady = true;
    core.SetState(s);
    EXPECT_EQ(CheckPrinterStatus(), 0);
    s.statusNotReady = false;
    s.cmdInitResult = 6;
    core.SetState(s);
    EXPECT_EQ(CheckPrinterStatus(), 0);
    EXPECT_EQ(g_nLastResult.load(), 6);

    s.cmdInitResult = 0;
    s.initPrinterResult = 5;
    core.SetState(s);
    EXPECT_FALSE(GetApp().SelectPrinter("P1"));
    EXPECT_EQ(g_nLastResult.load(), 5);

    // Unbound, the calls reach nothing and report failure.
    UnbindXmLink();
    EXPECT_EQ(CheckPrinterStatus(), 0);
    EXPECT_FALSE(GetApp().SelectPrinter("P1"));
    EXPECT_EQ(p.machine.modules.LiveModules("XmLink.dll"), 0);
}
