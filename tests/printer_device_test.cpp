// The generic printer object against the simulated spooler: names and settings block, the
// capability load with misbehaving drivers, and failures at every spooler call.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/printer.h"
#include "platform/sim/machine.h"

namespace {

constexpr const char* kDriver = "QV-500 Driver";

class PrinterDevice : public ::testing::Test {
  protected:
    sim::Machine machine;
    sim::SimSpooler& spooler = machine.spooler;

    sim::SimPrinter& Install(const std::string& name = "Label") {
        return spooler.InstallSimple(name, kDriver);
    }
    // Opens the printer the way the label printer does: info, then capabilities.
    static int Open(CPrinter& p, const char* name) {
        std::snprintf(p.m_szPrinterName, sizeof p.m_szPrinterName, "%s", name);
        if (!p.ReadPrinterInfo()) return 0;
        p.m_dwState |= 1;
        return p.LoadCapabilities();
    }
    static void SetField16(sim::SimPrinter& p, size_t offset, int16_t value) {
        p.devMode[offset] = uint8_t(value & 0xFF);
        p.devMode[offset + 1] = uint8_t((value >> 8) & 0xFF);
    }
};

TEST_F(PrinterDevice, ReadsNamesSettingsAndCapabilitiesAndClosesEveryHandle) {
    auto& p = Install();
    p.server = "\\\\printhost";
    p.port = "USB003";
    p.devMode[156 + 8] = 0x44;  // a private byte the driver owns
    p.capabilities[win::DC_MAXEXTENT] = (1000 << 16) | 620;
    p.capabilities[win::DC_MINEXTENT] = (100 << 16) | 90;
    p.capabilities[win::DC_ORIENTATION] = 90;

    CPrinter printer;
    ASSERT_EQ(Open(printer, "Label"), 1);
    EXPECT_STREQ(printer.m_szDriverName, kDriver);
    EXPECT_STREQ(printer.m_szPortName, "USB003");
    EXPECT_STREQ(printer.m_szServerName, "\\\\printhost");
    ASSERT_EQ(printer.m_nDevModeSize, int32_t(p.devMode.size()));
    EXPECT_EQ(std::memcmp(printer.m_pDevMode.get(), p.devMode.data(), p.devMode.size()), 0);
    EXPECT_EQ(printer.DevMode().Private<uint8_t>(8), 0x44);
    EXPECT_EQ(printer.m_nResX, 300);
    EXPECT_EQ(printer.m_nMaxCopies, 999);
    EXPECT_EQ(printer.m_nOrientation, 90);
    EXPECT_EQ(printer.m_sizeMaxExtent, (CSize{620, 1000}));
    EXPECT_EQ(printer.m_sizeMinExtent, (CSize{90, 100}));
    EXPECT_EQ(spooler.counters.openHandles(), 0);

    // A local printer leaves the server name empty.
    Install("Local");
    CPrinter local;
    ASSERT_EQ(Open(local, "Local"), 1);
    EXPECT_STREQ(local.m_szServerName, "");

    printer.ReleaseDevMode();
    EXPECT_EQ(printer.m_pDevMode, nullptr);
    EXPECT_EQ(printer.m_dwState & 1, 0u);
    EXPECT_TRUE(printer.m_arrResolutions.empty());
    printer.ReleaseDevMode();  // a second release finds nothing to free
}

TEST_F(PrinterDevice, ChoosesTheResolutionFromTheSortedListAndTheSettings) {
    struct Case {
        std::vector<std::pair<int32_t, int32_t>> pairs;
        uint32_t fields;
        int16_t quality, yResolution;
        int32_t x, y;
    };
    const uint32_t PQ = win::DM_PRINTQUALITY, YR = win::DM_YRESOLUTION;
    const std::vector<std::pair<int32_t, int32_t>> four = {
        {300, 300}, {180, 180}, {360, 720}, {360, 360}};
    const Case cases[] = {
        {four, PQ, -4, 0, 360, 720},          // high: the largest
        {four, PQ, -1, 0, 180, 180},          // draft: the smallest
        {four, PQ, -3, 0, 300, 300},          // medium: entry 1
        {four, PQ, -2, 0, 360, 360},          // low: entry 2
        {four, PQ | YR, 200, 400, 200, 400},  // explicit resolution
        {four, PQ, 150, 0, 150, 150},
        {{{300, 300}, {600, 600}, {200, 200}}, PQ, -3, 0, 0, 0},  // three entries, medium
        {{{300, 300}, {600, 600}}, PQ, -2, 0, 300, 300},
        {{{203, 203}}, PQ, -4, 0, 203, 203},  // one entry whatever the quality
        {{}, PQ, 180, 0, 180, 180},
        {{}, PQ, -2, 0, 0, 0},  // nothing usable: unchanged
    };
    for (const Case& c : cases) {
        spooler.Clear();
        auto& p = Install();
        p.SetResolutions(c.pairs);
        p.SetDevMode(c.fields, 16);
        SetField16(p, 58, c.quality);
        SetField16(p, 64, c.yResolution);
        CPrinter printer;
        ASSERT_EQ(Open(printer, "Label"), 1);
        EXPECT_EQ(printer.m_nResX, c.x) << c.pairs.size() << " " << c.quality;
        EXPECT_EQ(printer.m_nResY, c.y) << c.pairs.size() << " " << c.quality;
        if (c.pairs == four) {
            EXPECT_EQ(printer.m_arrResolutions,
                      (std::vector<CSize>{{180, 180}, {300, 300}, {360, 360}, {360, 720}}));
        }
    }
}

TEST_F(PrinterDevice, DriverAnswersBeyondItsCountAreNotTrusted) {
    auto& p = Install();
    p.SetResolutions({{300, 300}, {600, 600}, {1200, 1200}});
    p.arrays[win::DC_ENUMRESOLUTIONS].countAnswer = 2;  // counts two, writes three
    CPrinter printer;
    ASSERT_EQ(Open(printer, "Label"), 1);
    EXPECT_EQ(printer.m_arrResolutions, (std::vector<CSize>{{300, 300}, {600, 600}}));
    EXPECT_EQ(spooler.counters.overruns, 1);  // the driver had more to write than room given

    // Counts three but fills only one: only the one is kept.
    spooler.Clear();
    auto& q = Install();
    q.SetResolutions({{300, 300}});
    q.arrays[win::DC_ENUMRESOLUTIONS].countAnswer = 3;
    CPrinter second;
    ASSERT_EQ(Open(second, "Label"), 1);
    EXPECT_EQ(second.m_arrResolutions, (std::vector<CSize>{{300, 300}}));

    // Counts two but refuses the fill: none is kept, and the printer still opens.
    spooler.Clear();
    auto& r = Install();
    r.SetResolutions({{300, 300}, {600, 600}});
    r.arrays[win::DC_ENUMRESOLUTIONS].fillAnswer = -1;
    CPrinter refused;
    ASSERT_EQ(Open(refused, "Label"), 1);
    EXPECT_TRUE(refused.m_arrResolutions.empty());
}

TEST_F(PrinterDevice, UnansweredCapabilitiesLeaveTheirDefaults) {
    auto& p = Install();
    p.capabilities = {{win::DC_FIELDS, int32_t(win::DM_COPIES)},
                      {win::DC_ORIENTATION, 0},
                      {win::DC_COPIES, -1},
                      {win::DC_MINEXTENT, 0x7FFF7FFF},
                      {win::DC_MAXEXTENT, 500 << 16}};  // width 0, length 500
    p.arrays.clear();
    CPrinter printer;
    ASSERT_EQ(Open(printer, "Label"), 1);
    EXPECT_EQ(printer.m_dwFields, win::DM_COPIES);
    EXPECT_EQ(printer.m_sizeMinExtent, (CSize{0, 0}));
    EXPECT_EQ(printer.m_sizeMaxExtent, (CSize{0, 0}));
    EXPECT_EQ(printer.m_nOrientation, 0);
    EXPECT_EQ(printer.m_nMaxCopies, 0);
    EXPECT_TRUE(printer.m_arrResolutions.empty());

    // DC_FIELDS unanswered makes the printer unusable and touches nothing else.
    p.capabilities = {{win::DC_COPIES, 5}};
    CPrinter none;
    std::strcpy(none.m_szPrinterName, "Label");
    ASSERT_EQ(none.ReadPrinterInfo(), 1);
    EXPECT_EQ(none.LoadCapabilities(), 0);
    EXPECT_EQ(none.m_nMaxCopies, 0);
}

TEST_F(PrinterDevice, EverySpoolerFailureIsReportedAndLeavesNoBlockOrHandle) {
    auto attempt = [&](auto inject) {
        spooler.Clear();
        inject(Install());
        CPrinter printer;
        std::strcpy(printer.m_szPrinterName, "Label");
        int result = printer.ReadPrinterInfo();
        EXPECT_EQ(spooler.counters.openHandles(), 0);
        if (!result) {
            EXPECT_EQ(printer.m_pDevMode, nullptr);
        }
        // Names are taken whole or not at all.
        std::string driver = printer.m_szDriverName;
        EXPECT_TRUE(driver.empty() || driver == spooler.Find("Label")->driver);
        return result;
    };
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.failOpen = true; }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.failGetPrinterCall = 2; }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.failGetPrinterCall = 1; }), 0);
    // A spooler asking for less than the record and then reporting success: nothing is read.
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.getPrinterSizeAnswer = 0; }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.getPrinterSizeAnswer = 8; }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.devModeSizeAnswer = 0; }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.devModeSizeAnswer = -1; }), 0);
    // Names that do not fit 260 bytes are refused, not cut.
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.driver = std::string(260, 'D'); }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.port = std::string(300, 'P'); }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.server = std::string(260, 'S'); }), 0);
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.driver = std::string(259, 'D'); }), 1);
    // A driver cancelling the fill: the block is still held, the fill reports failure.
    EXPECT_EQ(attempt([](sim::SimPrinter& p) { p.fillAnswer = win::IDCANCEL; }), 1);

    auto& p = *spooler.Find("Label");
    CPrinter printer;
    std::strcpy(printer.m_szPrinterName, "Label");
    ASSERT_EQ(printer.ReadPrinterInfo(), 1);
    EXPECT_EQ(printer.GetDefaultDevMode(), 0);
    p.fillAnswer = 0;
    EXPECT_EQ(printer.UpdateDevMode(printer.m_pDevMode.get()), 0);
    p.fillAnswer.reset();
    EXPECT_EQ(printer.UpdateDevMode(printer.m_pDevMode.get()), 1);
    p.failOpen = true;
    EXPECT_EQ(printer.GetDefaultDevMode(), 0);
    EXPECT_EQ(spooler.counters.openHandles(), 0);

    // The queue's driver name, and none from a spooler reporting success on a record it never
    // filled in.
    p.failOpen = false;
    std::string driver;
    EXPECT_TRUE(ReadQueueDriverName("Label", driver));
    EXPECT_EQ(driver, kDriver);
    p.getPrinterSizeAnswer = uint32_t(spooler.Info2Size());
    driver.clear();
    EXPECT_FALSE(ReadQueueDriverName("Label", driver));
    EXPECT_EQ(driver, "");
    EXPECT_EQ(spooler.counters.openHandles(), 0);
}

TEST_F(PrinterDevice, ABlockTooShortForAFieldReadsAsIfTheFieldWereAbsent) {
    auto& p = Install();
    p.arrays.clear();
    p.SetDevMode(win::DM_PRINTQUALITY | win::DM_YRESOLUTION, 0);
    SetField16(p, 58, 180);
    SetField16(p, 64, 360);
    p.devModeSizeAnswer = 60;  // ends inside dmPrintQuality's neighbours: no dmYResolution
    CPrinter printer;
    ASSERT_EQ(Open(printer, "Label"), 1);
    EXPECT_EQ(printer.m_nDevModeSize, 60);
    EXPECT_EQ(printer.m_nResX, 180);  // from dmPrintQuality alone
    EXPECT_EQ(printer.m_nResY, 180);
    EXPECT_FALSE(printer.DevMode().Private<uint16_t>(0).has_value());  // private part is past 60

    // dmSize claiming more than the block holds does not let reads leave the block.
    uint8_t block[48] = {};
    block[36] = 200;  // dmSize
    block[40] = 0xFF;
    devmode::View view(block, sizeof block);
    EXPECT_EQ(view.Fields(), 0xFFu);
    EXPECT_TRUE(view.Field16(devmode::kPaperSize, win::DM_PAPERSIZE).has_value());  // 46..47
    EXPECT_FALSE(view.Field16(devmode::kPrintQuality, win::DM_PRINTQUALITY).has_value());
    EXPECT_FALSE(view.Private<uint8_t>(0).has_value());
    EXPECT_FALSE(devmode::WritePrivate<uint16_t>(block, sizeof block, 8, 4));
    // A value that would straddle the block's end is neither read nor written.
    EXPECT_FALSE(devmode::Read<uint16_t>(block, sizeof block, sizeof block - 1).has_value());
    EXPECT_FALSE(devmode::Write<uint16_t>(block, sizeof block, sizeof block - 1, 0x1111));
    EXPECT_EQ(block[sizeof block - 1], 0);

    // A public part ending before a field leaves the field absent even where the block holds
    // it: the bytes there are the driver's own.
    block[36] = 45;  // dmFields whole, dmOrientation cut
    EXPECT_EQ(view.Fields(), 0xFFu);
    EXPECT_FALSE(view.Raw16(devmode::kOrientation).has_value());
    EXPECT_FALSE(view.Field16(devmode::kPaperSize, win::DM_PAPERSIZE).has_value());
}

TEST_F(PrinterDevice, DisplayNameAndDotConversion) {
    CPrinter printer;
    char buffer[300];
    std::strcpy(printer.m_szDisplayName, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(printer.GetDisplayName(buffer, sizeof buffer), 0);  // no settings held
    printer.m_dwState = 1;
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(printer.GetDisplayName(buffer, 10), 1);
    EXPECT_STREQ(buffer, "ABCDEFGHI");
    ASSERT_EQ(printer.GetDisplayName(buffer, 300), 1);
    EXPECT_STREQ(buffer, "ABCDEFGHIJKLMNOP");
    // No room at all: nothing is written.
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(printer.GetDisplayName(buffer, 0), 1);
    EXPECT_EQ(buffer[0], 'x');

    printer.m_nResX = 300;
    EXPECT_EQ(printer.TenthMmToDotsX(254), 300);
    EXPECT_EQ(printer.TenthMmToDotsX(1), 1);  // 1.18 + 0.5
    EXPECT_EQ(printer.TenthMmToDotsX(-254), -299);
    // A resolution the driver made up must not overflow the 32-bit result.
    printer.m_nResX = INT32_MAX;
    EXPECT_EQ(printer.TenthMmToDotsX(32767), INT32_MAX);
    EXPECT_EQ(printer.TenthMmToDotsX(-32768), INT32_MIN);
}

TEST(PrinterDeviceJapanese, ACutDisplayNameDoesNotSplitADoubleByteCharacter) {
    sim::MachineOptions options;
    options.language = sim::Language::Japanese;
    sim::Machine machine(options);
    CPrinter printer;
    printer.m_dwState = 1;
    // "AB" then three double-byte characters (code page 932).
    std::strcpy(printer.m_szDisplayName, "AB\x83\x89\x83\x78\x83\x8B");
    char buffer[8];
    ASSERT_EQ(printer.GetDisplayName(buffer, 6), 1);  // room for 5: 'A','B', one character
    EXPECT_STREQ(buffer, "AB\x83\x89");
}

}  // namespace
