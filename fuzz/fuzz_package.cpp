// Fuzz target: arbitrary bytes as a firmware package file. The package class reads its header,
// SendPackageFile sends it to the stand-in printer, and a whole transfer run (preamble, size sum,
// progress dialog with its worker thread, outcome message) sends it again. Whatever the bytes,
// the printer receives exactly the header and the data the header announces, or nothing. When
// the bytes after a complete package are left over, they are a second package of the same run:
// both go out whole and in order, or neither does.
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

void CheckTransfer(const std::string& file) {
    simprinter::Instance().ClearLog();
    CulmaUpDateDlg dlg;
    dlg.m_strPrinterName = "P1";
    dlg.m_strMachineName = "M100";
    dlg.m_strKF7FileName = "fw.kf7";
    dlg.m_strKF7FilePath = kPath;
    const int32_t length = StatedLength(file);
    const bool complete = Complete(file);

    int result = dlg.RunTransfer();
    std::vector<std::string> received = fuzz::ReceivedPackages();
    if (complete) {
        fuzz::Check(result == 1, "a complete package was not transferred");
        fuzz::Check(received.size() == 1, "a complete package was not received once");
        fuzz::Check(received[0] == file.substr(0, 64 + static_cast<size_t>(length)),
                    "the printer received other bytes than header and data");
    } else {
        fuzz::Check(result == 0, "an incomplete package counted as transferred");
        fuzz::Check(received.empty(), "bytes of an incomplete package reached the printer");
    }
}

// Both packages of a run are sent whole, first then second, or nothing reaches the printer.
void CheckTwoPackages(const std::string& first, const std::string& second) {
    simprinter::Instance().ClearLog();
    CulmaUpDateDlg dlg;
    dlg.m_strPrinterName = "P1";
    dlg.m_strMachineName = "M100";
    dlg.m_strKF7FileName = "fw.kf7";
    dlg.m_strKF7FilePath = kPath;
    dlg.m_strKF7FileName2 = "fw2.kf7";
    dlg.m_strKF7FilePath2 = kPath2;
    const bool complete = Complete(first) && Complete(second);

    int result = dlg.RunTransfer();
    std::vector<std::string> received = fuzz::ReceivedPackages();
    if (complete) {
        fuzz::Check(result == 1, "two complete packages were not transferred");
        fuzz::Check(received.size() == 2 &&
                        received[0] == first.substr(0, 64 + size_t(StatedLength(first))) &&
                        received[1] == second.substr(0, 64 + size_t(StatedLength(second))),
                    "the printer did not receive both packages whole and in order");
    } else {
        fuzz::Check(result == 0, "a run with an incomplete package counted as transferred");
        fuzz::Check(received.empty(), "part of an update reached the printer");
    }
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
        CheckTransfer(file);
        if (Complete(file) && 64 + size_t(StatedLength(file)) < file.size()) {
            const size_t split = 64 + size_t(StatedLength(file));
            machine.system.AddFile(kPath, file.substr(0, split));
            machine.system.AddFile(kPath2, file.substr(split));
            CheckTwoPackages(file.substr(0, split), file.substr(split));
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
