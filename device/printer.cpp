#include "device/printer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/wintypes.h"

bool CopyNameField(char (&field)[kNameField], const char* name) {
    if (!name) name = "";
    size_t length = std::strlen(name);
    if (length >= kNameField) return false;
    // memmove: the label printer opens its own m_szPrinterName, so source and field can be one.
    std::memmove(field, name, length + 1);
    return true;
}

namespace {

// Opens a queue by its name. An empty name names no queue (a special-tape name whose suffix
// stands at its start leaves one): the spooler would take it for the print server itself.
std::unique_ptr<plat::IPrinterHandle> OpenQueue(const char* name) {
    if (!name || !*name) return nullptr;
    return plat::Spooler().OpenPrinter(name);
}

// Reads the level-2 record of an opened queue into `info`; the record's names point into it.
bool ReadInfo2(plat::IPrinterHandle& handle, std::unique_ptr<uint8_t[]>& info,
               plat::PrinterInfo2& record) {
    uint32_t needed = 0;
    handle.GetPrinter2(nullptr, 0, &needed);
    // A size that cannot hold the record itself would have the record read past the buffer.
    if (needed < plat::Spooler().Info2Size()) return false;
    info.reset(new (std::nothrow) uint8_t[needed]());
    if (!info || !handle.GetPrinter2(info.get(), needed, &needed)) return false;
    record = plat::Spooler().Info2At(info.get(), 0);
    return true;
}

}  // namespace

bool ReadQueueDriverName(const char* queue, std::string& driver) {
    auto handle = OpenQueue(queue);
    std::unique_ptr<uint8_t[]> info;
    plat::PrinterInfo2 record;
    if (!handle || !ReadInfo2(*handle, info, record) || !record.pDriverName) return false;
    driver = record.pDriverName;
    return true;
}

CPrinter::CPrinter() = default;

// The owner releases the settings block first; should it not, the buffer still goes here.
CPrinter::~CPrinter() = default;

int CPrinter::ReadPrinterInfo() {
    auto handle = OpenQueue(m_szPrinterName);
    if (!handle) return 0;

    // Without the record there are no driver and port names to go on.
    std::unique_ptr<uint8_t[]> info;
    plat::PrinterInfo2 record;
    if (!ReadInfo2(*handle, info, record)) return 0;
    // Names are taken only when all of them fit: a cut name would address something else.
    char driver[kNameField], port[kNameField], server[kNameField];
    if (!CopyNameField(driver, record.pDriverName) || !CopyNameField(port, record.pPortName))
        return 0;
    if (record.pServerName && !CopyNameField(server, record.pServerName)) return 0;
    std::memcpy(m_szDriverName, driver, kNameField);
    std::memcpy(m_szPortName, port, kNameField);
    if (record.pServerName) std::memcpy(m_szServerName, server, kNameField);

    int32_t size = handle->DocumentProperties(m_szPrinterName, nullptr, nullptr, 0);
    handle.reset();

    // The size and the block always go together, so that no read can trust a size whose block
    // was never allocated. A size answer of 0 or below gives no block to hold.
    m_pDevMode.reset();
    m_nDevModeSize = size;
    if (m_nDevModeSize <= 0) return 0;
    // A driver fills at least the public part whatever size it answered, so the block never
    // holds less than that; reads stay within the size answered.
    m_pDevMode.reset(new (std::nothrow)
                         uint8_t[std::max(size_t(m_nDevModeSize), devmode::kPublicSize)]());
    if (!m_pDevMode) return 0;
    GetDefaultDevMode();
    return 1;
}

namespace {
int DocumentPropertiesResult(int32_t answer) {
    return (answer <= 0 || answer == win::IDCANCEL) ? 0 : 1;
}
}  // namespace

int CPrinter::GetDefaultDevMode() {
    if (!m_pDevMode) return 0;
    auto handle = OpenQueue(m_szPrinterName);
    if (!handle) return 0;
    return DocumentPropertiesResult(
        handle->DocumentProperties(m_szPrinterName, m_pDevMode.get(), nullptr, win::DM_OUT_BUFFER));
}

int CPrinter::UpdateDevMode(const void* input) {
    if (!m_pDevMode) return 0;
    auto handle = OpenQueue(m_szPrinterName);
    if (!handle) return 0;
    return DocumentPropertiesResult(handle->DocumentProperties(
        m_szPrinterName, m_pDevMode.get(), input, win::DM_IN_BUFFER | win::DM_OUT_BUFFER));
}

int32_t CPrinter::QueryCapability(uint16_t index, void* output, size_t outputSize) {
    return plat::Spooler().DeviceCapabilities(m_szPrinterName, m_szPortName, index, output,
                                              outputSize, m_pDevMode.get());
}

namespace {
// DC_MINEXTENT / DC_MAXEXTENT: width in the low and length in the high 16 bits.
CSize UnpackExtent(int32_t answer, bool isMinimum) {
    uint32_t bits = static_cast<uint32_t>(answer);
    CSize size{int32_t(bits & 0xFFFF), int32_t(bits >> 16)};
    if (answer == -1 || (size.cx == 0 && size.cy != 0)) return {};
    if (isMinimum && answer == 0x7FFF7FFF) return {};
    return size;
}
}  // namespace

int CPrinter::LoadCapabilities() {
    int32_t fields = QueryCapability(win::DC_FIELDS);
    if (fields == -1) return 0;
    m_dwFields = static_cast<uint32_t>(fields);

    int32_t count = QueryCapability(win::DC_ENUMRESOLUTIONS);
    if (count > 0) {
        // The buffer is sized from the count; a driver answering more pairs on the fill is cut
        // to the count, one answering fewer gives only those.
        std::vector<int32_t> pairs;
        try {
            pairs.assign(size_t(count) * 2, 0);
        } catch (const std::bad_alloc&) {
            pairs.clear();
        } catch (const std::length_error&) {  // a count beyond a 32-bit process's address space
            pairs.clear();
        }
        if (!pairs.empty()) {
            int32_t filled = QueryCapability(win::DC_ENUMRESOLUTIONS, pairs.data(),
                                             pairs.size() * sizeof(int32_t));
            if (filled >= 0) {
                int32_t n = std::min(count, filled);
                m_arrResolutions.resize(size_t(n));
                for (int32_t i = 0; i < n; ++i)
                    m_arrResolutions[size_t(i)] =
                        CSize{pairs[size_t(i) * 2], pairs[size_t(i) * 2 + 1]};
                SortResolutions(m_arrResolutions);
            }
        }
    }

    devmode::View dm = DevMode();
    auto quality = dm.Field16(devmode::kPrintQuality, win::DM_PRINTQUALITY);
    auto yResolution = dm.Field16(devmode::kYResolution, win::DM_YRESOLUTION);
    auto fromYResolution = [&] {
        m_nResY = *yResolution;
        if (auto rawQuality = dm.Raw16(devmode::kPrintQuality)) m_nResX = *rawQuality;
    };
    size_t n = m_arrResolutions.size();
    if (n == 1) {
        m_nResX = m_arrResolutions[0].cx;
        m_nResY = m_arrResolutions[0].cy;
    } else if (n > 1) {
        if (quality && *quality >= -4 && *quality <= -1) {
            SelectResolutionByQuality(*quality);
        } else if (yResolution) {
            fromYResolution();
        } else if (quality) {
            m_nResX = m_nResY = *quality;
        }
    } else {
        if (yResolution) {
            fromYResolution();
        } else if (quality && *quality > 0) {
            m_nResX = m_nResY = *quality;
        }
    }

    m_sizeMaxExtent = UnpackExtent(QueryCapability(win::DC_MAXEXTENT), false);
    m_sizeMinExtent = UnpackExtent(QueryCapability(win::DC_MINEXTENT), true);

    int32_t orientation = QueryCapability(win::DC_ORIENTATION);
    if (orientation != -1 && orientation != 0)
        m_nOrientation = static_cast<int16_t>(static_cast<uint32_t>(orientation) & 0xFFFF);
    int32_t copies = QueryCapability(win::DC_COPIES);
    if (copies != -1 && copies != 0) m_nMaxCopies = copies;
    return 1;
}

void CPrinter::SortResolutions(std::vector<CSize>& resolutions) {
    // Products are 32-bit, wrapping as the driver's own arithmetic would.
    auto product = [](const CSize& s) {
        return static_cast<int32_t>(static_cast<uint32_t>(s.cx) * static_cast<uint32_t>(s.cy));
    };
    std::stable_sort(resolutions.begin(), resolutions.end(),
                     [&](const CSize& a, const CSize& b) { return product(a) < product(b); });
}

void CPrinter::SelectResolutionByQuality(int16_t quality) {
    size_t n = m_arrResolutions.size();
    if (n < 2) return;
    auto take = [&](size_t i) {
        m_nResX = m_arrResolutions[i].cx;
        m_nResY = m_arrResolutions[i].cy;
    };
    if (quality == -4) {
        take(n - 1);
    } else if (quality == -1) {
        take(0);
    } else if (n >= 4) {
        take(quality == -3 ? 1 : 2);
    } else if (n == 2) {
        take(0);
    } else {
        m_nResX = m_nResY = 0;
    }
}

int CPrinter::GetDisplayName(char* dest, uint16_t n) const {
    if (!(m_dwState & 1)) return 0;
    if (!dest || n == 0) return 1;
    size_t count = std::min<size_t>(n, kNameField) - 1;
    size_t length = std::strlen(m_szDisplayName);
    size_t copy = std::min(length, count);
    // When the name is cut, the cut does not split a double-byte character.
    if (copy < length && plat::Get().system) {
        size_t safe = 0;
        while (safe < copy) {
            size_t step = plat::System().IsDBCSLeadByte(uint8_t(m_szDisplayName[safe])) ? 2 : 1;
            if (safe + step > copy) break;
            safe += step;
        }
        copy = safe;
    }
    std::memcpy(dest, m_szDisplayName, copy);
    std::memset(dest + copy, 0, count + 1 - copy);
    return 1;
}

int32_t CPrinter::TenthMmToDotsX(int16_t tenthMm) const {
    // A driver's resolution can be any 32-bit value: the result saturates rather than leave the
    // range of the 32-bit answer (converting such a double would be undefined).
    double dots = double(m_nResX) * double(tenthMm) / 254.0 + 0.5;
    dots = std::min(std::max(dots, double(INT32_MIN)), double(INT32_MAX));
    return static_cast<int32_t>(dots);
}

void CPrinter::ReleaseDevMode() {
    m_arrResolutions.clear();
    m_pDevMode.reset();
    m_dwState &= ~uint32_t{1};
}
