// Where the stand-in information library finds its data: the file named by the environment
// variable ULMA_QVINFO, or else qvinfo.ini beside the DLL.
#include <windows.h>

#include <string>

namespace simprinter {

std::string InfoDataFilePath() {
    char buffer[MAX_PATH * 2] = {};
    DWORD n = GetEnvironmentVariableA("ULMA_QVINFO", buffer, sizeof(buffer));
    if (n > 0 && n < sizeof(buffer)) return buffer;

    HMODULE self = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&InfoDataFilePath), &self))
        return "qvinfo.ini";
    n = GetModuleFileNameA(self, buffer, sizeof(buffer));
    if (n == 0 || n >= sizeof(buffer)) return "qvinfo.ini";
    std::string path(buffer, n);
    size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "qvinfo.ini";
}

}  // namespace simprinter
