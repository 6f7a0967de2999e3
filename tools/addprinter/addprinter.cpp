// addprinter: installs a printer in a Wine prefix (or on Windows) for the end-to-end runs.
//
// Usage: addprinter PRINTER_NAME DRIVER_NAME PPD_PATH [--driver-only]
// Adds the printer driver DRIVER_NAME (Wine's PostScript driver, configured by the PPD) for the
// environment of this process, then a printer PRINTER_NAME on port FILE: that uses it. Run the
// 32-bit and the 64-bit build both: a 32-bit program can only query a driver that was also added
// from a 32-bit process. An existing printer is left as it is. Exit status 0 on success.
#include <windows.h>
// (windows.h first: winspool.h needs its types)
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Fail(const char* what) {
    fprintf(stderr, "addprinter: %s failed (error %lu)\n", what,
            static_cast<unsigned long>(GetLastError()));
    return 1;
}

std::string FullPath(const char* path) {
    char buf[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(path, MAX_PATH, buf, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(buf) : std::string(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5 || (argc == 5 && strcmp(argv[4], "--driver-only") != 0)) {
        fprintf(stderr, "usage: addprinter PRINTER_NAME DRIVER_NAME PPD_PATH [--driver-only]\n");
        return 2;
    }
    std::string printerName = argv[1];
    std::string driverName = argv[2];
    std::string ppd = FullPath(argv[3]);
    if (GetFileAttributesA(ppd.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "addprinter: no file %s\n", ppd.c_str());
        return 1;
    }

    char driverPath[] = "wineps.drv";
    char configFile[] = "wineps.drv";
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = &driverName[0];
    driver.pDriverPath = driverPath;
    driver.pDataFile = &ppd[0];
    driver.pConfigFile = configFile;
    // Without APD_COPY_FROM_DIRECTORY the PPD is silently not copied and the driver answers
    // nothing.
    if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY))
        return Fail("AddPrinterDriverExA");
    printf("driver\t%s\t%s\n", driverName.c_str(), ppd.c_str());
    if (argc == 5) return 0;

    HANDLE existing = nullptr;
    if (OpenPrinterA(&printerName[0], &existing, nullptr)) {
        ClosePrinter(existing);
        printf("printer\t%s\texists\n", printerName.c_str());
        return 0;
    }
    char port[] = "FILE:";
    char processor[] = "WinPrint";
    char datatype[] = "RAW";
    PRINTER_INFO_2A info{};
    info.pPrinterName = &printerName[0];
    info.pDriverName = &driverName[0];
    info.pPortName = port;
    info.pPrintProcessor = processor;
    info.pDatatype = datatype;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer) return Fail("AddPrinterA");
    ClosePrinter(printer);
    printf("printer\t%s\tadded\n", printerName.c_str());
    return 0;
}
