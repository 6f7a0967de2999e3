// Fuzz target: the driver information library and the registry that names it. The registry
// tree, the "Info Dll" value and every MyDeviceCapabilities answer (counts, records, -1) come
// from the input; the printer is discovered and built to the end with every handle given back.
#include "printer_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::Machine machine;
    fuzz::ResetProcess();
    fuzz::BuildModel(in, machine, {false, true, true});
    fuzz::DiscoverAndCheck(machine);
    return 0;
}
