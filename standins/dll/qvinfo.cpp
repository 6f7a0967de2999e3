// The stand-in driver information library: answers extended capability queries from its data
// file (the default data when there is none) and appends every call to the file's ".log".
#include <mutex>
#include <string>
#include <type_traits>

#include "platform/maker_api.h"
#include "standins/infolib.h"
#include "standins/infosim.h"
#include "standins/textfile.h"

namespace simprinter {
std::string InfoDataFilePath();
}

namespace {

void BindDataFile() {
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string path = simprinter::InfoDataFilePath();
        std::string text;
        if (standin_text::ReadWholeFile(path, text)) {
            std::string error;
            if (!infosim::Instance().LoadText(text, &error))
                standin_text::AppendLine(path + ".log", "data file: " + error);
        }
        infosim::Instance().SetLogFile(path + ".log");
    });
}

}  // namespace

extern "C" __declspec(dllexport) int32_t ULMA_WINAPI
    MyDeviceCapabilities(const char* device, const char* port, uint32_t capability, char* output,
                         const void* devmode) {
    BindDataFile();
    return simprinter::InfoDeviceCapabilities(device, port, capability, output, devmode);
}

static_assert(std::is_same<decltype(&MyDeviceCapabilities), maker::PFN_MyDeviceCapabilities>::value,
              "shape");
