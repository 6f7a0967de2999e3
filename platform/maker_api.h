// Calling contracts of the printer maker's libraries as the tool uses them: the transfer-driver
// library, the raw I/O library and a driver information library. Every entry point is WINAPI.
#pragma once
#include <cstdint>

#include "platform/wintypes.h"

namespace maker {

// Transfer-driver library (XmLink.dll). Every call returns 0 on success.
using XMProgressCallback = int32_t(ULMA_WINAPI*)(uint32_t percent);
using PFN_XMInitPrinter = int32_t(ULMA_WINAPI*)(const char* printerName, uint8_t* record10);
using PFN_XMCheckSupportPrinter = int32_t(ULMA_WINAPI*)(const char* printerName);
using PFN_XMCmdInit = int32_t(ULMA_WINAPI*)(int32_t value);
using PFN_XMGetStatus = int32_t(ULMA_WINAPI*)(uint8_t* status32, int32_t value);
using PFN_XMGetFileList = int32_t(ULMA_WINAPI*)(char* buffer, int32_t size);
using PFN_XMSendFile = int32_t(ULMA_WINAPI*)(const uint8_t* header64, const uint8_t* data,
                                             const uint32_t* length, uint8_t* status32,
                                             int32_t value, XMProgressCallback callback);
using PFN_XMReceiveFile = int32_t(ULMA_WINAPI*)(const char* name, uint8_t* buffer, int32_t size);
using PFN_XMDeleteFile = int32_t(ULMA_WINAPI*)(const char* name);

// Result of XMSendFile when the progress callback asked to stop.
constexpr int32_t XM_RESULT_STOPPED = 8;

// Raw I/O library (qvfilo.dll). Non-zero on success.
using PFN_QVWriteFile = int32_t(ULMA_WINAPI*)(char* printerName, int32_t zero, const uint8_t* data,
                                              uint32_t length, uint32_t* count, uint32_t timeout);
using PFN_QVReadFile = int32_t(ULMA_WINAPI*)(char* printerName, int32_t zero, uint8_t* data,
                                             uint32_t length, uint32_t* count, uint32_t timeout);

// Driver information library: the shape of DeviceCapabilitiesA; -1 means "not answered".
using PFN_MyDeviceCapabilities = int32_t(ULMA_WINAPI*)(const char* device, const char* port,
                                                       uint32_t capability, char* output,
                                                       const void* devmode);

}  // namespace maker
