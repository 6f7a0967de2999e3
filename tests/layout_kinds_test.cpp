// The label geometry for the three kinds of driver, the resolution taken from the media and the
// media extent in dots.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "media_fixture.h"

namespace {

using mediatest::Put16;
using mediatest::Put32;

_TAPELIST Tape(uint16_t code, int16_t w, int16_t h, int16_t s, int16_t e, int16_t pw, int16_t pl,
               uint32_t flags = 0, uint16_t base = 0, uint8_t tapeClass = 1) {
    _TAPELIST t;
    t.wPaperCode = code;
    t.nWidthDots = w;
    t.nLengthDots = h;
    t.nSideMargin = s;
    t.nEndMargin = e;
    t.nPrintableWidth = pw;
    t.nPrintableLength = pl;
    t.dwTapeFlags = flags;
    t.wBasePaperCode = base ? base : code;
    t.nTapeClass = tapeClass;
    return t;
}

// A printer at 300 dpi holding a settings block with these public fields.
void Prepare(CQVPrinter& p, uint32_t fields, int paper, int orientation, int width, int length,
             size_t privateBytes = 8) {
    std::vector<uint8_t> block = mediatest::DevModeBlock(fields, privateBytes);
    Put16(block, devmode::kPaperSize, paper);
    Put16(block, devmode::kOrientation, orientation);
    Put16(block, devmode::kPaperWidth, width);
    Put16(block, devmode::kPaperLength, length);
    mediatest::Hold(p, block);
    p.m_nResX = p.m_nResY = 300;
}

constexpr uint32_t kPaper = win::DM_PAPERSIZE;
constexpr uint32_t kOrient = win::DM_ORIENTATION;
constexpr uint32_t kWidth = win::DM_PAPERWIDTH;
constexpr uint32_t kLength = win::DM_PAPERLENGTH;

TEST(LabelLayout, StandardDriverTakesTheTapeAndTheSettingsSizes) {
    CQVPrinter p;
    Prepare(p, kPaper | kLength | kOrient, 300, 1, 0, 500);
    p.m_arrTapes = {Tape(300, 342, 1000, 12, 20, 318, 960, 0x4)};
    p.m_pointOrigin = CPoint{5, 6};
    p.m_pointOffset = CPoint{3, 4};
    p.ComputeLabelLayout();
    EXPECT_EQ(p.m_nPaperId, 300);
    EXPECT_EQ(p.m_dwTapeFlags, 0x4u);
    EXPECT_EQ(p.m_nLabelOrientation, 1);
    EXPECT_EQ(p.m_sizePage, (CSize{342, 591}));
    EXPECT_EQ(p.m_rectTape, (CRect{12, 20, 12, 20}));
    EXPECT_EQ(p.m_rectPrintable, (CRect{15, 24, 15, 24}));
    EXPECT_EQ(p.m_rectOrigin, (CRect{5, 6, 5, 6}));
    EXPECT_EQ(p.m_rectMargins, (CRect{15, 24, 15, 24}));
    EXPECT_EQ(p.m_nTapeClass, 1);

    // With feeds the ends take the first feed's margin.
    p.m_arrFeeds.resize(2);
    p.m_arrFeeds[0].nMargin = 30;
    p.m_rectMargins = CRect{};
    p.ComputeLabelLayout();
    EXPECT_EQ(p.m_rectTape, (CRect{12, 30, 12, 30}));

    // Tape flags 0x10 and 0x80: equal margins all round, no displacement, origin at 0,0.
    p.m_arrTapes[0].dwTapeFlags = 0x90;
    p.m_rectMargins = CRect{1, 50, 1, 1};
    p.ComputeLabelLayout();
    EXPECT_EQ(p.m_rectTape, (CRect{12, 20, 12, 20}));
    EXPECT_EQ(p.m_rectPrintable, (CRect{12, 20, 12, 20}));
    EXPECT_EQ(p.m_rectOrigin, (CRect{0, 0, 0, 0}));
    EXPECT_EQ(p.m_rectMargins, (CRect{12, 50, 12, 20}));

    // No paper size in the settings: the all-zero tape, orientation 2.
    CQVPrinter none;
    Prepare(none, 0, 300, 1, 0, 0);
    none.m_arrTapes = p.m_arrTapes;
    none.ComputeLabelLayout();
    EXPECT_EQ(none.m_nLabelOrientation, 2);
    EXPECT_EQ(none.m_nPaperId, 0);
    EXPECT_EQ(none.m_sizePage, (CSize{0, 0}));
    EXPECT_EQ(none.m_rectTape, (CRect{0, 0, 0, 0}));
    EXPECT_EQ(none.m_nTapeClass, 1);
}

TEST(LabelLayout, OldLayoutDriverTakesTheSettingsSizesByOrientation) {
    CQVPrinter p;
    Prepare(p, kWidth | kLength | kOrient, 0, 1, 254, 508);
    p.m_dwDriverFlags = 0x80000;
    p.ComputeLabelLayout();
    EXPECT_EQ(p.m_sizePage, (CSize{300, 600}));

    CQVPrinter landscape;
    Prepare(landscape, kWidth | kLength | kOrient, 0, 2, 254, 508);
    landscape.m_dwDriverFlags = 0x80000;
    landscape.ComputeLabelLayout();
    EXPECT_EQ(landscape.m_sizePage, (CSize{600, 300}));

    CQVPrinter lengthOnly;
    Prepare(lengthOnly, kLength, 0, 1, 254, 508);
    lengthOnly.m_dwDriverFlags = 0x80000;
    lengthOnly.ComputeLabelLayout();
    EXPECT_EQ(lengthOnly.m_nLabelOrientation, 2);
    EXPECT_EQ(lengthOnly.m_sizePage, (CSize{600, 0}));
}

TEST(LabelLayout, NewLayoutDriverTakesFormsOrThePrivateArea) {
    const size_t P = devmode::kPublicSize;
    std::vector<_TAPELIST> tapes = {Tape(256, 600, 900, 40, 10, 500, 880),
                                    Tape(300, 342, 1000, 12, 20, 318, 960, 0, 256, 1),
                                    Tape(310, 500, 700, 8, 9, 480, 680, 0, 256, 2)};

    // A form of the paper id gives the size; its paper code gives the tape.
    CQVPrinter form;
    Prepare(form, kPaper, 500, 1, 0, 0);
    form.m_dwDriverFlags = 0x800000;
    form.m_arrTapes = tapes;
    form.m_arrForms.resize(1);
    form.m_arrForms[0].wFormCode = 500;
    form.m_arrForms[0].wPaperCode = 300;
    form.m_arrForms[0].nWidthDots = 400;
    form.m_arrForms[0].nLengthDots = 800;
    form.ComputeLabelLayout();
    EXPECT_EQ(form.m_sizePage, (CSize{400, 800}));
    EXPECT_EQ(form.m_rectTape, (CRect{12, 20, 12, 20}));
    EXPECT_EQ(form.m_nPaperId, 500);

    // No form: the private area names the tape by base code and class, the length and the feed.
    CQVPrinter priv;
    Prepare(priv, kPaper | kLength, 300, 1, 0, 100, 3030);
    std::vector<uint8_t> block = mediatest::HeldBlock(priv);
    Put16(block, P, 3030);
    Put16(block, P + 4, 0x1 | 0x2 | 0x10 | 0x20);
    Put16(block, P + 6, 256);
    Put16(block, P + 10, 15);
    Put16(block, P + 12, 2);
    Put32(block, P + 18, 1234);
    mediatest::Hold(priv, block);
    priv.m_dwDriverFlags = 0x800000;
    priv.m_arrTapes = tapes;
    priv.m_arrFeeds.resize(3);
    const int keys[] = {0, 10, 20}, margins[] = {7, 33, 50};
    for (size_t i = 0; i < 3; ++i) {
        priv.m_arrFeeds[i].nKey = uint8_t(keys[i]);
        priv.m_arrFeeds[i].nMargin = int16_t(margins[i]);
    }
    priv.ComputeLabelLayout();
    EXPECT_EQ(priv.m_nPaperId, 310);
    EXPECT_EQ(priv.m_sizePage, (CSize{500, 1234}));
    EXPECT_EQ(priv.m_rectTape, (CRect{8, 7, 12, 7}));
    // Class 2: the tape of the base code widens the printable sides.
    EXPECT_EQ(priv.m_nTapeClass, 2);
    EXPECT_EQ(priv.m_rectPrintable, (CRect{40, 7, 60, 7}));
    EXPECT_EQ(priv.m_rectMargins, (CRect{40, 33, 60, 33}));

    // A tape with flag 0x10 and no side margins yet clears the end margins instead.
    priv.m_arrTapes[2].dwTapeFlags = 0x10;
    priv.m_rectMargins = CRect{0, 99, 0, 99};
    priv.ComputeLabelLayout();
    EXPECT_EQ(priv.m_sizePage, (CSize{500, 700}));
    EXPECT_EQ(priv.m_rectTape, (CRect{8, 9, 8, 9}));
    EXPECT_EQ(priv.m_rectMargins.top, 9);

    // An invalid private area: the tape of the paper id, the settings' length.
    CQVPrinter invalid;
    Prepare(invalid, kPaper | kLength, 300, 1, 0, 254, 3030);
    invalid.m_dwDriverFlags = 0x800000;
    invalid.m_arrTapes = tapes;
    invalid.ComputeLabelLayout();
    EXPECT_EQ(invalid.m_sizePage, (CSize{342, 300}));

    // A valid area on an empty tape table: the all-zero tape everywhere.
    CQVPrinter empty;
    Prepare(empty, kPaper, 300, 1, 0, 0, 3030);
    empty.m_dwDriverFlags = 0x800000;
    std::vector<uint8_t> emptyBlock = mediatest::HeldBlock(empty);
    Put16(emptyBlock, P, 3030);
    Put16(emptyBlock, P + 4, 0x1);
    mediatest::Hold(empty, emptyBlock);
    empty.ComputeLabelLayout();
    EXPECT_EQ(empty.m_nPaperId, 0);
    EXPECT_EQ(empty.m_sizePage, (CSize{0, 0}));
}

TEST(LabelLayout, ResolutionFromTheFirstTape) {
    CQVPrinter p;
    // 12 mm wide: narrower than an inch, 142 dots -> 300 dpi.
    p.m_arrTapes = {Tape(300, 142, 343, 0, 0, 142, 343)};
    p.m_arrTapes[0].nWidthTenths = 120;
    p.m_arrTapes[0].nLengthTenths = 290;
    p.m_arrResolutions = {{180, 180}, {300, 300}, {360, 360}, {360, 720}};
    EXPECT_EQ(p.ResolutionFromMedia(), 1);
    EXPECT_EQ(p.m_nResX, 300);
    EXPECT_EQ(p.m_nResY, 300);
    // Equal products: the later entry.
    p.m_arrResolutions = {{290, 310}, {310, 290}};
    EXPECT_EQ(p.ResolutionFromMedia(), 1);
    EXPECT_EQ(p.m_nResX, 310);
    // Differences from a driver's extreme resolution are taken without overflow: the product
    // (INT32_MIN - 300) * 1 is the smallest.
    p.m_arrResolutions = {{300, 300}, {INT32_MIN, 301}};
    EXPECT_EQ(p.ResolutionFromMedia(), 1);
    EXPECT_EQ(p.m_nResX, INT32_MIN);

    // Without resolutions: rounded to tens, halves upward (203 -> 200, 205 -> 210).
    p.m_arrResolutions.clear();
    p.m_arrTapes[0] = Tape(300, 192, 205, 0, 0, 0, 0);
    p.m_arrTapes[0].nWidthTenths = 240;
    p.m_arrTapes[0].nLengthTenths = 254;
    EXPECT_EQ(p.ResolutionFromMedia(), 0);
    EXPECT_EQ(p.m_nResX, 200);
    EXPECT_EQ(p.m_nResY, 210);

    // A width or length of 0, or no tape at all, changes nothing.
    for (int16_t _TAPELIST::*zero : {&_TAPELIST::nWidthTenths, &_TAPELIST::nLengthTenths}) {
        p.m_nResX = p.m_nResY = 0;
        p.m_arrTapes[0].nWidthTenths = 240;
        p.m_arrTapes[0].nLengthTenths = 254;
        p.m_arrTapes[0].*zero = 0;
        EXPECT_EQ(p.ResolutionFromMedia(), 0);
        EXPECT_EQ(p.m_nResX, 0);
        EXPECT_EQ(p.m_nResY, 0);
    }
    p.m_arrTapes.clear();
    EXPECT_EQ(p.ResolutionFromMedia(), 0);
    EXPECT_EQ(p.m_nResY, 0);
}

TEST(LabelLayout, MediaExtentInDots) {
    CQVPrinter p;
    p.m_extent.nResX = 300;
    p.m_extent.nResY = 600;
    p.m_sizeMinExtent = CSize{100, 200};
    p.m_sizeMaxExtent = CSize{500, 1000};
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMinWidth, 118 + 1);
    EXPECT_EQ(p.m_extent.nMinLength, 472 + 4);
    EXPECT_EQ(p.m_extent.nMaxWidth, 590);
    EXPECT_EQ(p.m_extent.nMaxLength, 2362);

    // The old private layout stores each value in the other dimension's slot.
    p.m_dwDriverFlags = 0x80000;
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMinWidth, 472 + 1);
    EXPECT_EQ(p.m_extent.nMinLength, 118 + 4);
    EXPECT_EQ(p.m_extent.nMaxWidth, 2362);
    EXPECT_EQ(p.m_extent.nMaxLength, 590);

    // No usable maximum: the largest tape gives it; the minimum stays as converted.
    p.m_dwDriverFlags = 0;
    p.m_sizeMaxExtent = CSize{};
    p.m_arrTapes = {Tape(1, 300, 800, 0, 0, 0, 0), Tape(2, 200, 1200, 0, 0, 0, 0)};
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMaxWidth, 300);
    EXPECT_EQ(p.m_extent.nMaxLength, 1200);
    EXPECT_EQ(p.m_extent.nMinWidth, 118);
    EXPECT_EQ(p.m_extent.nMinLength, 472);
    p.m_sizeMinExtent = CSize{};
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMinWidth, 200);
    EXPECT_EQ(p.m_extent.nMinLength, 800);

    // Without tapes the minimum starts at the dots of 1150 mm, which saturate for a driver's
    // outsize resolution.
    p.m_arrTapes.clear();
    p.m_extent.nResY = INT32_MAX;
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMinLength, INT32_MAX);
    p.m_extent.nResY = 300;
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMinLength, 13582);  // 300 x 45.2755...

    // The driver's own extents saturate the same way instead of wrapping to negative sizes.
    p.m_sizeMinExtent = CSize{0x7FFF, 0x7FFF};
    p.m_sizeMaxExtent = CSize{0xFFFF, 0xFFFF};
    p.m_extent.nResX = INT32_MAX;
    p.MediaExtent();
    EXPECT_EQ(p.m_extent.nMaxWidth, INT32_MAX);
    EXPECT_EQ(p.m_extent.nMinWidth, INT32_MAX);
}

}  // namespace
