// Whole-program runs for the bad-input tests: a user who presses Update on chosen printers and
// answers every question, and checks on the simulated printer's call log that no byte went to a
// printer the user did not confirm.
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app_harness.h"
#include "support/package_file.h"

namespace hostile {

constexpr char kPackagePath[] = "C:\\Tools\\fw.kf7";
constexpr char kCannotCommunicate[] =
    "Cannot communicate with the printer. Make sure that the printer is turned on and that the "
    "cables are correctly connected.";

// A package file: a 64-byte header stating `stated` bytes of data, followed by `actual` bytes.
inline std::string Package(int32_t stated, size_t actual, char fill = 'F') {
    return testpkg::Package(stated, std::string(actual, fill));
}

// The printer named in one log line of the simulated printer (printer="..."), or "".
inline std::string PrinterOf(const std::string& line) {
    size_t at = line.find("printer=\"");
    if (at == std::string::npos) return "";
    at += 9;
    size_t end = line.find('"', at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Log lines of the simulated printer that start with `function`.
inline std::vector<std::string> Calls(const std::string& function) {
    std::vector<std::string> out;
    for (const std::string& line : simprinter::Instance().Log())
        if (line.rfind(function + " ", 0) == 0) out.push_back(line);
    return out;
}

inline void ChangePrinter(const std::function<void(simprinter::State&)>& change) {
    simprinter::State s = simprinter::Instance().GetState();
    change(s);
    simprinter::Instance().SetState(s);
}

// A whole run of the program whose user presses Update once for each entry of `choices` (after
// choosing that printer in the list, or keeping the preselection for an empty entry), answers
// every question with Yes (or `confirm`), and then presses Exit.
class Session {
  public:
    explicit Session(const sim::MachineOptions& options = {}) : p(options) {
        p.machine.system.AddFile(kPackagePath, Package(256, 256));
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [this](const sim::DialogView& d, sim::SimUi& ui,
                                                  int step) {
            if (step == 0) mainView = d;
            size_t n = static_cast<size_t>(step);
            if (n < choices.size()) {
                if (!choices[n].empty()) {
                    EXPECT_TRUE(ui.SelectItem(IDC_COMBO_PRINTER, choices[n], d.window))
                        << choices[n];
                }
                chosen = choices[n].empty() ? Selected(ui) : choices[n];
                pressed.insert(chosen);
                ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_UPDATE);
            } else {
                exitPressed = true;
                ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
            }
        };
        p.machine.ui.OnMessageBox([this](const sim::MessageBoxRecord& box) {
            if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
            if (!confirm) return win::IDNO;
            confirmed.insert(chosen);
            return win::IDYES;
        });
    }

    void Install(const std::string& name) {
        p.machine.spooler.InstallSimple(name, apptest::kDriver);
    }

    // The main dialog's list as the user first saw it.
    std::vector<std::string> Listed() const {
        const sim::ControlView* combo = mainView.Control(IDC_COMBO_PRINTER);
        return combo ? combo->items : std::vector<std::string>{};
    }
    std::vector<std::string> BoxTexts() const { return p.BoxTexts(); }
    std::vector<sim::MessageBoxRecord> Boxes() const { return p.machine.ui.MessageBoxes(); }

    // No package reached a printer the user did not confirm, and the raw I/O library addressed
    // only printers the user pressed Update on.
    void ExpectNothingUnconfirmed() const {
        for (const std::string& line : Calls("XMSendFile"))
            EXPECT_EQ(confirmed.count(PrinterOf(line)), 1u) << line;
        for (const auto& r : simprinter::Instance().ReceivedPackages())
            EXPECT_EQ(confirmed.count(r.printer), 1u) << r.printer;
        for (const char* f : {"QVWriteFile", "QVReadFile"})
            for (const std::string& line : Calls(f))
                EXPECT_EQ(pressed.count(PrinterOf(line)), 1u) << line;
    }

    apptest::Program p;
    std::vector<std::string> choices{""};
    bool confirm = true;
    std::set<std::string> pressed;    // printers shown in the list when Update was pressed
    std::set<std::string> confirmed;  // printers shown in the list when the user said Yes
    std::string chosen;
    sim::DialogView mainView;
    bool exitPressed = false;

  private:
    static std::string Selected(sim::SimUi& ui) {
        sim::UiView view = ui.View();
        const sim::DialogView* d = view.Find(IDD_ULMAUPDATE_DIALOG);
        const sim::ControlView* combo = d ? d->Control(IDC_COMBO_PRINTER) : nullptr;
        if (!combo || combo->selection < 0) return "";
        return combo->items[static_cast<size_t>(combo->selection)];
    }
};

}  // namespace hostile
