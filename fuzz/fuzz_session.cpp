// Fuzz target: a whole session of the program with several updates in a row. The input installs
// up to three printers, sets up the one or two packages and the simulated printer's answers and
// faults, and then, before each press of Update, may change the printers' answers and faults,
// the package files, or make a printer's queue over to another model; the user picks a printer,
// answers the question, and may give the cancel command at any progress report. Across all of
// it the program must address only the printer chosen in that update and only while it is of the
// model, send a package only after the user's confirmation and only when every package is whole,
// send exactly the bytes of the files, stop a package only when the printer lets it be stopped
// and the user asked, report each outcome as it was, end after a completed update and only then,
// and leave nothing held.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>

#include "support.h"

namespace {

constexpr char kPkg1[] = "C:\\Tools\\fw.kf7";
constexpr char kPkg2[] = "C:\\Tools\\fw2.kf7";
const char* const kNames[] = {"P1", "P2", "Label Printer 3"};
// The second driver of the model, as apptest::DefaultIni() names it.
constexpr char kInbox[] = "VT-200 Inbox";

// What the user does in one update.
struct Action {
    int choice = 0;       // list index picked before Update
    bool confirm = true;  // answer to the question
    int cancelAt = -1;    // progress report (counted over the transfer) before which the
                          // cancel command is given; -1 for none
    bool changePrinter = false;
    simprinter::State printer;  // the simulated printer from this update on, when changed
    bool changeFiles = false;
    std::string files[2];  // package contents from this update on, when changed; "" = missing
    int otherModel = -1;   // printer whose queue is made over to another model's driver, or -1
};

// Everything recorded about one update, by the user's script and the library stand-ins.
struct Update {
    std::string pressed;  // printer selected when Update was pressed
    bool ofModel = true;  // whether that printer's queue still had one of the model's drivers
    bool confirmed = false;
    size_t logStart = 0;   // first line of the simulated printer's log that belongs to it
    size_t boxStart = 0;   // first message box that belongs to it
    std::string files[2];  // the package files as they were when it started
    simprinter::State printer;
    std::vector<int32_t> sendResults;  // of each XMSendFile, in order
};

// Written by the user-interface thread before each Update and by the worker thread inside
// XMSendFile only, which the Update's own start and end keep apart.
struct Session {
    std::vector<Action> actions;
    std::vector<Update> updates;
    bool twoPackages = false;
    int reports = 0;           // progress reports in the current update
    bool cancelGiven = false;  // the cancel command was accepted (Cancel enabled) in this update
    bool overallDone = false;  // the transfer reached 100 % overall
    maker::XMProgressCallback programCallback = nullptr;
    // The cancel limit as the printers reported it: a ready status with a limit sets it, and
    // selecting a printer other than the one that reported it clears it.
    uint32_t limit = 0;
    std::string limitPrinter;
    sim::SimUi* ui = nullptr;
} g;

// The data length a package file's header states; 0 for a file too short to state one (such a
// file is never whole, so the difference from the program's reading of it does not count).
int32_t StatedLength(const std::string& file) {
    if (file.size() < 20) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(file[16 + i])) << (8 * i);
    return static_cast<int32_t>(v);
}

// A package that can be sent whole: present, stating data above 0, and holding that much.
bool Whole(const std::string& file) {
    int32_t n = StatedLength(file);
    return file.size() >= 64 && n > 0 && file.size() - 64 >= static_cast<size_t>(n);
}

// Prints what happened in each update and the simulated printer's log, then reports the broken
// invariant: a finding is read from this without a debugger.
[[noreturn]] void Broken(const std::string& what) {
    for (size_t n = 0; n < g.updates.size(); ++n) {
        const Update& u = g.updates[n];
        std::fprintf(stderr, "update %zu: printer \"%s\", %s, log from line %zu, sends:", n,
                     u.pressed.c_str(), u.confirmed ? "confirmed" : "not confirmed", u.logStart);
        for (int32_t r : u.sendResults) std::fprintf(stderr, " %d", r);
        std::fprintf(stderr, "\n%s", simprinter::FormatState(u.printer).c_str());
    }
    const std::vector<std::string> log = simprinter::Instance().Log();
    for (size_t i = 0; i < log.size(); ++i)
        std::fprintf(stderr, "log %zu: %.160s\n", i, log[i].c_str());
    if (g.ui)
        for (const auto& box : g.ui->MessageBoxes())
            std::fprintf(stderr, "message box: %s\n", box.text.c_str());
    fuzz::Fail(what);
}

void Check(bool ok, const char* what) {
    if (!ok) Broken(what);
}

// The progress callback as the library calls it: gives the planned cancel command, then judges
// the program's answer to the report.
int32_t ULMA_WINAPI WatchedProgress(uint32_t percent) {
    Update& u = g.updates.back();
    int report = g.reports++;
    const int cancelAt = g.actions[g.updates.size() - 1].cancelAt;
    const size_t package = u.sendResults.size();  // index of the package being sent
    // The cancel command as the keyboard gives it: sent to the dialog whatever the state of
    // its Cancel control, which the program must then honour only when the control is enabled.
    if (report == cancelAt) {
        sim::UiView view = g.ui->View();
        if (const sim::DialogView* d = view.Find(IDD_PROGRESS)) {
            const sim::ControlView* cancel = d->Control(win::IDCANCEL);
            bool enabled = cancel && cancel->enabled;
            plat::Ui().SendMessage(d->window, win::WM_COMMAND, win::IDCANCEL, 0);
            if (enabled) g.cancelGiven = true;
        }
    }
    const int32_t answer = g.programCallback(percent);
    // Whether the printer lets this package be stopped, by the limit its status reported.
    const uint32_t limit = g.limit;
    const uint32_t length = static_cast<uint32_t>(StatedLength(u.files[package]));
    const bool stoppable = limit != 0 && length < limit;
    if (percent > 100) {
        Check(answer == 0, "a report above 100 % did not stop the transfer");
    } else if (g.overallDone) {
        Check(answer != 0, "a report after the whole transfer had reached 100 % stopped it");
    } else if (g.cancelGiven && stoppable) {
        Check(answer == 0, "a cancel the printer allows did not stop the transfer");
    } else {
        Check(answer != 0, g.cancelGiven ? "a package the printer may not stop was stopped"
                                         : "the transfer stopped without a cancel");
    }
    // Overall progress as the dialog computes it, to know when it hides itself.
    uint64_t done = 0, total = 0;
    for (size_t i = 0; i < (g.twoPackages ? 2u : 1u); ++i) {
        uint64_t n = static_cast<uint32_t>(StatedLength(u.files[i]));
        total += n;
        if (i < package) done += n;
    }
    if (percent <= 100 && total != 0 &&
        (static_cast<uint64_t>(length) * percent / 100 + done) * 100 / total >= 100)
        g.overallDone = true;
    return answer;
}

int32_t ULMA_WINAPI WatchedInitPrinter(const char* printerName, uint8_t* record10) {
    if (printerName && g.limitPrinter != printerName) {
        g.limit = 0;
        g.limitPrinter = printerName;
    }
    return simprinter::Instance().XMInitPrinter(printerName, record10);
}

int32_t ULMA_WINAPI WatchedGetStatus(uint8_t* status32, int32_t value) {
    int32_t result = simprinter::Instance().XMGetStatus(status32, value);
    if (result == 0 && status32 && status32[0] == 0x81 && status32[1] == 0x20 &&
        status32[2] == 0x42) {
        uint32_t limit = 0;
        for (int i = 0; i < 4; ++i) limit |= static_cast<uint32_t>(status32[24 + i]) << (8 * i);
        if (limit != 0) g.limit = limit;
    }
    return result;
}

int32_t ULMA_WINAPI WatchedSendFile(const uint8_t* header64, const uint8_t* data,
                                    const uint32_t* length, uint8_t* status32, int32_t value,
                                    maker::XMProgressCallback callback) {
    Update& u = g.updates.back();
    Check(u.confirmed, "a package was sent without the user's confirmation");
    Check(simprinter::Instance().CurrentPrinter() == u.pressed,
          "a package was sent to a printer other than the one confirmed");
    const size_t package = u.sendResults.size();
    Check(package < (g.twoPackages ? 2u : 1u), "more packages sent than configured");
    Check(Whole(u.files[0]) && (!g.twoPackages || Whole(u.files[1])),
          "a package was sent while a package of the update was not whole");
    Check(header64 && data && length, "XMSendFile without header, data or length");
    std::string bytes(reinterpret_cast<const char*>(header64), 64);
    bytes.append(reinterpret_cast<const char*>(data), *length);
    const std::string& file = u.files[package];
    Check(bytes == file.substr(0, 64 + static_cast<size_t>(StatedLength(file))),
          "the bytes sent are not the package's header and data");
    g.programCallback = callback;
    int32_t result = simprinter::Instance().XMSendFile(header64, data, length, status32, value,
                                                       &WatchedProgress);
    u.sendResults.push_back(result);
    return result;
}

simprinter::State ReadPrinter(FuzzedDataProvider& in) {
    simprinter::State s;
    s.printerNames.clear();
    for (const char* name : kNames)
        if (in.ConsumeIntegralInRange<int>(0, 7) != 0) s.printerNames.push_back(name);
    const char* versions[] = {"1.05", "1.06", "", "9.99"};
    s.version = versions[in.ConsumeIntegralInRange<int>(0, 3)];
    s.sysInfo = in.ConsumeIntegralInRange<int>(0, 5) != 0 ? 'c' : 'd';
    const uint32_t limits[] = {0, 0, 100, 300, 1000, 0xFFFFFFFFu};
    s.cancelLimit = limits[in.ConsumeIntegralInRange<int>(0, 5)];
    const uint32_t steps[] = {10, 1, 7, 50, 100};
    s.progressStep = steps[in.ConsumeIntegralInRange<int>(0, 4)];
    s.packages = in.ConsumeIntegralInRange<uint32_t>(1, 2);
    // Faults, each rare so that most updates get to the transfer.
    uint16_t faults = in.ConsumeIntegral<uint16_t>();
    auto fault = [&faults](int bit) { return ((faults >> bit) & 1) != 0 && ((faults >> 15) & 1); };
    s.noAnswerPreamble = fault(0);
    s.noAnswerInfo = fault(1);
    s.noAnswerRead = fault(2);
    if (fault(3)) s.replyLength = in.ConsumeIntegralInRange<uint32_t>(0, 32);
    s.statusNotReady = fault(4);
    if (fault(5)) s.initPrinterResult = in.PickValueInArray({1, 8, -1});
    if (fault(6)) s.cmdInitResult = in.PickValueInArray({1, 8, -1});
    if (fault(7)) {
        s.sendFailPackage = in.ConsumeIntegralInRange<uint32_t>(1, 2);
        s.sendFailPercent = in.ConsumeIntegralInRange<uint32_t>(0, 100);
        s.sendFailResult = in.PickValueInArray({1, 8, -1, 0x7FFFFFFF});
    }
    if (fault(8)) s.percentOver100 = in.PickValueInArray({101u, 255u, 0xFFFFFFFFu});
    return s;
}

std::string ReadFile(FuzzedDataProvider& in, char fill) {
    const int32_t lengths[] = {256, 1, 100, 299, 300, 1000, 0, -1};
    int32_t stated = lengths[in.ConsumeIntegralInRange<int>(0, 7)];
    size_t held = stated > 0 ? static_cast<size_t>(stated) : 0;
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 1:
            return "";  // missing
        case 2:
            held = held > 0 ? held - 1 : 0;
            break;  // cut short
        case 3:
            held += 5;
            break;  // trailing bytes
        case 4:
            return std::string(30, fill);  // shorter than a header
        default:
            break;
    }
    return fuzz::Package(stated, std::string(held, fill));
}

void PlaceFiles(sim::Machine& machine, const std::string (&files)[2]) {
    const char* paths[] = {kPkg1, kPkg2};
    for (int i = 0; i < 2; ++i) {
        if (files[i].empty())
            machine.system.RemoveFile(paths[i]);
        else
            machine.system.AddFile(paths[i], files[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048) return -1;
    FuzzedDataProvider in(data, size);
    g.actions.clear();
    g.updates.clear();
    g.limit = 0;
    g.limitPrinter.clear();
    g.ui = nullptr;
    apptest::g_reportHeld = [](const std::string& what) { Broken("left open: " + what); };

    sim::MachineOptions options;
    options.language = in.ConsumeBool() ? sim::Language::Japanese : sim::Language::English;
    apptest::Program p(options);
    fuzz::ResetProcess();
    g.ui = &p.machine.ui;
    g.twoPackages = in.ConsumeBool();
    if (g.twoPackages) {
        std::string ini = apptest::DefaultIni();
        const std::string second = "KF7FileName2=";
        ini.insert(ini.find(second) + second.size(), "fw2.kf7");
        p.SetIni(ini);
    }
    const int printers = in.ConsumeIntegralInRange<int>(1, 3);
    for (int i = 0; i < printers; ++i)
        p.machine.spooler.InstallSimple(kNames[i], in.ConsumeIntegralInRange<int>(0, 5) != 0
                                                       ? apptest::kDriver
                                                       : (i == 1 ? kInbox : "Another Driver"));
    std::string files[2] = {ReadFile(in, 'A'), ReadFile(in, 'B')};
    PlaceFiles(p.machine, files);
    simprinter::State printer = ReadPrinter(in);
    simprinter::Instance().SetState(printer);

    const int updates = in.ConsumeIntegralInRange<int>(1, 4);
    for (int i = 0; i < updates; ++i) {
        Action a;
        a.choice = in.ConsumeIntegralInRange<int>(0, 2);
        a.confirm = in.ConsumeIntegralInRange<int>(0, 4) != 0;
        a.cancelAt = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 30) : -1;
        if (i > 0 && (a.changePrinter = in.ConsumeBool())) a.printer = ReadPrinter(in);
        if (i > 0 && (a.changeFiles = in.ConsumeBool())) {
            a.files[0] = ReadFile(in, 'C');
            a.files[1] = ReadFile(in, 'D');
        }
        if (i > 0 && in.ConsumeIntegralInRange<int>(0, 3) == 0)
            a.otherModel = in.ConsumeIntegralInRange<int>(0, printers - 1);
        g.actions.push_back(a);
    }

    auto exports = simprinter::XmLinkExports();
    exports["XMSendFile"] = reinterpret_cast<void*>(&WatchedSendFile);
    exports["XMInitPrinter"] = reinterpret_cast<void*>(&WatchedInitPrinter);
    exports["XMGetStatus"] = reinterpret_cast<void*>(&WatchedGetStatus);
    p.machine.modules.Register("XmLink.dll", exports);

    bool exitPressed = false;
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [&](const sim::DialogView& d, sim::SimUi& ui, int step) {
        const size_t n = static_cast<size_t>(step);
        if (n >= g.actions.size()) {
            exitPressed = true;
            ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_EXIT);
            return;
        }
        const Action& a = g.actions[n];
        Update u;
        // Calls made when the printer is picked belong to this update too.
        u.logStart = simprinter::Instance().Log().size();
        u.boxStart = p.machine.ui.MessageBoxes().size();
        if (a.changePrinter) {
            printer = a.printer;
            simprinter::Instance().SetState(printer);
        }
        if (a.changeFiles) {
            files[0] = a.files[0];
            files[1] = a.files[1];
            PlaceFiles(p.machine, files);
        }
        if (a.otherModel >= 0)
            if (sim::SimPrinter* queue = p.machine.spooler.Find(kNames[a.otherModel]))
                queue->driver = "Another Driver";
        // The selection is taken when the posted choice is served, before the Update click.
        if (const sim::ControlView* combo = d.Control(IDC_COMBO_PRINTER)) {
            int index =
                ui.SelectItem(IDC_COMBO_PRINTER, a.choice, d.window) ? a.choice : combo->selection;
            if (index >= 0 && static_cast<size_t>(index) < combo->items.size())
                u.pressed = combo->items[static_cast<size_t>(index)];
        }
        if (const sim::SimPrinter* queue = p.machine.spooler.Find(u.pressed))
            u.ofModel = queue->driver == apptest::kDriver || queue->driver == kInbox;
        u.files[0] = files[0];
        u.files[1] = files[1];
        u.printer = printer;
        g.updates.push_back(u);
        g.reports = 0;
        g.cancelGiven = false;
        g.overallDone = false;
        ui.ClickIn(IDD_ULMAUPDATE_DIALOG, IDC_UPDATE);
    };
    p.machine.ui.OnMessageBox([](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
        Check(!g.updates.empty(), "a question before any Update");
        bool yes = g.actions[g.updates.size() - 1].confirm;
        g.updates.back().confirmed = yes;
        return yes ? win::IDYES : win::IDNO;
    });
    p.Run();

    // Threads, dialogs and libraries left behind are reported by the run itself (left open).
    Check(p.machine.system.Writes().empty(), "the program wrote to the file system");

    const std::vector<std::string> log = simprinter::Instance().Log();
    const std::vector<sim::MessageBoxRecord> boxes = p.machine.ui.MessageBoxes();
    const std::string completed = app::FormatString(IDS_COMPLETED, {"M100"});

    // The user got to do everything planned, unless an update completed and ended the program.
    bool anyCompleted = false;
    for (const auto& box : boxes) anyCompleted |= box.text == completed;
    if (!anyCompleted && p.seen.count(IDD_ULMAUPDATE_DIALOG) != 0)
        Check(g.updates.size() == g.actions.size() && exitPressed,
              "the main dialog went away before the user was done");

    // Each update's calls and outcome.
    for (size_t n = 0; n < g.updates.size(); ++n) {
        const Update& u = g.updates[n];
        const size_t logEnd = n + 1 < g.updates.size() ? g.updates[n + 1].logStart : log.size();
        const size_t boxEnd = n + 1 < g.updates.size() ? g.updates[n + 1].boxStart : boxes.size();
        for (size_t i = u.logStart; i < logEnd; ++i) {
            const std::string& line = log[i];
            // A queue made over to another model gets none of this model's commands.
            if (!u.ofModel)
                for (const char* f : {"QVWriteFile", "QVReadFile", "XMInitPrinter", "XMSendFile"})
                    if (line.rfind(std::string(f) + " ", 0) == 0)
                        Broken("a printer now of another model was addressed: " + line);
            for (const char* f :
                 {"QVWriteFile", "QVReadFile", "XMInitPrinter", "XMCheckSupportPrinter"}) {
                if (line.rfind(std::string(f) + " ", 0) != 0) continue;
                size_t at = line.find("printer=\"");
                if (at == std::string::npos ||
                    line.compare(at + 9, u.pressed.size() + 1, u.pressed + "\"") != 0)
                    Broken("a printer other than the one chosen (" + u.pressed +
                           ") was addressed: " + line);
            }
        }
        if (!u.sendResults.empty()) {
            Check(u.printer.sysInfo == 'c',
                  "a package was sent to a printer of another system information");
        }
        // Once the user has confirmed, only the printer, the library or the files can keep
        // the packages from being sent.
        const bool filesWhole = Whole(u.files[0]) && (!g.twoPackages || Whole(u.files[1]));
        // (A reply without the version holds no system information either.)
        if (u.confirmed && u.printer.sysInfo == 'c' && !u.printer.version.empty() &&
            u.printer.replyLength >= 32 && !u.printer.noAnswerPreamble &&
            u.printer.cmdInitResult == 0 && filesWhole)
            Check(!u.sendResults.empty(), "a confirmed update sent nothing");
        bool isCompleted = false;
        for (size_t b = u.boxStart; b < boxEnd; ++b) isCompleted |= boxes[b].text == completed;
        const size_t expected = g.twoPackages ? 2u : 1u;
        bool allSent = u.sendResults.size() == expected;
        for (int32_t r : u.sendResults) allSent &= r == 0;
        Check(isCompleted == allSent,
              isCompleted ? "completion reported though a package was not sent"
                          : "every package was sent but completion was not reported");
        if (isCompleted) {
            Check(n + 1 == g.updates.size() && !exitPressed,
                  "the program went on after a completed update");
        }
        // The last box of a failed transfer names its outcome.
        if (!u.sendResults.empty() && u.sendResults.back() != 0) {
            Check(boxEnd > u.boxStart, "a failed transfer without a message");
            const std::string want = app::LoadStr(u.sendResults.back() == maker::XM_RESULT_STOPPED
                                                      ? IDS_TRANSFER_CANCELLED
                                                      : IDS_TRANSFER_FAILED);
            Check(boxes[boxEnd - 1].text == want, "a failed transfer reported as something else");
        }
    }
    apptest::g_reportHeld = nullptr;
    return 0;
}
