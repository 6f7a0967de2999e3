#include "app/rawio.h"

#include <cstring>

std::unique_ptr<plat::IModule> g_hQVFilo;
maker::PFN_QVWriteFile g_pfnQVWriteFile = nullptr;
maker::PFN_QVReadFile g_pfnQVReadFile = nullptr;

namespace {

constexpr uint8_t kPreamble[4] = {0x1B, 0x69, 0x61, 0x01};
constexpr uint8_t kInfoRequest[4] = {0x1B, 0x69, 0x58, 0x53};

// The printer name as the library takes it: a writable, zero-terminated buffer of 260 bytes.
class NameBuffer {
  public:
    // False when the name (with its terminator) does not fit, or holds a zero byte: a shortened
    // name could address another printer, so it is never cut.
    bool Set(const std::string& name) {
        if (name.size() >= sizeof m_buffer || name.find('\0') != std::string::npos) return false;
        std::memset(m_buffer, 0, sizeof m_buffer);
        std::memcpy(m_buffer, name.data(), name.size());
        return true;
    }
    char* data() { return m_buffer; }

  private:
    char m_buffer[260] = {};
};

}  // namespace

std::string PrinterInfoReply::VersionText() const {
    std::string text;
    for (size_t i = 0; i < kVersionLength && bytes[kVersionOffset + i] != 0; ++i) {
        text += static_cast<char>(bytes[kVersionOffset + i]);
    }
    uint8_t suffix = bytes[kSystemInfoOffset];
    if (suffix >= 0x62 && suffix <= 0x79) text += static_cast<char>(suffix);
    return text;
}

std::string PrinterInfoReply::SystemInfoText() const {
    uint8_t code = bytes[kSystemInfoOffset];
    return code == 0 ? std::string() : std::string(1, static_cast<char>(code));
}

int BindQVFilo() {
    g_pfnQVWriteFile = nullptr;
    g_pfnQVReadFile = nullptr;
    g_hQVFilo = plat::Modules().LoadLibrary("qvfilo.dll");
    if (!g_hQVFilo) return 0;
    g_pfnQVWriteFile = plat::GetProc<maker::PFN_QVWriteFile>(*g_hQVFilo, "QVWriteFile");
    if (!g_pfnQVWriteFile) return 0;
    g_pfnQVReadFile = plat::GetProc<maker::PFN_QVReadFile>(*g_hQVFilo, "QVReadFile");
    if (!g_pfnQVReadFile) return 0;
    return 1;
}

void UnbindQVFilo() { g_hQVFilo.reset(); }

bool IsQVFiloBound() { return g_hQVFilo && g_pfnQVWriteFile && g_pfnQVReadFile; }

int SendPreamble(const std::string& printerName) {
    if (!IsQVFiloBound()) return 0;
    NameBuffer name;
    if (!name.Set(printerName)) return 0;
    uint32_t count = 0;
    return g_pfnQVWriteFile(name.data(), 0, kPreamble, sizeof kPreamble, &count, kQVWriteTimeout) !=
                   0
               ? 1
               : 0;
}

QueryResult QueryPrinterInfo(const std::string& printerName, PrinterInfo& info) {
    if (!IsQVFiloBound()) return QueryResult::WriteFailed;
    NameBuffer name;
    if (!name.Set(printerName)) return QueryResult::WriteFailed;
    // One count variable serves all three calls; it is never read. The name buffer is writable
    // for the library, so it is filled afresh before each call.
    uint32_t count = 0;
    auto write = [&](const uint8_t* command) {
        name.Set(printerName);
        return g_pfnQVWriteFile(name.data(), 0, command, 4, &count, kQVWriteTimeout) != 0;
    };
    if (!write(kPreamble)) return QueryResult::WriteFailed;
    if (!write(kInfoRequest)) return QueryResult::WriteFailed;
    PrinterInfoReply reply;
    std::memset(reply.bytes, 0, sizeof reply.bytes);
    name.Set(printerName);
    if (g_pfnQVReadFile(name.data(), 0, reply.bytes, sizeof reply.bytes, &count, kQVReadTimeout) ==
        0) {
        return QueryResult::ReadFailed;
    }
    info.reply = reply;
    info.strVersion = reply.VersionText();
    info.strSystemInfo = reply.SystemInfoText();
    return QueryResult::Success;
}
