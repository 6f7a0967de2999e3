// The answers of our stand-in driver information library (qvinfo.dll), by default a label-printer
// driver with special-tape support, two tapes and two feeds at 300 dpi. Portable, so native tests
// can check the records the DLL hands out.
#pragma once
#include <cstdint>

namespace simprinter {

constexpr uint32_t kInfoDriverFlags = 0x40000;  // capability 269: special tape supported
constexpr uint32_t kTapeRecordSize = 138;
constexpr uint32_t kFeedRecordSize = 103;

// The shape of DeviceCapabilitiesA: a table capability answers its record count with a null
// buffer and writes its records otherwise; -1 for a capability not answered.
int32_t InfoDeviceCapabilities(const char* device, const char* port, uint32_t capability,
                               char* output, const void* devmode);

}  // namespace simprinter
