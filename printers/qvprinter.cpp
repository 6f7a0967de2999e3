#include "printers/qvprinter.h"

#include <cstring>

#include "platform/platform.h"

namespace {
constexpr uint32_t kSpecialTapeStringId = 10000;
constexpr int kSpecialTape = 4;
}  // namespace

CQVPrinter::CQVPrinter() = default;

CQVPrinter::~CQVPrinter() {
    if (m_dwMediaState & 1) Release();
}

int CQVPrinter::Initialize(const char* name) {
    if (!name || !*name) return 0;
    // A name that does not fit the display name field is refused rather than cut.
    if (!CopyNameField(m_szDisplayName, name)) return 0;
    int special = HasSpecialTapeSuffix(m_szDisplayName) ? kSpecialTape : 0;
    std::memcpy(m_szPrinterName, m_szDisplayName, kNameField);
    StripSpecialTapeSuffix(m_szPrinterName);
    if (!Open(m_szPrinterName)) return 0;
    SetUpMedia(special);
    return 1;
}

int CQVPrinter::Open(const char* printerName) {
    if (!CopyNameField(m_szPrinterName, printerName)) return 0;
    if (!ReadPrinterInfo()) return 0;
    m_dwState |= 1;
    return LoadCapabilities() ? 1 : 0;
}

void CQVPrinter::Release() {
    ReleaseMedia();
    ReleaseDevMode();
}

std::string CQVPrinter::GetSpecialTapeSuffix() {
    std::string text = plat::Get().ui ? plat::Ui().LoadString(kSpecialTapeStringId) : std::string();
    if (text.empty()) text = "Special Tape";
    return "(" + text + ")";
}

int CQVPrinter::HasSpecialTapeSuffix(const char* text) {
    if (!text) return 0;
    return std::strstr(text, GetSpecialTapeSuffix().c_str()) ? 1 : 0;
}

void CQVPrinter::StripSpecialTapeSuffix(char* text) {
    if (!text) return;
    if (char* at = std::strstr(text, GetSpecialTapeSuffix().c_str())) *at = '\0';
}
