// Fuzz target: the printer driver. Every spooler answer, DC_* query, escape, settings block
// (public part and private area) of the printer comes from the input, and so do the information
// library's answers, whose driver flags decide how the private area is read; the printer is
// discovered and built to the end. Nothing may crash or read outside what the driver gave, and
// every handle must be given back.
#include "printer_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::Machine machine;
    fuzz::ResetProcess();
    fuzz::BuildModel(in, machine, {true, false, true});
    fuzz::DiscoverAndCheck(machine);
    return 0;
}
