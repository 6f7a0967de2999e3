// The label printer object: a CPrinter for one listed label printer, with the special-tape name
// form and the media part that the label printer drivers add.
#pragma once
#include <cstdint>
#include <string>

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

    // The media part: bit 0 = the media tables are loaded.
    uint32_t m_dwMediaState = 0;
    uint32_t m_dwModelCode = 0;

  protected:
    // Special is 4 when the display name carries the special-tape suffix, else 0. Sets up the
    // media part; never makes the initialisation fail.
    void SetUpMedia(int special);
    // Empties the media tables when they are loaded and clears bit 0 of m_dwMediaState.
    void ReleaseMedia();
};
