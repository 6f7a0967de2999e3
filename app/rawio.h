// The raw I/O library qvfilo.dll: its binding (set up and freed by the main dialog) and the
// exchanges with the printer that go through it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/maker_api.h"
#include "platform/platform.h"

// The loaded library; empty when not loaded.
extern std::unique_ptr<plat::IModule> g_hQVFilo;
extern maker::PFN_QVWriteFile g_pfnQVWriteFile;
extern maker::PFN_QVReadFile g_pfnQVReadFile;

// Time-outs of the library calls, in the library's unit.
constexpr uint32_t kQVWriteTimeout = 10000;
constexpr uint32_t kQVReadTimeout = 2000;

// The 32-byte answer to the information request.
struct PrinterInfoReply {
    static constexpr size_t kSize = 32;
    static constexpr size_t kVersionOffset = 27;
    static constexpr size_t kVersionLength = 4;
    static constexpr size_t kSystemInfoOffset = 31;

    uint8_t bytes[kSize] = {};

    // Bytes 27..30 up to the first zero byte, followed by byte 31 when it is 'b'..'y'.
    std::string VersionText() const;
    // Byte 31 as a one-character text; empty when it is 0.
    std::string SystemInfoText() const;
};
static_assert(sizeof(PrinterInfoReply) == 32, "the reply record is 32 bytes");

enum class QueryResult { Success, WriteFailed, ReadFailed };

// What a successful query yields.
struct PrinterInfo {
    PrinterInfoReply reply;
    std::string strVersion;     // current firmware version text
    std::string strSystemInfo;  // system-information text
};

// Loads "qvfilo.dll" by bare name and resolves QVWriteFile, then QVReadFile. 1 when both are
// bound; 0 otherwise (a loaded library stays loaded until UnbindQVFilo).
int BindQVFilo();
// Frees the library if loaded and clears the handle; the entry points are left as they are.
void UnbindQVFilo();
// True when the library is loaded and both entry points are resolved: only then may the
// printer be reached through it.
bool IsQVFiloBound();

// Sends the preamble command 1B 69 61 01 to the named printer (time-out 10000). 1 on success,
// 0 on failure, when the library is not bound or when the name does not fit the name buffer.
int SendPreamble(const std::string& printerName);

// Preamble, information request 1B 69 58 53, then a 32-byte read. On success fills info.
// A name that does not fit the library's name buffer, or an unbound library, is a write failure
// and nothing is sent.
QueryResult QueryPrinterInfo(const std::string& printerName, PrinterInfo& info);
