// Fuzz target: arbitrary bytes as a firmware package file. The package class reads its header,
// SendPackageFile sends it to the stand-in printer, and a whole transfer run (preamble, size sum,
// progress dialog with its worker thread, outcome message) sends it again to a printer that at
// times fails or stops the transfer. Whatever the bytes, the printer receives exactly the header
// and the data the header announces, or nothing, and the run counts as transferred only when the
// printer took it. When bytes are left over after a complete package, they are a second package
// of the same run: an incomplete one keeps both from going out.
#include <cstring>

#include "app/maindlg.h"
#include "support.h"
#include "transfer/kf7file.h"
#include "transfer/transferstate.h"

namespace {

constexpr char kPath[] = "C:\\Tools\\fw.kf7";
constexpr char kPath2[] = "C:\\Tools\\fw2.kf7";

// The data length a package's header states; a file shorter than the header keeps the fresh
// header's value there.
int32_t StatedLength(const std::string& file) {
    int32_t length = tagQvXmFileHeader::Fresh().DataLength();
    if (file.size() >= 20) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(static_cast<uint8_t>(file[16 + i])) << (8 * i);
        std::memcpy(&length, &v, sizeof length);
    }
    return length;
}

// True when the file holds all the data its header states, and states some.
bool Complete(const std::string& file) {
    int32_t length = StatedLength(file);
    return length > 0 && static_cast<uint64_t>(length) + 64 <= file.size();
}

void CheckHeader(const std::string& file) {
    CKf7File package(kPath);
    tagQvXmFileHeader fresh = tagQvXmFileHeader::Fresh();
    for (size_t i = 0; i < tagQvXmFileHeader::kSize; ++i) {
        uint8_t want = i < file.size() ? static_cast<uint8_t>(file[i]) : fresh.bytes[i];
        fuzz::Check(package.m_header.bytes[i] == want, "header byte differs from the file");
    }
    if (!file.empty()) {
        char first = 0;
        fuzz::Check(package.Read(&first, 1) == 1 && first == file[0],
                    "package not positioned at offset 0 after construction");
        package.Seek(0);
    }

    // Without a progress dialog the first progress report stops the transfer, so a package
    // that reaches the library ends with the library's "stopped" result.
    int sendsBefore = fuzz::CountLog("XMSendFile");
    int32_t length = package.m_header.DataLength();
    bool complete = length > 0 && static_cast<uint64_t>(length) + 64 <= file.size();
    fuzz::Check(SendPackageFile(package) == 0, "send without a progress dialog succeeded");
    fuzz::Check(fuzz::CountLog("XMSendFile") == sendsBefore + (complete ? 1 : 0),
                "the library was called for a package whose data is not all there");
    fuzz::Check(fuzz::ReceivedPackages().empty(), "a stopped package was received");
}

// What the printer does during a run, picked by the byte sum so that the file stays the whole
// input: mostly it takes everything; at times it refuses the start of the transfer, fails the
// first or the second package's send at some percentage, or reports more than 100 % at the end
// of a package, which the program takes as a stop. The progress step varies too.
struct Printer {
    int32_t cmdInit = 0;
    uint32_t failPackage = 0, failPercent = 0, over100 = 0, step = 10;
};

Printer PickPrinter(const std::string& file) {
    unsigned sum = 0;
    for (char c : file) sum += static_cast<uint8_t>(c);
    Printer p;
    const unsigned more = sum / 8;
    p.step = 1 + more % 100;
    switch (sum % 8) {
        case 4:
            p.cmdInit = simprinter::XM_ERR_GENERAL;
            break;
        case 5:
        case 6:
            p.failPackage = sum % 8 == 5 ? 1 : 2;
            p.failPercent = more % 101;
            break;
        case 7:
            p.over100 = 101 + more % 50;
            break;
        default:
            break;
    }
    return p;
}

// How many of a run's n packages the printer takes whole.
size_t Taken(const Printer& p, size_t n) {
    if (p.cmdInit != 0 || p.over100 != 0) return 0;
    if (p.failPackage != 0 && p.failPackage <= n) return p.failPackage - 1;
    return n;
}

// Runs a transfer of the packages (one or two) on a printer acting as `printer` does. Only
// complete packages are sent, in order, each whole; the run counts as transferred only when the
// printer took every package.
void CheckRun(const std::vector<std::string>& files, const Printer& printer) {
    simprinter::Instance().ClearLog();
    simprinter::State state = simprinter::Instance().GetState();
    state.cmdInitResult = printer.cmdInit;
    state.sendFailPackage = printer.failPackage;
    state.sendFailPercent = printer.failPercent;
    state.percentOver100 = printer.over100;
    state.progressStep = printer.step;
    simprinter::Instance().SetState(state);

    CulmaUpDateDlg dlg;
    dlg.m_strPrinterName = "P1";
    dlg.m_strMachineName = "M100";
    dlg.m_strKF7FileName = "fw.kf7";
    dlg.m_strKF7FilePath = kPath;
    if (files.size() > 1) {
        dlg.m_strKF7FileName2 = "fw2.kf7";
        dlg.m_strKF7FilePath2 = kPath2;
    }
    bool complete = true;
    for (const std::string& f : files) complete = complete && Complete(f);
    const size_t taken = complete ? Taken(printer, files.size()) : 0;

    int result = dlg.RunTransfer();
    std::vector<std::string> received = fuzz::ReceivedPackages();
    fuzz::Check(result == (complete && taken == files.size() ? 1 : 0),
                "the run's outcome differs from what the printer took");
    fuzz::Check(complete || received.empty(), "bytes of an incomplete run reached the printer");
    fuzz::Check(received.size() == taken, "the printer took other packages than were sent whole");
    for (size_t i = 0; i < received.size() && i < files.size(); ++i) {
        const std::string whole =
            files[i].substr(0, 64 + static_cast<size_t>(StatedLength(files[i])));
        fuzz::Check(received[i] == whole, "the printer received other bytes than header and data");
    }
    simprinter::Instance().SetState(simprinter::State());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    {
        sim::Machine machine;
        fuzz::ResetProcess();
        machine.system.AddFile(kPath, file);
        machine.modules.Register("XmLink.dll", simprinter::XmLinkExports());
        machine.modules.Register("qvfilo.dll", simprinter::QvFiloExports());
        fuzz::Check(BindXmLink() == 1, "stand-in transfer library not bound");
        fuzz::Check(BindQVFilo() == 1, "stand-in raw I/O library not bound");
        fuzz::Check(XmInitPrinter("P1") == 0, "stand-in printer not selected");

        CheckHeader(file);
        const Printer printer = PickPrinter(file);
        CheckRun({file}, printer);
        if (Complete(file) && 64 + size_t(StatedLength(file)) < file.size()) {
            const size_t split = 64 + size_t(StatedLength(file));
            machine.system.AddFile(kPath, file.substr(0, split));
            machine.system.AddFile(kPath2, file.substr(split));
            CheckRun({file.substr(0, split), file.substr(split)}, printer);
        }

        fuzz::Check(machine.system.OpenFileCount() == 0, "a package file was left open");
        // Nobody waits for the worker, but it must end by itself right after its post.
        fuzz::Check(machine.system.WaitForThreads(std::chrono::seconds(10)),
                    "the transfer worker did not end");
        fuzz::ResetProcess();
        fuzz::Check(machine.modules.LiveModules() == 0, "a library was left loaded");
    }
    return 0;
}
