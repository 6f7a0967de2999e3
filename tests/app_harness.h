// A simulated machine prepared for whole-program runs: the ready folder beside the executable,
// the stand-in libraries, and a scripted user who answers each dialog as it becomes active.
#pragma once
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "app/app.h"
#include "app/framework.h"
#include "app/rawio.h"
#include "platform/sim/machine.h"
#include "printers/printerlist.h"
#include "res/resource.h"
#include "standins/sim_exports.h"
#include "standins/simprinter.h"
#include "transfer/transferstate.h"
#include "transfer/xmlink.h"

namespace apptest {

// Told what a whole-program run left open; the test binaries make it a test failure.
inline void (*g_reportHeld)(const std::string& what) = nullptr;

constexpr char kDir[] = "C:\\Tools";
constexpr char kIni[] = "C:\\Tools\\ulmaupdate.ini";
constexpr char kDriver[] = "VT-200 Label Driver";

inline std::string DefaultIni() {
    return "[UPDATE]\r\n"
           "NewVersion=1.06\r\n"
           "Country=c\r\n"
           "DriverName=VT-200 Label Driver\r\n"
           "InboxDriverName=VT-200 Inbox\r\n"
           "MachineName=M100\r\n"
           "KF7FileName=fw.kf7\r\n"
           "KF7FileName2=\r\n";
}

// Puts every process-wide value of the program back to its state at process start.
inline void ResetProcess() {
    GetApp().ResetForTest();
    app::ResetFramework();
    ResetXmLinkForTest();
    g_hQVFilo.reset();
    g_pfnQVWriteFile = nullptr;
    g_pfnQVReadFile = nullptr;
    GetPrinterList().ResetForTest();
    simprinter::Instance().Reset();
    // Kept from one transfer to the next within a process, so each run starts from its start.
    g_bCancelEnabled = 1;
}

// One step of the scripted user in one dialog: `step` counts the idle calls the dialog was the
// active one, from 0.
using Script = std::function<void(const sim::DialogView& dialog, sim::SimUi& ui, int step)>;

class Program {
  public:
    explicit Program(const sim::MachineOptions& options = {}) : machine(options) {
        ResetProcess();
        machine.system.AddFile(kIni, DefaultIni());
        machine.system.AddFile(std::string(kDir) + "\\fw.kf7", std::string(128, '\x5A'));
        machine.modules.Register("XmLink.dll", simprinter::XmLinkExports());
        machine.modules.Register("qvfilo.dll", simprinter::QvFiloExports());
        // Defaults: Start the warning, leave the main dialog and the About box.
        scripts[IDD_WARNING] = [](const sim::DialogView&, sim::SimUi& ui, int) {
            ui.ClickIn(IDD_WARNING, win::IDOK);
        };
        scripts[IDD_ULMAUPDATE_DIALOG] = [](const sim::DialogView&, sim::SimUi& ui, int) {
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
        };
        scripts[IDD_ABOUTBOX] = [](const sim::DialogView&, sim::SimUi& ui, int) {
            ui.ClickIn(IDD_ABOUTBOX, win::IDOK);
        };
    }
    ~Program() { ResetProcess(); }

    void SetIni(const std::string& text) { machine.system.AddFile(kIni, text); }

    // Runs the program once with the scripts; returns its exit status.
    int Run() {
        machine.ui.OnIdle([this](const sim::UiView& view, sim::SimUi& ui) {
            const sim::DialogView* active = view.Active();
            if (!active) return;
            seen.insert(active->templateId);
            if (active->templateId == IDD_ULMAUPDATE_DIALOG) {
                std::string held = WhatIsHeld();
                if (ui.OpenDialogs() != 1) held += "windows of an earlier update still open; ";
                Report(held);
            }
            auto it = scripts.find(active->templateId);
            if (it != scripts.end() && it->second)
                it->second(*active, ui, steps[active->window.id]++);
        });
        int status = app::UlmaMain();
        std::string held = WhatIsHeld();
        if (machine.modules.LiveModules() != 0) held += "libraries still loaded; ";
        if (machine.ui.OpenDialogs() != 0) held += "windows still open; ";
        if (!machine.system.HeldLocks().empty()) held += "named lock still held; ";
        Report(held);
        return status;
    }

    // What is still held that should not be whenever the main dialog waits for the user, so
    // that repeated updates, whatever way each ended, pile nothing up; empty when nothing is.
    std::string WhatIsHeld() {
        std::string held;
        // The worker ends on its own after its last post; a thread that never ends shows here.
        if (!machine.system.WaitForThreads(std::chrono::seconds(10)) ||
            machine.system.LiveThreads() != 0)
            held += "threads still running; ";
        if (machine.spooler.counters.openHandles() != 0) held += "printers still open; ";
        if (machine.gdi.liveContexts() != 0) held += "information contexts not deleted; ";
        if (machine.registry.openKeys() != 0) held += "registry keys still open; ";
        if (machine.system.OpenFileCount() != 0) held += "files still open; ";
        if (machine.ui.WaitCursorBegins() != machine.ui.WaitCursorRestores())
            held += "wait cursor left up; ";
        if (machine.ui.ShutdownBlocked()) held += "shutdown still blocked; ";
        if ((machine.system.CurrentExecutionState() & ~win::ES_CONTINUOUS) != 0)
            held += "computer still kept awake; ";
        return held;
    }

    static void Report(const std::string& held) {
        if (!held.empty() && g_reportHeld) g_reportHeld(held);
    }

    // Texts of every message box shown so far.
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : machine.ui.MessageBoxes()) texts.push_back(box.text);
        return texts;
    }

    sim::Machine machine;
    std::map<int, Script> scripts;
    std::set<int> seen;  // templates of the dialogs that became active

  private:
    std::map<uintptr_t, int> steps;
};

}  // namespace apptest
