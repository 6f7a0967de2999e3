// The media part of the label printer object: the driver information library's answers, the
// tape, form and feed tables, the print option flags and the label geometry in dots.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "device/devmode.h"
#include "device/infolib.h"
#include "device/options.h"
#include "platform/maker_api.h"
#include "platform/platform.h"
#include "platform/wintypes.h"
#include "printers/qvprinter.h"

namespace {

constexpr int kSpecialTape = 4;
constexpr uint16_t kValidatingBit = 4;
constexpr int32_t kCopiesCap = 5000;

// Resizes a table to a count the driver or library answered; false when it cannot be held.
template <class T>
bool ResizeTable(std::vector<T>& table, int32_t count) {
    if (count < 0) return false;
    try {
        table.resize(size_t(count));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

// A zero-filled buffer of count records of `size` bytes; empty when it cannot be had.
std::vector<uint8_t> RecordBuffer(int32_t count, size_t size) {
    std::vector<uint8_t> buffer;
    if (count <= 0 || size_t(count) > std::numeric_limits<size_t>::max() / size) return buffer;
    try {
        buffer.assign(size_t(count) * size, 0);
    } catch (const std::bad_alloc&) {
        buffer.clear();
    } catch (const std::length_error&) {  // beyond what a 32-bit process can ask for
        buffer.clear();
    }
    return buffer;
}

int16_t Low16(int32_t value) { return static_cast<int16_t>(uint32_t(value) & 0xFFFF); }
int16_t High16(int32_t value) { return static_cast<int16_t>(uint32_t(value) >> 16); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Settings block access.

const uint8_t* CQVPrinter::PrivateArea(size_t& length) const {
    devmode::View dm = DevMode();
    auto size = dm.Size();
    length = 0;
    if (!size || *size >= dm.length()) return nullptr;
    length = dm.length() - *size;
    return dm.data() + *size;
}

namespace {

// Writes a 16-bit public field only when the public part of the block holds it.
void WritePublic16(CPrinter& printer, size_t offset, int16_t value) {
    if (!printer.DevMode().Raw16(offset)) return;
    devmode::Write<int16_t>(printer.DevModeBytes(), printer.DevModeLength(), offset, value);
}

void AddFields(CPrinter& printer, uint32_t bits) {
    devmode::View dm = printer.DevMode();
    if (!dm.Raw16(devmode::kFields + 2)) return;
    devmode::Write<uint32_t>(printer.DevModeBytes(), printer.DevModeLength(), devmode::kFields,
                             dm.Fields() | bits);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Driver information library.

int CQVPrinter::QueryInfoLibrary() {
    m_dwDriverFlags = 0;
    if (FindInfoLibrary(m_szDriverName, m_szInfoDll, kNameField) == infolib::kNoLibrary) return 0;
    std::unique_ptr<plat::IModule> module = plat::Modules().LoadLibrary(m_szInfoDll);
    if (!module) return 0;
    auto query = plat::GetProc<maker::PFN_MyDeviceCapabilities>(*module, infolib::kExport);
    if (!query) return 1;

    const void* settings = m_pDevMode.get();
    auto ask = [&](const char* device, uint32_t capability, uint8_t* output) {
        return query(device, m_szPortName, capability, reinterpret_cast<char*>(output), settings);
    };

    int32_t flags = ask(m_szDriverName, infolib::kCapDriverFlags, nullptr);
    m_dwDriverFlags = flags == -1 ? 0 : uint32_t(flags);

    int32_t tapes = ask(m_szDriverName, infolib::kCapTapes, nullptr);
    if (tapes != -1 && ResizeTable(m_arrTapes, tapes) && tapes > 0) {
        std::vector<uint8_t> buffer = RecordBuffer(tapes, media::kTapeSize);
        if (!buffer.empty()) {
            ask(m_szPrinterName, infolib::kCapTapes, buffer.data());
            for (size_t i = 0; i < m_arrTapes.size(); ++i) {
                size_t at = i * media::kTapeSize;
                media::ReadTape(buffer.data() + at, buffer.size() - at, m_arrTapes[i]);
                if (m_arrTapes[i].nTapeClass > 1) m_wMediaFlags |= 0x200;
            }
        }
    }

    int32_t feeds = ask(m_szDriverName, infolib::kCapFeeds, nullptr);
    if (feeds != -1 && ResizeTable(m_arrFeeds, feeds) && feeds > 0) {
        std::vector<uint8_t> buffer = RecordBuffer(feeds, media::kFeedSize);
        if (!buffer.empty()) {
            ask(m_szPrinterName, infolib::kCapFeeds, buffer.data());
            for (size_t i = 0; i < m_arrFeeds.size(); ++i) {
                size_t at = i * media::kFeedSize;
                media::ReadFeed(buffer.data() + at, buffer.size() - at, m_arrFeeds[i]);
            }
        }
    }

    TapeMargins();
    if (m_arrFeeds.empty()) {
        m_feedCurrent.nKey = 0;
    } else {
        m_feedCurrent = m_arrFeeds.back();
        int16_t first = m_arrFeeds.front().nMargin;
        if (m_extent.nMargin2 != 0 && first < m_extent.nMargin2)
            m_extent.nMargin2 = m_extent.nMargin4 = first;
    }

    DeriveOptionMask();
    m_nColors = 1;
    if (m_dwDriverFlags & 0x1000000) {
        int32_t colors = ask(m_szDriverName, infolib::kCapColors, nullptr);
        if (colors != -1) m_nColors = int32_t(uint32_t(colors) & 0xFFFF);
    }
    int32_t origin = ask(m_szDriverName, infolib::kCapOrigin, nullptr);
    if (origin != -1) m_pointOrigin = CPoint{Low16(origin), High16(origin)};
    int32_t offset = ask(m_szDriverName, infolib::kCapOffset, nullptr);
    if (offset != -1) m_pointOffset = CPoint{Low16(offset), High16(offset)};
    int32_t cap276 = ask(m_szDriverName, infolib::kCap276, nullptr);
    m_nCap276 = cap276 == -1 ? 1 : static_cast<int16_t>(cap276);

    int32_t model = ask(m_szDriverName, infolib::kCapModelCode, nullptr);
    if (model == -1) {
        m_dwModelCode = 0;
    } else {
        m_dwModelCode = uint32_t(model);
        // A private area too short to hold the special-tape value is not read.
        auto specialTape = DevMode().Private<uint16_t>(media::kPrivSpecialTape);
        if ((m_dwDriverFlags & infolib::kSpecialTapeSupport) && specialTape &&
            *specialTape == kSpecialTape)
            m_dwModelCode |= 0x10000;
    }

    if (m_dwDriverFlags & 0x10000000) {
        char kind = char(m_dwModelCode & 0xFF);
        m_nMediaKind = kind == '1' ? 10 : kind == '2' ? 2 : 0;
    } else {
        m_nMediaKind = (m_dwDriverFlags & 0x20000) ? 10 : 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Media tables.

int CQVPrinter::LoadPaperTable(bool split) {
    int32_t count = QueryCapability(win::DC_PAPERNAMES);
    if (count == 0 || count == -1) return 0;
    if (!ResizeTable(m_arrTapes, count)) return 0;

    constexpr size_t kNameSlot = 64;
    std::vector<uint8_t> names = RecordBuffer(count, kNameSlot);
    if (names.empty()) return 0;
    QueryCapability(win::DC_PAPERNAMES, names.data(), names.size());
    for (size_t i = 0; i < m_arrTapes.size(); ++i)
        media::SetTapeNames(m_arrTapes[i], reinterpret_cast<const char*>(&names[i * kNameSlot]),
                            kNameSlot, split);

    // The size and code tables hold as many entries as there are names: a driver answering more
    // is never taken beyond that count.
    std::vector<uint8_t> sizes = RecordBuffer(count, 8);
    if (sizes.empty()) return 0;
    int32_t points = QueryCapability(win::DC_PAPERSIZE, sizes.data(), sizes.size());
    size_t n = points > 0 ? std::min<size_t>(size_t(points), m_arrTapes.size()) : 0;
    for (size_t i = 0; i < n; ++i) {
        _TAPELIST& t = m_arrTapes[i];
        t.nWidthTenths = *devmode::Read<int16_t>(sizes.data(), sizes.size(), i * 8);
        t.nLengthTenths = *devmode::Read<int16_t>(sizes.data(), sizes.size(), i * 8 + 4);
        t.nReserved10 = t.nReserved120 = t.nReserved122 = 0;
        t.nTapeClass = 1;
    }

    std::vector<uint8_t> codes = RecordBuffer(count, 2);
    if (codes.empty()) return 0;
    int32_t answered = QueryCapability(win::DC_PAPERS, codes.data(), codes.size());
    size_t m = answered > 0 ? std::min<size_t>(size_t(answered), m_arrTapes.size()) : 0;
    for (size_t i = 0; i < m; ++i) {
        uint16_t code = *devmode::Read<uint16_t>(codes.data(), codes.size(), i * 2);
        m_arrTapes[i].wPaperCode = m_arrTapes[i].wBasePaperCode = code;
    }

    DropUserPapers();
    if ((m_dwDriverFlags & 0x10000000) && (m_dwDriverFlags & 0x100)) KeepCustomPapers();
    MeasureTapes();
    return 1;
}

void CQVPrinter::DropUserPapers() {
    if (m_dwModelCode != 0) return;
    m_arrTapes.erase(std::remove_if(m_arrTapes.begin(), m_arrTapes.end(),
                                    [](const _TAPELIST& t) {
                                        return t.wPaperCode == 256 || t.wPaperCode == 262;
                                    }),
                     m_arrTapes.end());
    auto paper = DevMode().Raw16(devmode::kPaperSize);
    if (paper && *paper == 256 && !m_arrTapes.empty())
        WritePublic16(*this, devmode::kPaperSize, int16_t(m_arrTapes.front().wPaperCode));
}

void CQVPrinter::KeepCustomPapers() {
    if (m_dwModelCode == 0) return;
    m_arrTapes.erase(std::remove_if(m_arrTapes.begin(), m_arrTapes.end(),
                                    [](const _TAPELIST& t) { return t.wPaperCode < 256; }),
                     m_arrTapes.end());
    auto paper = DevMode().Raw16(devmode::kPaperSize);
    if (paper && *paper < 256 && !m_arrTapes.empty())
        WritePublic16(*this, devmode::kPaperSize, int16_t(m_arrTapes.front().wPaperCode));
}

int CQVPrinter::MeasureTapes() {
    devmode::View dm = DevMode();
    const int16_t paper = dm.Raw16(devmode::kPaperSize).value_or(0);
    const int16_t orientation = dm.Raw16(devmode::kOrientation).value_or(0);
    if (m_dwFields & win::DM_SCALE) {
        AddFields(*this, win::DM_SCALE);
        WritePublic16(*this, devmode::kScale, 100);
    }
    if (m_dwFields & win::DM_ORIENTATION) {
        AddFields(*this, win::DM_ORIENTATION);
        WritePublic16(*this, devmode::kOrientation, 1);
    }
    // The held block goes back to the paper and orientation it had on every way out.
    auto restore = [&] {
        AddFields(*this, win::DM_PAPERSIZE);
        WritePublic16(*this, devmode::kPaperSize, paper);
        if (m_dwFields & win::DM_ORIENTATION) {
            AddFields(*this, win::DM_ORIENTATION);
            WritePublic16(*this, devmode::kOrientation, orientation);
        }
    };

    plat::IGdi& gdi = plat::Gdi();
    for (_TAPELIST& t : m_arrTapes) {
        t.nPrintableLength = t.nPrintableWidth = t.nEndMargin = t.nSideMargin = 0;
        t.nLengthDots = t.nWidthDots = 0;
        AddFields(*this, win::DM_PAPERSIZE);
        WritePublic16(*this, devmode::kPaperSize, int16_t(t.wPaperCode));
        auto ic = gdi.CreateIC(m_szDriverName, m_szPrinterName, m_szPortName, m_pDevMode.get());
        if (!ic) {
            restore();
            return 0;
        }
        int32_t point[2] = {0, 0};
        int16_t query = win::GETPHYSPAGESIZE;
        if (ic->Escape(win::QUERYESCSUPPORT, 2, &query, nullptr) > 0 &&
            ic->Escape(win::GETPHYSPAGESIZE, 0, nullptr, point) > 0) {
            t.nWidthDots = int16_t(point[0]);
            t.nLengthDots = int16_t(point[1]);
        }
        point[0] = point[1] = 0;
        query = win::GETPRINTINGOFFSET;
        if (ic->Escape(win::QUERYESCSUPPORT, 2, &query, nullptr) > 0 &&
            ic->Escape(win::GETPRINTINGOFFSET, 0, nullptr, point) > 0) {
            t.nSideMargin = int16_t(point[0]);
            t.nEndMargin = int16_t(point[1]);
            m_extent.nMargin2 = int16_t(point[0]);
            m_extent.nMargin1 = int16_t(point[1]);
        }
        ic.reset();
        t.nPrintableLength = int16_t(t.nLengthDots - 2 * t.nEndMargin);
        t.nPrintableWidth = int16_t(t.nWidthDots - 2 * t.nSideMargin);
    }

    restore();
    if (!gdi.CreateIC(m_szDriverName, m_szPrinterName, m_szPortName, m_pDevMode.get())) return 0;
    m_extent.nMargin3 = m_extent.nMargin1;
    m_extent.nMargin4 = m_extent.nMargin2;
    return 1;
}

int CQVPrinter::LoadForms() {
    size_t length = 0;
    const uint8_t* priv = PrivateArea(length);
    if (m_dwDriverFlags & media::kNewLayout) {
        if (!media::ReadNewLayoutForms(priv, length, m_arrTapes, m_arrForms)) return 1;
    } else if (m_dwDriverFlags & media::kOldLayout) {
        media::ReadOldLayoutForms(priv, length, m_arrTapes, m_arrForms);
    }
    if (!m_arrForms.empty()) m_wMediaFlags |= 0x100;
    return 1;
}

int CQVPrinter::TapeMargins() {
    media::TapeMargins(m_arrTapes, m_extent);
    return 1;
}

void CQVPrinter::MediaExtent() {
    const int64_t resX = m_extent.nResX, resY = m_extent.nResY;
    // A driver's resolution can be any 32-bit value: the dots saturate rather than wrap.
    auto dots = [](int64_t tenths, int64_t resolution) {
        return int32_t(std::clamp<int64_t>(tenths * resolution / 254, INT32_MIN, INT32_MAX));
    };
    int32_t minWidth = dots(m_sizeMinExtent.cx, resX), minLength = dots(m_sizeMinExtent.cy, resY);
    int32_t maxWidth = dots(m_sizeMaxExtent.cx, resX), maxLength = dots(m_sizeMaxExtent.cy, resY);
    if ((m_dwDriverFlags & media::kOldLayout) && !(m_dwDriverFlags & media::kNewLayout)) {
        std::swap(minWidth, minLength);
        std::swap(maxWidth, maxLength);
    }
    m_extent.nMinWidth = minWidth;
    m_extent.nMinLength = minLength;
    m_extent.nMaxWidth = maxWidth;
    m_extent.nMaxLength = maxLength;
    if (minWidth > 0 && minLength > 0 && maxWidth > 0 && maxLength > 0) {
        m_extent.nMinWidth = int32_t(std::min<int64_t>(int64_t(minWidth) + 1, INT32_MAX));
        m_extent.nMinLength = int32_t(std::min<int64_t>(int64_t(minLength) + 4, INT32_MAX));
        return;
    }

    // The dots of 1150 mm at the vertical resolution: larger than any tape. They saturate for a
    // driver's outsize resolution rather than leave the 32-bit range.
    const double startDots =
        std::min(std::max(double(resY) * 45.275590551181104, double(INT32_MIN)), double(INT32_MAX));
    const int32_t start = int32_t(startDots);
    int32_t largestWidth = 0, largestLength = 0, smallestWidth = start, smallestLength = start;
    for (const auto& t : m_arrTapes) {
        largestWidth = std::max<int32_t>(largestWidth, t.nWidthDots);
        largestLength = std::max<int32_t>(largestLength, t.nLengthDots);
        smallestWidth = std::min<int32_t>(smallestWidth, t.nWidthDots);
        smallestLength = std::min<int32_t>(smallestLength, t.nLengthDots);
    }
    if (m_extent.nMaxWidth <= 0) m_extent.nMaxWidth = largestWidth;
    if (m_extent.nMaxLength <= 0) m_extent.nMaxLength = largestLength;
    if (m_extent.nMinWidth <= 0) m_extent.nMinWidth = smallestWidth;
    if (m_extent.nMinLength <= 0) m_extent.nMinLength = smallestLength;
}

const _TAPELIST& CQVPrinter::FindTape(uint16_t code) const {
    return media::FindTape(m_arrTapes, code);
}
const _TAPELIST& CQVPrinter::FindTapeOrBase(uint16_t code) const {
    return media::FindTapeOrBase(m_arrTapes, code);
}
const _TAPELIST& CQVPrinter::FindTapeByBase(uint16_t baseCode, uint16_t tapeClass) const {
    return media::FindTapeByBase(m_arrTapes, baseCode, tapeClass);
}
const _FORM& CQVPrinter::FindForm(uint16_t code) const { return media::FindForm(m_arrForms, code); }
const _FEED& CQVPrinter::FindFeed(uint16_t value) const {
    return media::FindFeed(m_arrFeeds, value);
}

void CQVPrinter::ReleaseMedia() {
    if (m_dwMediaState & 1) {
        m_arrTapes.clear();
        m_arrTapes.shrink_to_fit();
        m_arrForms.clear();
        m_arrForms.shrink_to_fit();
        m_arrFeeds.clear();
        m_arrFeeds.shrink_to_fit();
    }
    m_dwMediaState &= ~uint32_t{1};
}

// ---------------------------------------------------------------------------------------------
// Print option flags.

int CQVPrinter::DefaultOptionMask() {
    m_dwFeatureFlags = 0x51;
    m_wMediaFlags = 9;
    if (m_dwFields & win::DM_COLOR) {
        m_dwOptionMask |= 0x8;
        m_nColors = 0xFFFFFF;
    } else {
        m_nColors = 2;
    }
    return 1;
}

int CQVPrinter::DeriveOptionMask() {
    const uint32_t d = m_dwDriverFlags;
    uint32_t f = (d & 0x200) ? 0x5D : 0x55;
    if (d & 0x10000000) {
        if (d & 0x1) f |= 0x1;
        if (d & 0x8) f &= ~uint32_t{0x4};
        if (d & 0x2) f |= 0x10;
        if (d & 0x20) f |= 0x40;
    } else if (d & 0x8) {
        f &= ~uint32_t{0x55};
    }
    if (m_nMaxCopies == 1) f &= ~uint32_t{0x50};
    if (GetOSVersionClass() == options::kOsWindows9x) f |= 0x100;
    if (d & 0x4) f |= 0x2;
    if (d & 0x20000000) f = (f & ~uint32_t{0x100}) | 0x200;
    if (d & 0x40000000) f |= 0x400;
    if (d & 0x80000000) f |= 0x1800;
    if ((d & 0x10000000) && (d & 0x2000)) f |= 0x4000;
    m_dwFeatureFlags = f;
    m_wMediaFlags |= 0xF;

    uint32_t m = 0;
    if (d & 0x10) m |= 0x1;
    if (d & 0x8000000) m |= 0x2;
    if (d & 0x40) m |= 0x4;
    if (m_dwFields & win::DM_COLOR) m |= 0x8;
    if (d & 0x1000000) m |= 0x40;
    if (d & 0x400) m |= 0x80;
    if (d & 0x800) m |= 0x100;
    if (d & 0x8000) m |= 0x200;
    if ((d & 0x10000000) && (d & 0x1000)) m |= 0x400;
    m_dwOptionMask = m;
    m_nColors = (m & 0x40) ? 4 : (m & 0x8) ? 0xFFFFFF : 2;
    return 1;
}

int CQVPrinter::PrivateAreaValid() const {
    size_t length = 0;
    const uint8_t* priv = PrivateArea(length);
    return media::PrivateAreaValid(priv, length) ? 1 : 0;
}

void CQVPrinter::SyncOptionsFromDevMode() {
    uint32_t o = m_dwOptions;
    uint32_t m = m_dwOptionMask;
    size_t length = 0;
    const uint8_t* priv = PrivateArea(length);
    auto take = [&o](uint32_t bit, bool on) { o = on ? (o | bit) : (o & ~bit); };

    if (m_dwDriverFlags & media::kNewLayout) {
        if (!PrivateAreaValid()) return;
        auto word = devmode::Read<uint32_t>(priv, length, media::kPrivOptions);
        if (!word) return;
        const uint32_t b = *word;
        for (uint32_t bit : {0x1u, 0x2u, 0x4u, 0x40u, 0x80u, 0x100u, 0x200u, 0x400u})
            if (m & bit) take(bit, (b & bit) != 0);
        if (m & 0x8) take(0x8, DevMode().Raw16(devmode::kColor).value_or(0) == 2);
        if (b & 0xF000) {
            o &= ~uint32_t{0xF000};
            m_dwFeatureFlags |= 0x2000;
            m |= 0xF000;
            m_dwOptionMask = m;
            if (b & 0x1000)
                o |= 0x1000;
            else if (b & 0x2000)
                o |= 0x2000;
            else if (b & 0x4000)
                o |= 0x4000;
        }
    } else if (m_dwDriverFlags & media::kOldLayout) {
        if (auto c = devmode::Read<uint8_t>(priv, length, media::kOldOptions)) {
            if (m & 0x1) take(0x1, (*c & 0x40) != 0);
            if (m & 0x2) take(0x2, (*c & 0x40) != 0);
            if (m & 0x4) take(0x4, (*c & 0x80) != 0);
        }
    }
    m_dwOptions = o & m;
}

// ---------------------------------------------------------------------------------------------
// Label media and layout.

void CQVPrinter::SetUpMedia(int special) {
    // The held settings follow the name the printer is listed under: special tape or not.
    if (FindInfoLibrary(m_szPrinterName, m_szInfoDll, kNameField) == infolib::kLibraryChecked) {
        uint8_t* block = DevModeBytes();
        const size_t length = DevModeLength();
        auto current = DevMode().Private<uint16_t>(media::kPrivSpecialTape);
        auto validating = DevMode().Private<uint16_t>(media::kPrivValidating);
        if (current && validating && *current != special) {
            devmode::WritePrivate<uint16_t>(block, length, media::kPrivSpecialTape,
                                            uint16_t(special));
            devmode::WritePrivate<uint16_t>(block, length, media::kPrivValidating,
                                            uint16_t(*validating | kValidatingBit));
            UpdateDevMode(block);
            m_arrResolutions.clear();
            LoadCapabilities();
            if (auto after = DevMode().Private<uint16_t>(media::kPrivValidating))
                devmode::WritePrivate<uint16_t>(block, length, media::kPrivValidating,
                                                uint16_t(*after & ~kValidatingBit));
        }
    }

    m_rectMargins = CRect{};
    m_pointOrigin = CPoint{};
    m_pointOffset = CPoint{};
    m_dwOptions = 0;
    m_dwOptionMask = 0;
    m_dwDriverFlags = 0;
    m_nCap276 = 0;
    m_nMediaKind = 0;
    m_wMediaFlags = 0;
    m_arrForms.clear();

    if (QueryInfoLibrary()) {
        m_dwMediaState |= 1;
        if (m_arrTapes.empty()) LoadPaperTable(true);
        LoadForms();
        SyncOptionsFromDevMode();
    } else {
        LoadStandardMedia();
    }

    m_extent.nResX = m_nResX;
    m_extent.nResY = m_nResY;
    m_nCopiesLimit =
        uint32_t(m_nMaxCopies) < uint32_t(kCopiesCap) ? int16_t(m_nMaxCopies) : int16_t(kCopiesCap);
    if (uint32_t(m_nMaxCopies) > 1 && (m_dwFields & win::DM_COPIES)) m_dwFeatureFlags |= 0x20;
    if (m_nOrientation != 0) m_wMediaFlags |= 0x10;
    MediaExtent();
    ComputeLabelLayout();
}

int CQVPrinter::LoadStandardMedia() {
    DefaultOptionMask();
    if (m_arrTapes.empty() && LoadPaperTable(false)) m_dwMediaState |= 1;
    if (m_nResX == 0) ResolutionFromMedia();
    m_pointOrigin = CPoint{};
    m_pointOffset = CPoint{};
    m_nMediaKind = 2;
    m_nCap276 = 1;
    return 1;
}

void CQVPrinter::ComputeLabelLayout() {
    devmode::View dm = DevMode();
    const uint32_t fields = dm.Fields();
    m_rectOrigin = CRect{m_pointOrigin.x, m_pointOrigin.y, m_pointOrigin.x, m_pointOrigin.y};
    m_sizePage = CSize{};
    m_nLabelOrientation =
        (fields & win::DM_ORIENTATION) ? dm.Raw16(devmode::kOrientation).value_or(0) : int16_t{2};

    const _TAPELIST* tape = &media::ZeroTape();
    if (fields & win::DM_PAPERSIZE) {
        m_nPaperId = uint16_t(dm.Raw16(devmode::kPaperSize).value_or(0));
        tape = &FindTape(m_nPaperId);
        m_dwTapeFlags = tape->dwTapeFlags;
    }

    // A paper width or length of the settings, converted to dots, when dmFields has its bit.
    auto settingDots = [&](size_t offset, uint32_t bit) -> std::optional<int32_t> {
        auto tenths = dm.Field16(offset, bit);
        if (!tenths) return std::nullopt;
        return TenthMmToDotsX(*tenths);
    };

    int32_t width = 0, length = 0;
    if (m_dwDriverFlags & media::kNewLayout) {
        const _FORM& form = FindForm(m_nPaperId);
        size_t privLength = 0;
        const uint8_t* priv = PrivateArea(privLength);
        if (form.wFormCode != 0) {
            tape = &FindTape(form.wPaperCode);
            width = form.nWidthDots;
            length = form.nLengthDots;
        } else if (PrivateAreaValid()) {
            auto u16 = [&](size_t offset) {
                return devmode::Read<uint16_t>(priv, privLength, offset).value_or(0);
            };
            const uint16_t g = u16(media::kPrivLayoutFlags);
            if (g & 0x1) {
                uint16_t tapeClass = (g & 0x20) ? u16(media::kPrivTapeClass) : uint16_t{1};
                tape = &FindTapeByBase(u16(media::kPrivBasePaper), tapeClass);
                m_nPaperId = tape->wPaperCode;
                width = tape->nWidthDots;
                length = tape->nLengthDots;
            }
            if (tape->dwTapeFlags & 0x10) {
                if (m_rectMargins.left == 0 && m_rectMargins.right == 0)
                    m_rectMargins.top = m_rectMargins.bottom = 0;
            } else {
                if (g & 0x2) {
                    if (auto l = devmode::Read<int32_t>(priv, privLength, media::kPrivLength))
                        length = *l;
                }
                if (g & 0x10) {
                    int32_t feed = FindFeed(u16(media::kPrivFeedValue)).nMargin;
                    m_rectMargins.top = std::max(m_rectMargins.top, feed);
                    m_rectMargins.bottom = std::max(m_rectMargins.bottom, feed);
                }
            }
        } else {
            const _TAPELIST& t = FindTape(m_nPaperId);
            width = t.nWidthDots;
            length = t.nLengthDots;
            if (auto l = settingDots(devmode::kPaperLength, win::DM_PAPERLENGTH)) length = *l;
        }
    } else if (m_dwDriverFlags & media::kOldLayout) {
        auto w = settingDots(devmode::kPaperWidth, win::DM_PAPERWIDTH);
        auto l = settingDots(devmode::kPaperLength, win::DM_PAPERLENGTH);
        if (m_nLabelOrientation != 1) std::swap(w, l);
        width = w.value_or(0);
        length = l.value_or(0);
    } else {
        const _TAPELIST& t = FindTape(m_nPaperId);
        width = t.nWidthDots;
        length = t.nLengthDots;
        if (auto w = settingDots(devmode::kPaperWidth, win::DM_PAPERWIDTH)) width = *w;
        if (auto l = settingDots(devmode::kPaperLength, win::DM_PAPERLENGTH)) length = *l;
    }
    m_sizePage = CSize{width, length};

    const int32_t s = tape->nSideMargin, e = tape->nEndMargin;
    const int32_t w = tape->nWidthDots, pw = tape->nPrintableWidth;
    const int32_t h = tape->nLengthDots, pl = tape->nPrintableLength;
    if (tape->dwTapeFlags & 0x10) {
        m_rectTape = CRect{s, e, s, e};
        m_rectMargins.left = std::max(m_rectMargins.left, s);
        m_rectMargins.top = std::max(m_rectMargins.top, e);
        m_rectMargins.right = std::max(m_rectMargins.right, s);
        m_rectMargins.bottom = std::max(m_rectMargins.bottom, e);
    } else if (!m_arrFeeds.empty()) {
        int32_t f = m_arrFeeds.front().nMargin;
        m_rectTape = CRect{s, f, w - pw - s, f};
    } else {
        m_rectTape = CRect{s, e, w - pw - s, h - pl - e};
    }

    if (tape->dwTapeFlags & 0x80) {
        m_rectOrigin = CRect{};
        m_rectPrintable = m_rectTape;
    } else {
        m_rectPrintable =
            CRect{m_rectTape.left + m_pointOffset.x, m_rectTape.top + m_pointOffset.y,
                  m_rectTape.right + m_pointOffset.x, m_rectTape.bottom + m_pointOffset.y};
    }

    m_nTapeClass = tape->nTapeClass == 0 ? 1 : tape->nTapeClass;
    if (m_nTapeClass > 1) {
        const _TAPELIST& base = FindTapeOrBase(m_nPaperId);
        int32_t bs = base.nSideMargin;
        m_rectPrintable.left = std::max(m_rectPrintable.left, bs);
        m_rectPrintable.right =
            std::max(m_rectPrintable.right, int32_t{base.nWidthDots} - base.nPrintableWidth - bs);
    }

    m_rectMargins.left = std::max(m_rectMargins.left, m_rectPrintable.left);
    m_rectMargins.top = std::max(m_rectMargins.top, m_rectPrintable.top);
    m_rectMargins.right = std::max(m_rectMargins.right, m_rectPrintable.right);
    m_rectMargins.bottom = std::max(m_rectMargins.bottom, m_rectPrintable.bottom);
    m_rectMargins.left = m_rectPrintable.left;
    m_rectMargins.right = m_rectPrintable.right;
}

int CQVPrinter::ResolutionFromMedia() {
    if (m_arrTapes.empty()) return 0;
    const _TAPELIST& t = m_arrTapes.front();
    // The dpi a tape's size gives: dots x 254 / tenths of a millimetre. A size of 0 gives none.
    if (t.nWidthTenths == 0 || t.nLengthTenths == 0) return 0;
    const int32_t h = int32_t{t.nWidthDots} * 254 / t.nWidthTenths;
    const int32_t v = int32_t{t.nLengthDots} * 254 / t.nLengthTenths;
    if (m_arrResolutions.empty()) {
        auto round10 = [](int32_t dpi) {
            int32_t r = (dpi + 5) / 10 * 10;
            return (dpi + 5) % 10 < 0 ? r - 10 : r;  // floor for negative values
        };
        m_nResX = round10(h);
        m_nResY = round10(v);
        return 0;
    }
    size_t best = 0;
    int64_t bestProduct = std::numeric_limits<int64_t>::max();
    for (size_t i = 0; i < m_arrResolutions.size(); ++i) {
        // The differences are taken in 64 bits: a driver's resolution can be any 32-bit value.
        int64_t product =
            (int64_t{m_arrResolutions[i].cx} - h) * (int64_t{m_arrResolutions[i].cy} - v);
        if (product <= bestProduct) {
            bestProduct = product;
            best = i;
        }
    }
    m_nResX = m_arrResolutions[best].cx;
    m_nResY = m_arrResolutions[best].cy;
    return 1;
}
