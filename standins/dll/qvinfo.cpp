// The stand-in driver information library: answers extended capability queries.
#include <type_traits>

#include "platform/maker_api.h"
#include "standins/infolib.h"

extern "C" __declspec(dllexport) int32_t ULMA_WINAPI
    MyDeviceCapabilities(const char* device, const char* port, uint32_t capability, char* output,
                         const void* devmode) {
    return simprinter::InfoDeviceCapabilities(device, port, capability, output, devmode);
}

static_assert(std::is_same<decltype(&MyDeviceCapabilities), maker::PFN_MyDeviceCapabilities>::value,
              "shape");
