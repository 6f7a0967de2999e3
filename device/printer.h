// The generic printer object: one Windows printer queue known by name, the driver's settings
// block held for the object's life, and the driver capabilities the tool needs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/devmode.h"

// A size or point in two signed 32-bit values.
struct CSize {
    int32_t cx = 0;
    int32_t cy = 0;
    friend bool operator==(const CSize& a, const CSize& b) { return a.cx == b.cx && a.cy == b.cy; }
};

// Names are held in fixed fields of this many bytes: at most 259 characters and a terminator.
constexpr size_t kNameField = 260;

// Copies a name into a fixed name field. A name that does not fit (260 bytes or more) is not cut:
// the field is left unchanged and the answer is false, since a cut printer name would address
// another queue. A null name counts as empty.
bool CopyNameField(char (&field)[kNameField], const char* name);

// The driver name the spooler gives now for the queue of this name; false when the queue cannot
// be opened or read.
bool ReadQueueDriverName(const char* queue, std::string& driver);

class CPrinter {
  public:
    CPrinter();
    virtual ~CPrinter();
    CPrinter(const CPrinter&) = delete;
    CPrinter& operator=(const CPrinter&) = delete;

    // Reads the driver, port and server names and the driver's settings block for
    // m_szPrinterName. The caller sets bit 0 of m_dwState after success. 1 / 0.
    int ReadPrinterInfo();
    // The driver writes its current settings into the held block. 1 / 0.
    int GetDefaultDevMode();
    // The driver merges `input` (a settings block, possibly the held one) into its settings and
    // writes the validated result into the held block. 1 / 0.
    int UpdateDevMode(const void* input);
    // DeviceCapabilitiesA for this printer with the held settings; -1 (not answered) passes
    // through. outputSize is the size in bytes of `output`.
    int32_t QueryCapability(uint16_t index, void* output = nullptr, size_t outputSize = 0);
    // Supported fields, resolutions, extents, orientation and copy limit. 0 when the driver does
    // not answer DC_FIELDS.
    int LoadCapabilities();
    // Copies the display name into dest (at most min(n, 260) - 1 bytes, the rest of that count
    // zero-filled); 0 when no settings are held.
    int GetDisplayName(char* dest, uint16_t n) const;
    // A length in tenths of a millimetre as horizontal dots, rounded half up.
    int32_t TenthMmToDotsX(int16_t tenthMm) const;
    // Empties the resolutions and frees the held settings block (exactly once).
    void ReleaseDevMode();

    // Ascending by x*y; equal products keep their order.
    static void SortResolutions(std::vector<CSize>& resolutions);
    // Picks m_nResX/m_nResY from m_arrResolutions (two or more entries) for a DMRES_* quality.
    void SelectResolutionByQuality(int16_t quality);

    // A bounded view of the held settings block (empty when none is held).
    devmode::View DevMode() const {
        return devmode::View(m_pDevMode.get(), m_pDevMode ? size_t(m_nDevModeSize) : 0);
    }
    // The held block and its length, for writes through devmode::Write / WritePrivate.
    uint8_t* DevModeBytes() { return m_pDevMode.get(); }
    size_t DevModeLength() const { return m_pDevMode ? size_t(m_nDevModeSize) : 0; }

    // Fields, in the order of the data model.
    uint32_t m_dwState = 0;  // bit 0: settings block held
    char m_szDisplayName[kNameField] = {};
    char m_szPrinterName[kNameField] = {};
    char m_szDriverName[kNameField] = {};
    char m_szPortName[kNameField] = {};
    std::vector<CSize> m_arrResolutions;
    CSize m_sizeMinExtent;
    CSize m_sizeMaxExtent;
    int16_t m_nOrientation = 0;
    int32_t m_nMaxCopies = 0;
    uint32_t m_dwFields = 0;
    int32_t m_nDevModeSize = 0;
    // The settings block (the document's movable global memory), m_nDevModeSize bytes.
    std::unique_ptr<uint8_t[]> m_pDevMode;
    char m_szServerName[kNameField] = {};
    int32_t m_nResX = 0;
    int32_t m_nResY = 0;
};
