// Where a stand-in DLL finds the simulated printer's state.
#include <windows.h>

#include <string>

namespace simprinter {
std::string DllStateFilePath() {
    char buffer[MAX_PATH * 2] = {};
    DWORD n = GetEnvironmentVariableA("ULMA_SIMPRINTER", buffer, sizeof(buffer));
    if (n > 0 && n < sizeof(buffer)) return buffer;

    // The folder of this DLL (not of the executable that loaded it).
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&DllStateFilePath), &self))
        return "simprinter.ini";
    n = GetModuleFileNameA(self, buffer, sizeof(buffer));
    if (n == 0 || n >= sizeof(buffer)) return "simprinter.ini";
    std::string path(buffer, n);
    size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "simprinter.ini";
}

}  // namespace simprinter
