// Fuzz target: the printer's answer to the information request. A raw I/O library of our own
// answers the 32-byte read with 0 to 64 bytes of the input (it delivers at most what was asked
// for) and fails the calls the first byte says. The query alone, then (when the first byte asks
// for it) the whole Update command with a user who confirms or refuses, must derive the version
// and system-information texts by their rules, show them verbatim, and send no package unless
// the user confirmed and the system-information code matched.
#include <algorithm>
#include <cstring>

#include "support.h"

namespace {

// First byte of the input.
constexpr uint8_t kFailPreamble = 0x01;
constexpr uint8_t kFailRequest = 0x02;
constexpr uint8_t kFailRead = 0x04;
constexpr uint8_t kWholeUpdate = 0x08;
constexpr uint8_t kUserConfirms = 0x10;

struct FakeIo {
    uint8_t flags = 0;
    std::string reply;
    std::vector<std::string> writes;  // the bytes of each write, in order
    int reads = 0;
} g_io;

void CheckName(const char* name) {
    fuzz::Check(
        name != nullptr && std::memchr(name, '\0', 256) != nullptr && std::strcmp(name, "P1") == 0,
        "the library did not get the printer name in a terminated buffer");
}

int32_t ULMA_WINAPI FakeWrite(char* name, int32_t zero, const uint8_t* data, uint32_t length,
                              uint32_t* count, uint32_t timeout) {
    CheckName(name);
    fuzz::Check(zero == 0 && data != nullptr && length == 4 && count != nullptr && timeout == 10000,
                "write arguments broken");
    std::string bytes(reinterpret_cast<const char*>(data), length);
    g_io.writes.push_back(bytes);
    if (bytes == "\x1bi\x61\x01" && (g_io.flags & kFailPreamble)) return 0;
    if (bytes == "\x1biXS" && (g_io.flags & kFailRequest)) return 0;
    *count = length;
    return 1;
}

int32_t ULMA_WINAPI FakeRead(char* name, int32_t zero, uint8_t* data, uint32_t length,
                             uint32_t* count, uint32_t timeout) {
    CheckName(name);
    fuzz::Check(zero == 0 && data != nullptr && length == 32 && count != nullptr && timeout == 2000,
                "read arguments broken");
    ++g_io.reads;
    if (g_io.flags & kFailRead) return 0;
    size_t n = std::min<size_t>(length, g_io.reply.size());
    std::copy_n(g_io.reply.data(), n, data);
    *count = static_cast<uint32_t>(n);
    return 1;
}

std::map<std::string, void*> FakeExports() {
    return {{"QVWriteFile", reinterpret_cast<void*>(&FakeWrite)},
            {"QVReadFile", reinterpret_cast<void*>(&FakeRead)}};
}

// The texts the reply stands for, derived here independently of the program.
struct Expected {
    std::string version, systemInfo;
};
Expected Derive(const std::string& reply) {
    uint8_t r[32] = {};
    std::memcpy(r, reply.data(), std::min<size_t>(32, reply.size()));
    Expected e;
    for (int i = 27; i < 31 && r[i] != 0; ++i) e.version += static_cast<char>(r[i]);
    if (r[31] >= 'b' && r[31] <= 'y') e.version += static_cast<char>(r[31]);
    if (r[31] != 0) e.systemInfo = std::string(1, static_cast<char>(r[31]));
    return e;
}

bool AnyFailure() { return (g_io.flags & (kFailPreamble | kFailRequest | kFailRead)) != 0; }

void CheckQuery(const Expected& want) {
    sim::Machine machine;
    fuzz::ResetProcess();
    machine.modules.Register("qvfilo.dll", FakeExports());
    fuzz::Check(BindQVFilo() == 1, "raw I/O library not bound");
    PrinterInfo info;
    QueryResult result = QueryPrinterInfo("P1", info);
    if (g_io.flags & (kFailPreamble | kFailRequest)) {
        fuzz::Check(result == QueryResult::WriteFailed, "a failed write was not reported");
        fuzz::Check(g_io.reads == 0, "the reply was read after a failed write");
    } else if (g_io.flags & kFailRead) {
        fuzz::Check(result == QueryResult::ReadFailed, "a failed read was not reported");
    } else {
        fuzz::Check(result == QueryResult::Success, "the query failed");
        fuzz::Check(info.strVersion == want.version, "wrong version text");
        fuzz::Check(info.strSystemInfo == want.systemInfo, "wrong system-information text");
        fuzz::Check(g_io.writes.size() == 2 && g_io.writes[0] == "\x1bi\x61\x01" &&
                        g_io.writes[1] == "\x1biXS" && g_io.reads == 1,
                    "the query's calls differ from preamble, request, read");
    }
    fuzz::ResetProcess();
}

void CheckUpdate(const Expected& want) {
    apptest::Program p;
    p.machine.modules.Register("qvfilo.dll", FakeExports());
    p.machine.system.AddFile("C:\\Tools\\fw.kf7", fuzz::Package(256, std::string(256, 'F')));
    p.machine.spooler.InstallSimple("P1", apptest::kDriver);
    const bool confirms = (g_io.flags & kUserConfirms) != 0;
    p.machine.ui.OnMessageBox([confirms](const sim::MessageBoxRecord& box) {
        if ((box.type & win::MB_TYPEMASK) == win::MB_YESNO)
            return confirms ? win::IDYES : win::IDNO;
        return win::IDOK;
    });
    p.scripts[IDD_ULMAUPDATE_DIALOG] = [](const sim::DialogView&, sim::SimUi& ui, int step) {
        ui.ClickIn(IDD_ULMAUPDATE_DIALOG, step == 0 ? IDC_UPDATE : IDC_EXIT);
    };
    p.Run();

    std::vector<sim::MessageBoxRecord> boxes = p.machine.ui.MessageBoxes();
    const bool received = !fuzz::ReceivedPackages().empty();
    fuzz::Check(!boxes.empty(), "the Update command showed nothing");
    if (AnyFailure()) {
        fuzz::Check(boxes.size() == 1, "a failed query went on past its message");
        fuzz::Check(!received, "a package was sent after a failed query");
        return;
    }
    const std::string question = "The current firmware version is " + want.version +
                                 ".\n\nThis firmware update is version 1.06.\n\nOK to update the "
                                 "current M100 firmware?\n\n\n";
    fuzz::Check(boxes[0].text == question, "the confirmation does not show the version verbatim");
    const bool matches = want.systemInfo == "c";
    fuzz::Check(received == (confirms && matches),
                "a package was sent without confirmation and a matching printer, or not sent");
    if (!confirms) {
        fuzz::Check(boxes.size() == 1 && g_io.writes.size() == 2,
                    "the printer was addressed after the user refused");
    }
    fuzz::Check(p.machine.system.WaitForThreads(std::chrono::seconds(10)),
                "the transfer worker did not end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 65) return -1;
    g_io = FakeIo();
    g_io.flags = data[0];
    g_io.reply.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    Expected want = Derive(g_io.reply);
    CheckQuery(want);
    if (g_io.flags & kWholeUpdate) {
        g_io.writes.clear();
        g_io.reads = 0;
        CheckUpdate(want);
    }
    return 0;
}
