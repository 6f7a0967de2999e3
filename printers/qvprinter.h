// The label printer object: a CPrinter for one listed label printer, with the special-tape name
// form and the media part that the label printer drivers add.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "device/media.h"
#include "device/printer.h"

class CQVPrinter : public CPrinter {
  public:
    CQVPrinter();
    ~CQVPrinter() override;

    // Builds the object for the printer listed under `name` (null or empty fails). 1 / 0.
    int Initialize(const char* name);
    // Opens the Windows printer `printerName`: names, settings block and capabilities. 1 / 0.
    int Open(const char* printerName);
    // Releases the media part and the held settings block.
    void Release();

    // "(" + string 10000 + ")", or "(Special Tape)" when the resources hold no such string.
    static std::string GetSpecialTapeSuffix();
    // 1 when the suffix occurs anywhere in text (byte-wise).
    static int HasSpecialTapeSuffix(const char* text);
    // Cuts text at the first occurrence of the suffix.
    static void StripSpecialTapeSuffix(char* text);

    // Driver information library (see device/infolib.h). 0 = no library found or it could not
    // be loaded; 1 = library loaded.
    int QueryInfoLibrary();
    // The model code when the media tables are loaded, else null.
    const uint32_t* GetModelCode() const { return (m_dwMediaState & 1) ? &m_dwModelCode : nullptr; }

    // Media tables (device/media.h).
    int LoadPaperTable(bool split);
    void DropUserPapers();
    void KeepCustomPapers();
    int MeasureTapes();
    int LoadForms();
    int TapeMargins();
    void MediaExtent();
    const _TAPELIST& FindTape(uint16_t paperCode) const;
    const _TAPELIST& FindTapeOrBase(uint16_t paperCode) const;
    const _TAPELIST& FindTapeByBase(uint16_t baseCode, uint16_t tapeClass) const;
    const _FORM& FindForm(uint16_t formCode) const;
    const _FEED& FindFeed(uint16_t value) const;

    // Print option flags.
    int DefaultOptionMask();
    int DeriveOptionMask();
    int PrivateAreaValid() const;
    void SyncOptionsFromDevMode();

    // Label media and layout.
    int LoadStandardMedia();
    void ComputeLabelLayout();
    // The resolution from the first tape's size in dots and in tenths of a millimetre; 1 when
    // it was chosen from the enumerated resolutions, else 0.
    int ResolutionFromMedia();

    // The media part, in declaration order. Bit 0 of m_dwMediaState: the media tables are
    // loaded.
    uint32_t m_dwMediaState = 0;
    char m_szInfoDll[kNameField] = {};
    uint16_t m_nPaperId = 0;
    int16_t m_nLabelOrientation = 0;
    CSize m_sizePage;
    CRect m_rectMargins;
    int32_t m_nTapeClass = 0;
    CRect m_rectPrintable;
    CRect m_rectTape;
    CRect m_rectOrigin;
    uint32_t m_dwTapeFlags = 0;
    uint32_t m_dwOptionMask = 0;
    uint32_t m_dwOptions = 0;
    uint32_t m_dwOptionsRead = 0;
    uint32_t m_dwDriverFlags = 0;
    std::vector<_FEED> m_arrFeeds;
    CPoint m_pointOrigin;
    CPoint m_pointOffset;
    int16_t m_nCap276 = 0;
    int16_t m_nMediaKind = 0;
    uint32_t m_dwModelCode = 0;
    std::vector<_TAPELIST> m_arrTapes;
    std::vector<_FORM> m_arrForms;
    uint16_t m_wMediaFlags = 0;
    int16_t m_nCopiesLimit = 0;
    int32_t m_nColors = 0;
    uint32_t m_dwFeatureFlags = 0;
    _MEDIAEXTENT m_extent;
    _FEED m_feedCurrent;

  protected:
    // Special is 4 when the display name carries the special-tape suffix, else 0. Sets up the
    // media part; never makes the initialisation fail.
    void SetUpMedia(int special);
    // Empties the media tables when they are loaded and clears bit 0 of m_dwMediaState.
    void ReleaseMedia();

  private:
    // The driver-private part of the held settings block and its length (0 when none).
    const uint8_t* PrivateArea(size_t& length) const;
};
