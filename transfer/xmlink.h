// Binding of the transfer-driver library XmLink.dll, its process-wide entry points and values,
// and the printer status check. The library reports success as 0 and keeps its last result code.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/maker_api.h"
#include "platform/platform.h"

// The loaded library; empty when not loaded.
extern std::unique_ptr<plat::IModule> g_hXmLink;

// The resolved entry points (null until bound).
extern maker::PFN_XMInitPrinter g_pfnXMInitPrinter;
extern maker::PFN_XMCheckSupportPrinter g_pfnXMCheckSupportPrinter;
extern maker::PFN_XMCmdInit g_pfnXMCmdInit;
extern maker::PFN_XMGetStatus g_pfnXMGetStatus;
extern maker::PFN_XMGetFileList g_pfnXMGetFileList;
extern maker::PFN_XMSendFile g_pfnXMSendFile;
extern maker::PFN_XMReceiveFile g_pfnXMReceiveFile;
extern maker::PFN_XMDeleteFile g_pfnXMDeleteFile;

// Status block shared by XMGetStatus and XMSendFile. The user-interface thread and the transfer
// worker use it one after the other, never at the same time (the worker starts after the status
// check and the block is zeroed before each call).
constexpr size_t kXmStatusSize = 32;
extern uint8_t g_XmStatus[kXmStatusSize];
// Printer record handed to XMInitPrinter, zeroed before each call.
constexpr size_t kXmPrinterRecordSize = 10;
extern uint8_t g_XmPrinterRecord[kXmPrinterRecordSize];

// Result of the last XMInitPrinter, XMCmdInit, XMGetStatus or XMSendFile call.
extern std::atomic<int32_t> g_nLastResult;
// Data length below which a file's transfer may be cancelled, as the printer last initialised
// reported it; 0 at start and again whenever another printer is initialised.
extern std::atomic<uint32_t> g_nCancelLimit;

// Result the wrappers below give when the library is not bound (no call is made).
constexpr int32_t kXmNotBound = -1;

// LoadLibrary("XmLink.dll") and the eight exports in order; 1 on success, 0 at the first
// failure (the module then stays loaded until UnbindXmLink).
int BindXmLink();
// Frees the library if loaded and clears the handle.
void UnbindXmLink();
// XMCmdInit(1000), XMGetStatus(g_XmStatus, 1000), bytes 0..2 must be 81 20 42; a non-zero
// 32-bit value at offset 24 becomes g_nCancelLimit. 1 when the printer is ready, else 0.
int CheckPrinterStatus();

// Calls of the entry points; all but XmCheckSupportPrinter store their result in g_nLastResult.
// Each returns the library's result, or kXmNotBound when the entry point is not bound.
int32_t XmCheckSupportPrinter(const std::string& printerName);
// Zeroes the printer record and passes it with the name.
int32_t XmInitPrinter(const std::string& printerName);
int32_t XmCmdInit(int32_t value);
// Zeroes g_XmStatus and reads the status into it.
int32_t XmGetStatus(int32_t value);
// Zeroes g_XmStatus and sends one package file.
int32_t XmSendFile(const uint8_t* header64, const uint8_t* data, const uint32_t* length,
                   int32_t value, maker::XMProgressCallback callback);

// Clears every value above and frees the library (tests run the program repeatedly).
void ResetXmLinkForTest();
