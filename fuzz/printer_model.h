// A label printer, its driver, its information library and the registry entry that names the
// library, all built from fuzz input: the pieces the printer list and the label printer object
// read while a printer is discovered.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include "support.h"

namespace fuzz {

struct ModelParts {
    bool fuzzDriver = true;    // spooler, settings block, DC_* answers, escapes
    bool fuzzRegistry = true;  // registry tree and the "Info Dll" value
    bool fuzzLibrary = true;   // every MyDeviceCapabilities answer
};

// Installs a printer of driver apptest::kDriver, named "P1" or after its driver (plus, at times,
// a second printer whose name carries the special-tape suffix) on the machine, with the parts
// chosen by `parts` drawn from the input and the others well formed. Every part starts well
// formed and an input that runs out leaves the rest so, so that a fault has to be asked for and
// the fuzzer's effort goes past the first checks.
void BuildModel(FuzzedDataProvider& in, sim::Machine& machine, const ModelParts& parts);

// Discovers the printers, reads every listed printer's texts, releases the list and checks that
// every printer handle, information context, registry key and library was given back.
void DiscoverAndCheck(sim::Machine& machine);

}  // namespace fuzz
