#include "transfer/xmlink.h"

#include <cstring>
#include <string>

std::unique_ptr<plat::IModule> g_hXmLink;

maker::PFN_XMInitPrinter g_pfnXMInitPrinter = nullptr;
maker::PFN_XMCheckSupportPrinter g_pfnXMCheckSupportPrinter = nullptr;
maker::PFN_XMCmdInit g_pfnXMCmdInit = nullptr;
maker::PFN_XMGetStatus g_pfnXMGetStatus = nullptr;
maker::PFN_XMGetFileList g_pfnXMGetFileList = nullptr;
maker::PFN_XMSendFile g_pfnXMSendFile = nullptr;
maker::PFN_XMReceiveFile g_pfnXMReceiveFile = nullptr;
maker::PFN_XMDeleteFile g_pfnXMDeleteFile = nullptr;

uint8_t g_XmStatus[kXmStatusSize] = {};
uint8_t g_XmPrinterRecord[kXmPrinterRecordSize] = {};

std::atomic<int32_t> g_nLastResult{0};
std::atomic<uint32_t> g_nCancelLimit{0};

namespace {

// Resolves one export into its entry-point variable; false when it is missing.
template <class Fn>
bool Resolve(const char* name, Fn& out) {
    out = plat::GetProc<Fn>(*g_hXmLink, name);
    return out != nullptr;
}

// The printer the cancel limit was last read for; used on the user-interface thread only.
std::string& LimitPrinter() {
    static std::string name;
    return name;
}

}  // namespace

int BindXmLink() {
    g_hXmLink = plat::Modules().LoadLibrary("XmLink.dll");
    if (!g_hXmLink) return 0;
    if (!Resolve("XMInitPrinter", g_pfnXMInitPrinter)) return 0;
    if (!Resolve("XMCheckSupportPrinter", g_pfnXMCheckSupportPrinter)) return 0;
    if (!Resolve("XMCmdInit", g_pfnXMCmdInit)) return 0;
    if (!Resolve("XMGetStatus", g_pfnXMGetStatus)) return 0;
    if (!Resolve("XMGetFileList", g_pfnXMGetFileList)) return 0;
    if (!Resolve("XMSendFile", g_pfnXMSendFile)) return 0;
    if (!Resolve("XMReceiveFile", g_pfnXMReceiveFile)) return 0;
    if (!Resolve("XMDeleteFile", g_pfnXMDeleteFile)) return 0;
    return 1;
}

void UnbindXmLink() {
    // Entry points go with the module so that no call can reach a freed library.
    g_pfnXMInitPrinter = nullptr;
    g_pfnXMCheckSupportPrinter = nullptr;
    g_pfnXMCmdInit = nullptr;
    g_pfnXMGetStatus = nullptr;
    g_pfnXMGetFileList = nullptr;
    g_pfnXMSendFile = nullptr;
    g_pfnXMReceiveFile = nullptr;
    g_pfnXMDeleteFile = nullptr;
    g_hXmLink.reset();
}

int32_t XmCheckSupportPrinter(const std::string& printerName) {
    if (!g_pfnXMCheckSupportPrinter) return kXmNotBound;
    return g_pfnXMCheckSupportPrinter(printerName.c_str());
}

int32_t XmInitPrinter(const std::string& printerName) {
    if (!g_pfnXMInitPrinter) return g_nLastResult = kXmNotBound;
    // A cancel limit is what one printer reported: another printer starts with none, so that
    // its packages are never made cancellable by a limit it did not give.
    if (printerName != LimitPrinter()) {
        g_nCancelLimit = 0;
        LimitPrinter() = printerName;
    }
    std::memset(g_XmPrinterRecord, 0, sizeof g_XmPrinterRecord);
    return g_nLastResult = g_pfnXMInitPrinter(printerName.c_str(), g_XmPrinterRecord);
}

int32_t XmCmdInit(int32_t value) {
    if (!g_pfnXMCmdInit) return g_nLastResult = kXmNotBound;
    return g_nLastResult = g_pfnXMCmdInit(value);
}

int32_t XmGetStatus(int32_t value) {
    if (!g_pfnXMGetStatus) return g_nLastResult = kXmNotBound;
    std::memset(g_XmStatus, 0, sizeof g_XmStatus);
    return g_nLastResult = g_pfnXMGetStatus(g_XmStatus, value);
}

int32_t XmSendFile(const uint8_t* header64, const uint8_t* data, const uint32_t* length,
                   int32_t value, maker::XMProgressCallback callback) {
    if (!g_pfnXMSendFile) return g_nLastResult = kXmNotBound;
    std::memset(g_XmStatus, 0, sizeof g_XmStatus);
    return g_nLastResult = g_pfnXMSendFile(header64, data, length, g_XmStatus, value, callback);
}

int CheckPrinterStatus() {
    if (XmCmdInit(1000) != 0) return 0;
    if (XmGetStatus(1000) != 0) return 0;
    if (g_XmStatus[0] != 0x81 || g_XmStatus[1] != 0x20 || g_XmStatus[2] != 0x42) return 0;
    uint32_t limit =
        static_cast<uint32_t>(g_XmStatus[24]) | static_cast<uint32_t>(g_XmStatus[25]) << 8 |
        static_cast<uint32_t>(g_XmStatus[26]) << 16 | static_cast<uint32_t>(g_XmStatus[27]) << 24;
    if (limit != 0) g_nCancelLimit = limit;
    return 1;
}

void ResetXmLinkForTest() {
    UnbindXmLink();
    std::memset(g_XmStatus, 0, sizeof g_XmStatus);
    std::memset(g_XmPrinterRecord, 0, sizeof g_XmPrinterRecord);
    g_nLastResult = 0;
    g_nCancelLimit = 0;
    LimitPrinter().clear();
}
