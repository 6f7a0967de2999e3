// Fuzz target: the configuration file through start-up. The input is the whole of
// ulmaupdate.ini beside the executable, where the stand-in libraries, a valid package and one
// printer of the sample driver lie. The byte sum picks the language and what the user does:
// cancel the warning, leave the main dialog, or press Update (confirming every question) and
// then leave. Whatever the file says, the program must end with every dialog closed, every
// library freed, every file closed, its worker ended, nothing written, and no package sent
// without a confirmation.
#include <numeric>

#include "support.h"

namespace {

enum class Act { CancelWarning, Exit, Update };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return -1;
    unsigned sum = std::accumulate(data, data + size, 0u);
    const Act act = static_cast<Act>(sum % 3);
    sim::MachineOptions options;
    options.language = (sum / 3) % 2 ? sim::Language::Japanese : sim::Language::English;

    apptest::Program p(options);
    p.SetIni(std::string(reinterpret_cast<const char*>(data), size));
    p.machine.system.AddFile("C:\\Tools\\fw.kf7", fuzz::Package(256, std::string(256, 'F')));
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    bool confirmed = false;
    p.machine.ui.OnMessageBox([&](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) == win::MB_YESNO) {
            confirmed = true;
            return win::IDYES;
        }
        return win::IDOK;
    });
    if (act == Act::CancelWarning) {
        p.scripts[IDD_WARNING] = [](const sim::DialogView&, sim::SimUi& ui, int) {
            ui.ClickIn(IDD_WARNING, win::IDCANCEL);
        };
    } else if (act == Act::Update) {
        p.scripts[IDD_ULMAUPDATE_DIALOG] = [](const sim::DialogView&, sim::SimUi& ui, int step) {
            // Update may be disabled (no printer listed); Exit follows on the next idle call.
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
        };
    }
    p.Run();

    fuzz::Check(p.machine.system.WaitForThreads(std::chrono::seconds(10)),
                "a thread is still running after the program ended");
    fuzz::Check(p.machine.ui.OpenDialogs() == 0, "a dialog is still open");
    fuzz::Check(p.machine.modules.LiveModules() == 0, "a library is still loaded");
    fuzz::Check(p.machine.system.OpenFileCount() == 0, "a file is still open");
    fuzz::Check(p.WhatIsHeld().empty(), "a printer, key, context or system request is still held");
    fuzz::Check(p.machine.system.Writes().empty(), "the program wrote to the file system");
    fuzz::Check(fuzz::ReceivedPackages().empty() || confirmed,
                "a package was sent without a confirmation");
    if (act == Act::CancelWarning) {
        fuzz::Check(p.seen.count(IDD_ULMAUPDATE_DIALOG) == 0, "the main dialog ran after Cancel");
        fuzz::Check(p.machine.modules.LiveModules("qvfilo.dll") == 0 && fuzz::CountLog("QV") == 0,
                    "the printer was addressed after Cancel");
    }
    for (const auto& box : p.machine.ui.MessageBoxes())
        fuzz::Check(!box.caption.empty(), "a message box without a caption");
    return 0;
}
