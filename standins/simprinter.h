// The simulated label printer behind our stand-ins for the maker's transfer-driver library and
// raw I/O library. One core holds the printer's state (names it answers to, firmware version,
// system-information code, status block, transfer speed, injected faults), answers every entry
// point of both libraries, records each call in a log and keeps the bytes of every package it
// received. Native tests use the process-wide instance from memory; the stand-in DLLs bind it to
// a state file and write the log and the received packages next to that file.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/maker_api.h"

namespace simprinter {

// Result codes of the stand-in transfer-driver library besides 0 (success) and 8 (stopped).
constexpr int32_t XM_ERR_GENERAL = 1;       // the printer does not answer / unknown printer
constexpr int32_t XM_ERR_NO_PRINTER = 2;    // no printer selected with XMInitPrinter
constexpr int32_t XM_ERR_BAD_ARGUMENT = 3;  // null pointer or empty package
constexpr int32_t XM_ERR_UNSUPPORTED = 4;   // an entry point the stand-in does not carry out

// Everything the simulated printer is configured with. Every field has a key in the state file
// (see standins/README.md); the defaults describe a ready printer named "P1".
struct State {
    std::vector<std::string> printerNames{"P1"};       // names it answers to (exact match)
    std::string version = "1.05";                      // reply bytes 27-30 (at most 4 characters)
    uint8_t sysInfo = 'c';                             // reply byte 31
    std::string newVersion = "1.06";                   // reported after a completed update
    std::array<uint8_t, 32> status{0x81, 0x20, 0x42};  // status block; offset 24 is overwritten
    uint32_t cancelLimit = 0;                          // status block offset 24, little-endian
    uint32_t speed = 0;          // bytes per second of a package transfer; 0 = instant
    uint32_t progressStep = 10;  // percent between two progress reports (1..100)
    uint32_t packages = 1;       // packages per update: after this many, the new version applies

    // Injected faults.
    bool noAnswerPreamble = false;  // QVWriteFile of the preamble command fails
    bool noAnswerInfo = false;      // QVWriteFile of the information request fails
    bool noAnswerRead = false;      // QVReadFile fails
    uint32_t replyLength = 32;      // bytes of the reply actually delivered (0..32)
    bool statusNotReady = false;    // XMGetStatus reports 0x80 in byte 0
    int32_t initPrinterResult = 0;  // non-zero: XMInitPrinter fails with this code
    int32_t cmdInitResult = 0;      // non-zero: XMCmdInit fails with this code
    uint32_t sendFailPackage = 0;   // 1-based XMSendFile call since XMCmdInit that fails; 0 = none
    uint32_t sendFailPercent = 0;   // the percentage at which it fails
    int32_t sendFailResult = XM_ERR_GENERAL;  // the result code it fails with
    uint32_t percentOver100 = 0;              // non-zero: reported instead of 100 (e.g. 101)
    bool slowAnswer = false;  // QVWriteFile/QVReadFile take their full time-out (ms)
};

// Parses the key=value text of a state file into a state (starting from the defaults). Lines
// starting with '#' or ';' and blank lines are ignored; unknown keys are reported in `errors`.
State ParseState(const std::string& text, std::vector<std::string>* errors = nullptr);
// Writes a state as key=value text that ParseState reads back to the same state.
std::string FormatState(const State& state);

// One package as it reached the printer: the 64-byte header followed by the data.
struct Received {
    std::string printer;
    std::vector<uint8_t> bytes;
};

class Core {
  public:
    Core();

    // --- Configuration (thread-safe) ---
    // Back to the default state; clears the log, the received packages and the selected printer,
    // and detaches from any state file.
    void Reset();
    void SetState(const State& state);
    State GetState() const;
    // Replaces the state by the parsed text; false (and the state unchanged) on unknown keys.
    bool SetStateText(const std::string& text);
    // How the core waits (transfer speed, slow answers); the default sleeps for real. A
    // simulated machine passes its virtual clock.
    void SetSleep(std::function<void(uint32_t ms)> sleep);

    // Binds the core to a state file: the state is read from it before every call (a text with a
    // bad line makes a printer that answers to no name, the errors logged once), the version
    // reported after a completed update is written back into it, every log line is appended to
    // `path + ".log"` and every received package is written to `path + ".recvN.bin"` (N = 1, 2,
    // ... the first free number). A missing file leaves the default state.
    void BindFile(const std::string& path);
    std::string BoundFile() const;

    // --- What happened (thread-safe) ---
    std::vector<std::string> Log() const;
    std::vector<Received> ReceivedPackages() const;
    void ClearLog();  // clears the log and the received packages
    // The printer selected by the last successful XMInitPrinter; empty when none.
    std::string CurrentPrinter() const;

    // --- Transfer-driver library ---
    int32_t XMInitPrinter(const char* printerName, uint8_t* record10);
    int32_t XMCheckSupportPrinter(const char* printerName);
    int32_t XMCmdInit(int32_t value);
    int32_t XMGetStatus(uint8_t* status32, int32_t value);
    int32_t XMGetFileList(char* buffer, int32_t size);
    int32_t XMSendFile(const uint8_t* header64, const uint8_t* data, const uint32_t* length,
                       uint8_t* status32, int32_t value, maker::XMProgressCallback callback);
    int32_t XMReceiveFile(const char* name, uint8_t* buffer, int32_t size);
    int32_t XMDeleteFile(const char* name);

    // --- Raw I/O library ---
    int32_t QVWriteFile(char* printerName, int32_t zero, const uint8_t* data, uint32_t length,
                        uint32_t* count, uint32_t timeout);
    int32_t QVReadFile(char* printerName, int32_t zero, uint8_t* data, uint32_t length,
                       uint32_t* count, uint32_t timeout);

  private:
    // Re-reads the bound state file (the other stand-in DLL may have changed it).
    void RefreshLocked();
    void AddLogLocked(const std::string& line);
    void StoreReceivedLocked(const std::string& printer, std::vector<uint8_t> bytes);
    void ApplyNewVersionLocked();
    bool KnownLocked(const char* printerName) const;
    void FillStatusLocked(uint8_t* status32) const;
    void Wait(uint32_t ms);

    mutable std::mutex mutex_;
    State state_;
    std::function<void(uint32_t)> sleep_;
    std::string file_;
    std::vector<std::string> log_;
    std::vector<Received> received_;
    std::string currentPrinter_;
    uint32_t sendsSinceInit_ = 0;  // XMSendFile calls since the last XMCmdInit
    uint32_t okSinceInit_ = 0;     // of which completed
    std::string pendingReplyFor_;  // printer that was sent the information request
    std::string refusedText_;      // the last state text refused, its errors logged once
};

// The process-wide core used by the in-process exports and by each stand-in DLL.
Core& Instance();

}  // namespace simprinter
