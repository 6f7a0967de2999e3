// The About box: its two lines in both languages.
#include <gtest/gtest.h>

#include "app/aboutdlg.h"
#include "app_harness.h"
#include "res/catalog.h"

using apptest::Program;

TEST(AboutBox, NameLineUsesDriverNameAndVersionLabelIsFixed) {
    Program p;
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    sim::DialogView about;
    std::string mainCaption;
    p.scripts[IDD_ABOUTBOX] = [&](const sim::DialogView& d, sim::SimUi& ui, int) {
        about = d;
        ui.PressEscape();
    };
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& ui, int step) {
        mainCaption = d.caption;
        if (step == 0) {
            ui.SystemCommand(IDM_ABOUTBOX);
        } else {
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
        }
    };
    p.Run();
    EXPECT_EQ(about.templateId, IDD_ABOUTBOX);
    EXPECT_EQ(about.Text(IDC_ABOUT_NAME), "VT-200 Label Driver Firmware Update Tool");
    EXPECT_EQ(about.Text(IDC_ABOUT_VERSION), "Version 1.30RZ");
    EXPECT_EQ(mainCaption, "M100 Firmware Update Tool");
    // The label follows the project's version, which the file's properties carry too.
    EXPECT_EQ(std::string(kVersionLabel).rfind(ULMA_PROJECT_VERSION, 0), 0u)
        << kVersionLabel << " does not start with " << ULMA_PROJECT_VERSION;
}

TEST(AboutBox, JapaneseTextsComeFromTheJapaneseTable) {
    sim::MachineOptions options;
    options.language = sim::Language::Japanese;
    sim::Machine machine(options);
    std::string name, version;
    machine.ui.OnIdle([&](const sim::UiView& view, sim::SimUi& ui) {
        if (const sim::DialogView* d = view.Find(IDD_ABOUTBOX)) {
            name = d->Text(IDC_ABOUT_NAME);
            version = d->Text(IDC_ABOUT_VERSION);
            ui.ClickIn(IDD_ABOUTBOX, win::IDOK);
        }
    });
    CAboutDlg dlg;
    dlg.m_strName = "Drv";
    dlg.m_strVersion = kVersionLabel;
    EXPECT_EQ(dlg.DoModal(), win::IDOK);
    const res::Catalog& ja = res::GetCatalog(res::Lang::Japanese);
    EXPECT_EQ(name, machine.ui.Ansi(app::FormatText(ja.strings.at(IDS_TITLE_FMT), {"Drv"})));
    EXPECT_EQ(version,
              machine.ui.Ansi(app::FormatText(ja.strings.at(IDS_VERSION_FMT), {"1.30RZ"})));
}
