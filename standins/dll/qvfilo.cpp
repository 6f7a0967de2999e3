// The stand-in raw I/O library: writes to and reads from the simulated printer.

#include <type_traits>

#include "platform/maker_api.h"
#include "standins/dll/bound_core.h"

using simprinter::BoundCore;

extern "C" {

__declspec(dllexport) int32_t ULMA_WINAPI
    QVWriteFile(char* printerName, int32_t zero, const uint8_t* data, uint32_t length,
                uint32_t* count, uint32_t timeout) {
    return BoundCore().QVWriteFile(printerName, zero, data, length, count, timeout);
}

#ifndef ULMA_OMIT_QVREADFILE
__declspec(dllexport) int32_t ULMA_WINAPI
    QVReadFile(char* printerName, int32_t zero, uint8_t* data, uint32_t length, uint32_t* count,
               uint32_t timeout) {
    return BoundCore().QVReadFile(printerName, zero, data, length, count, timeout);
}
static_assert(std::is_same<decltype(&QVReadFile), maker::PFN_QVReadFile>::value, "shape");
#endif

}  // extern "C"

static_assert(std::is_same<decltype(&QVWriteFile), maker::PFN_QVWriteFile>::value, "shape");
