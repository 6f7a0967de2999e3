// The printer core of a stand-in DLL, bound on first use to the state file named by the
// environment variable ULMA_SIMPRINTER, or else to simprinter.ini beside the DLL.
#pragma once
#include <mutex>
#include <string>

#include "standins/simprinter.h"

namespace simprinter {

// The state file's path (state_path.cpp: the one source that includes <windows.h>).
std::string DllStateFilePath();

inline Core& BoundCore() {
    static std::once_flag once;
    std::call_once(once, [] { Instance().BindFile(DllStateFilePath()); });
    return Instance();
}

}  // namespace simprinter
