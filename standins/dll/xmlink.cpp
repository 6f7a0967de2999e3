// The stand-in transfer-driver library: every entry point answers from the simulated printer.

#include <type_traits>

#include "platform/maker_api.h"
#include "standins/dll/bound_core.h"

using simprinter::BoundCore;

extern "C" {

__declspec(dllexport) int32_t ULMA_WINAPI
    XMInitPrinter(const char* printerName, uint8_t* record10) {
    return BoundCore().XMInitPrinter(printerName, record10);
}

__declspec(dllexport) int32_t ULMA_WINAPI XMCheckSupportPrinter(const char* printerName) {
    return BoundCore().XMCheckSupportPrinter(printerName);
}

__declspec(dllexport) int32_t ULMA_WINAPI XMCmdInit(int32_t value) {
    return BoundCore().XMCmdInit(value);
}

__declspec(dllexport) int32_t ULMA_WINAPI XMGetStatus(uint8_t* status32, int32_t value) {
    return BoundCore().XMGetStatus(status32, value);
}

__declspec(dllexport) int32_t ULMA_WINAPI XMGetFileList(char* buffer, int32_t size) {
    return BoundCore().XMGetFileList(buffer, size);
}

__declspec(dllexport) int32_t ULMA_WINAPI
    XMSendFile(const uint8_t* header64, const uint8_t* data, const uint32_t* length,
               uint8_t* status32, int32_t value, maker::XMProgressCallback callback) {
    return BoundCore().XMSendFile(header64, data, length, status32, value, callback);
}

__declspec(dllexport) int32_t ULMA_WINAPI
    XMReceiveFile(const char* name, uint8_t* buffer, int32_t size) {
    return BoundCore().XMReceiveFile(name, buffer, size);
}

#ifndef ULMA_OMIT_XMDELETEFILE
__declspec(dllexport) int32_t ULMA_WINAPI XMDeleteFile(const char* name) {
    return BoundCore().XMDeleteFile(name);
}
static_assert(std::is_same<decltype(&XMDeleteFile), maker::PFN_XMDeleteFile>::value, "shape");
#endif

}  // extern "C"

static_assert(std::is_same<decltype(&XMInitPrinter), maker::PFN_XMInitPrinter>::value, "shape");
static_assert(
    std::is_same<decltype(&XMCheckSupportPrinter), maker::PFN_XMCheckSupportPrinter>::value,
    "shape");
static_assert(std::is_same<decltype(&XMCmdInit), maker::PFN_XMCmdInit>::value, "shape");
static_assert(std::is_same<decltype(&XMGetStatus), maker::PFN_XMGetStatus>::value, "shape");
static_assert(std::is_same<decltype(&XMGetFileList), maker::PFN_XMGetFileList>::value, "shape");
static_assert(std::is_same<decltype(&XMSendFile), maker::PFN_XMSendFile>::value, "shape");
static_assert(std::is_same<decltype(&XMReceiveFile), maker::PFN_XMReceiveFile>::value, "shape");
