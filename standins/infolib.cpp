#include "standins/infolib.h"

#include "standins/infosim.h"

namespace simprinter {

// The answers come from the configurable library core (standins/infosim.h), whose default data
// are two tapes and two feeds at 300 dpi with special-tape support.
int32_t InfoDeviceCapabilities(const char* device, const char* port, uint32_t capability,
                               char* output, const void* devmode) {
    return infosim::Instance().Answer(device, port, capability, output, devmode);
}

}  // namespace simprinter
