// The spooler and GDI services of the Windows platform layer against a printer this test
// installs (Wine's PostScript driver with a small PPD of two label sizes and two resolutions).
#include "platform/win32/win32_platform.h"
// After the platform headers, whose names the API macros would rewrite.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kDriver = "Ulma Win32 Test Driver";
constexpr const char* kPrinter = "Ulma Win32 Test Printer";

const char kPpd[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*PCFileName: \"ULMATEST.PPD\"\n"
    "*Manufacturer: \"Ulma\"\n"
    "*Product: \"(Ulma Test)\"\n"
    "*ModelName: \"Ulma Test\"\n"
    "*ShortNickName: \"Ulma Test\"\n"
    "*NickName: \"Ulma Test\"\n"
    "*PSVersion: \"(3010.000) 0\"\n"
    "*ColorDevice: False\n"
    "*OpenUI *Resolution/Resolution: PickOne\n"
    "*DefaultResolution: 300x300dpi\n"
    "*Resolution 300x300dpi: \"<</HWResolution[300 300]>>setpagedevice\"\n"
    "*Resolution 600x600dpi: \"<</HWResolution[600 600]>>setpagedevice\"\n"
    "*CloseUI: *Resolution\n"
    "*OpenUI *PageSize: PickOne\n"
    "*DefaultPageSize: Label62\n"
    "*PageSize Label62/62mm x 100mm: \"<</PageSize[176 283]>>setpagedevice\"\n"
    "*PageSize Label29/29mm x 90mm: \"<</PageSize[82 255]>>setpagedevice\"\n"
    "*CloseUI: *PageSize\n"
    "*OpenUI *PageRegion: PickOne\n"
    "*DefaultPageRegion: Label62\n"
    "*PageRegion Label62: \"<</PageSize[176 283]>>setpagedevice\"\n"
    "*PageRegion Label29: \"<</PageSize[82 255]>>setpagedevice\"\n"
    "*CloseUI: *PageRegion\n"
    "*DefaultImageableArea: Label62\n"
    "*ImageableArea Label62: \"0 0 176 283\"\n"
    "*ImageableArea Label29: \"0 0 82 255\"\n"
    "*DefaultPaperDimension: Label62\n"
    "*PaperDimension Label62: \"176 283\"\n"
    "*PaperDimension Label29: \"82 255\"\n";

// The array capabilities through a driver that announces a count far beyond what it writes.
TEST(Win32Spooler, ACountBeyondTheAddressSpaceNeverReachesTheCallersBuffer) {
    constexpr size_t kName = 64;  // one DC_PAPERNAMES entry
    // Counts whose bytes wrap around in a 32-bit process to one name or less, or to nothing;
    // and one whose entries stay just below 2 GB, so that only the spare entry added to the
    // buffer takes it past the largest block a 32-bit process can ask for.
    for (int32_t announced : {0x7C000001, 0x04000001, 0x7FFFFFFF, 0x01FFFFFF}) {
        std::vector<char> written(3 * kName, 'n');  // what the driver really has: three names
        int fills = 0;
        auto driver = [&](void* out) -> int32_t {
            if (!out) return announced;
            ++fills;
            std::memcpy(out, written.data(), written.size());
            return 3;
        };
        std::vector<char> buffer(4 * kName, 'x');
        int32_t answer = plat::win32::FillCapabilityArray(driver, kName, buffer.data(), kName);
        EXPECT_EQ(std::string(3 * kName, 'x'), std::string(buffer.begin() + kName, buffer.end()))
            << "nothing beyond the one name the caller has room for, count " << announced;
        // No buffer of that size exists: no answer, and the driver is never handed a buffer.
        EXPECT_EQ(-1, answer) << "count " << announced;
        EXPECT_EQ(0, fills) << "count " << announced;
    }

    // An honest driver still fills the caller's buffer, or a buffer of its own when it has more.
    auto honest = [](void* out) -> int32_t {
        if (out) std::memset(out, 'h', 2 * kName);
        return 2;
    };
    std::vector<char> room(3 * kName, 'x');
    EXPECT_EQ(2, plat::win32::FillCapabilityArray(honest, kName, room.data(), room.size()));
    EXPECT_EQ(std::string(2 * kName, 'h') + std::string(kName, 'x'),
              std::string(room.begin(), room.end()));
    // A driver counting one short, asked with a buffer sized from its count, writes nothing past
    // that buffer either.
    auto oneShort = [](void* out) -> int32_t {
        if (out) std::memset(out, 's', 3 * kName);
        return 2;
    };
    std::vector<char> counted(3 * kName, 'x');
    EXPECT_EQ(2, plat::win32::FillCapabilityArray(oneShort, kName, counted.data(), 2 * kName));
    EXPECT_EQ(std::string(2 * kName, 's') + std::string(kName, 'x'),
              std::string(counted.begin(), counted.end()));
    std::vector<char> small(2 * kName, 'x');
    EXPECT_EQ(2, plat::win32::FillCapabilityArray(honest, kName, small.data(), kName));
    EXPECT_EQ(std::string(kName, 'h') + std::string(kName, 'x'),
              std::string(small.begin(), small.end()));
}

class InstalledPrinter : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        m_ppd = std::string(temp) + "ulmatest.ppd";
        std::ofstream(m_ppd, std::ios::binary) << kPpd;

        DRIVER_INFO_3A driver{};
        driver.cVersion = 3;
        driver.pName = const_cast<LPSTR>(kDriver);
        driver.pDriverPath = const_cast<LPSTR>("wineps.drv");
        driver.pConfigFile = const_cast<LPSTR>("wineps.drv");
        driver.pDataFile = &m_ppd[0];
        if (!::AddPrinterDriverExA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver),
                                   APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
            GTEST_SKIP() << "this system cannot install a test printer driver";
        }
        PRINTER_INFO_2A info{};
        info.pPrinterName = const_cast<LPSTR>(kPrinter);
        info.pDriverName = const_cast<LPSTR>(kDriver);
        info.pPortName = const_cast<LPSTR>("FILE:");
        info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
        info.pDatatype = const_cast<LPSTR>("RAW");
        plat::win32::PrinterHandle added(
            ::AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
        if (!added && ::GetLastError() != ERROR_PRINTER_ALREADY_EXISTS) {
            GTEST_SKIP() << "this system cannot install a test printer";
        }
    }

    void TearDown() override {
        plat::win32::PrinterHandle printer;
        if (::OpenPrinterA(const_cast<LPSTR>(kPrinter), printer.put(), nullptr)) {
            ::DeletePrinter(printer.get());
        }
        ::DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(kDriver));
        ::DeleteFileA(m_ppd.c_str());
    }

    std::string m_ppd;
};

TEST_F(InstalledPrinter, EnumeratesAndOpensByName) {
    plat::win32::Spooler spooler;
    uint32_t needed = 0, returned = 0;
    spooler.EnumPrinters(PRINTER_ENUM_LOCAL, 2, nullptr, 0, &needed, &returned);
    ASSERT_GT(needed, 0u);
    std::vector<uint8_t> buffer(needed);
    ASSERT_TRUE(
        spooler.EnumPrinters(PRINTER_ENUM_LOCAL, 2, buffer.data(), needed, &needed, &returned));
    bool found = false;
    for (uint32_t i = 0; i < returned; ++i) {
        plat::PrinterInfo2 info = spooler.Info2At(buffer.data(), i);
        // The names follow every record, inside the buffer: discovery reads records by that.
        const auto records =
            reinterpret_cast<uintptr_t>(buffer.data()) + returned * spooler.Info2Size();
        for (const char* name : {info.pPrinterName, info.pPortName, info.pDriverName}) {
            ASSERT_NE(nullptr, name);
            EXPECT_GE(reinterpret_cast<uintptr_t>(name), records);
            EXPECT_LT(reinterpret_cast<uintptr_t>(name),
                      reinterpret_cast<uintptr_t>(buffer.data()) + buffer.size());
        }
        if (info.pPrinterName && std::strcmp(info.pPrinterName, kPrinter) == 0) {
            found = true;
            EXPECT_STREQ(kDriver, info.pDriverName);
            EXPECT_STREQ("FILE:", info.pPortName);
        }
    }
    EXPECT_TRUE(found);

    auto printer = spooler.OpenPrinter(kPrinter);
    ASSERT_NE(nullptr, printer);
    uint32_t size = 0;
    EXPECT_FALSE(printer->GetPrinter2(nullptr, 0, &size)) << "a size query";
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> record(size);
    ASSERT_TRUE(printer->GetPrinter2(record.data(), size, &size));
    EXPECT_STREQ(kPrinter, spooler.Info2At(record.data(), 0).pPrinterName);

    EXPECT_EQ(nullptr, spooler.OpenPrinter("No Such Printer Ulma"));

    // The spooler takes a name in any letter case, and the name key folds as it does: letters
    // beyond A to Z as well, never the second byte of a double-byte character.
    EXPECT_NE(nullptr, spooler.OpenPrinter("ULMA win32 TEST printer"));
    EXPECT_EQ(spooler.QueueNameKey(kPrinter), spooler.QueueNameKey("ULMA win32 TEST printer"));
    if (::GetACP() == 1252) {
        EXPECT_EQ(spooler.QueueNameKey("\xE9tiquette"), spooler.QueueNameKey("\xC9TIQUETTE"));
    }
    if (::GetACP() == 932) {
        // Full-width small and capital A; then two different katakana whose second bytes are
        // 'a' and 'A'.
        EXPECT_EQ(spooler.QueueNameKey("\x82\x81"), spooler.QueueNameKey("\x82\x60"));
        EXPECT_NE(spooler.QueueNameKey("\x83\x61"), spooler.QueueNameKey("\x83\x41"));
    }
}

TEST_F(InstalledPrinter, DocumentPropertiesTakesInputAndWritesOutput) {
    plat::win32::Spooler spooler;
    auto printer = spooler.OpenPrinter(kPrinter);
    ASSERT_NE(nullptr, printer);
    int32_t size = printer->DocumentProperties(kPrinter, nullptr, nullptr, 0);
    ASSERT_GE(size, static_cast<int32_t>(sizeof(DEVMODEA)));

    std::vector<uint8_t> current(size), merged(size);
    ASSERT_EQ(IDOK, printer->DocumentProperties(kPrinter, current.data(), nullptr, DM_OUT_BUFFER));
    auto* devmode = reinterpret_cast<DEVMODEA*>(current.data());
    EXPECT_EQ(DMORIENT_PORTRAIT, devmode->dmOrientation);

    // The input is merged and the result written to the output, not the other way round.
    devmode->dmOrientation = DMORIENT_LANDSCAPE;
    devmode->dmFields |= DM_ORIENTATION;
    ASSERT_EQ(IDOK, printer->DocumentProperties(kPrinter, merged.data(), current.data(),
                                                DM_IN_BUFFER | DM_OUT_BUFFER));
    EXPECT_EQ(DMORIENT_LANDSCAPE, reinterpret_cast<DEVMODEA*>(merged.data())->dmOrientation);
}

TEST_F(InstalledPrinter, DeviceCapabilitiesAndInformationContext) {
    plat::win32::Spooler spooler;
    EXPECT_EQ(2, spooler.DeviceCapabilities(kPrinter, "FILE:", DC_PAPERS, nullptr, 0, nullptr));
    WORD papers[2] = {};
    ASSERT_EQ(2, spooler.DeviceCapabilities(kPrinter, "FILE:", DC_PAPERS, papers, sizeof papers,
                                            nullptr));
    EXPECT_GE(papers[0], 256) << "custom paper sizes are numbered from 256";
    // A buffer for fewer entries than the driver has gets only what fits, nothing beyond.
    WORD guarded[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
    ASSERT_EQ(2, spooler.DeviceCapabilities(kPrinter, "FILE:", DC_PAPERS, guarded, sizeof(WORD),
                                            nullptr));
    EXPECT_EQ(papers[0], guarded[0]);
    EXPECT_EQ(0xAAAA, guarded[1]);
    std::vector<char> names(3 * 64, 'x');
    ASSERT_EQ(
        2, spooler.DeviceCapabilities(kPrinter, "FILE:", DC_PAPERNAMES, names.data(), 64, nullptr));
    EXPECT_NE('x', names[0]);
    EXPECT_EQ(std::string(2 * 64, 'x'), std::string(names.begin() + 64, names.end()));
    EXPECT_EQ(
        2, spooler.DeviceCapabilities(kPrinter, "FILE:", DC_ENUMRESOLUTIONS, nullptr, 0, nullptr));
    LONG resolutions[4] = {};
    ASSERT_EQ(2, spooler.DeviceCapabilities(kPrinter, "FILE:", DC_ENUMRESOLUTIONS, resolutions,
                                            sizeof resolutions, nullptr));
    EXPECT_TRUE(resolutions[0] == 300 || resolutions[2] == 300);

    plat::win32::Gdi gdi;
    auto ic = gdi.CreateIC(kDriver, kPrinter, "FILE:", nullptr);
    ASSERT_NE(nullptr, ic);
    int query = GETPHYSPAGESIZE;
    EXPECT_GT(ic->Escape(QUERYESCSUPPORT, sizeof query, &query, nullptr), 0);
    POINT page{};
    EXPECT_GT(ic->Escape(GETPHYSPAGESIZE, 0, nullptr, &page), 0);
    EXPECT_GT(page.x, 0);
    EXPECT_GT(page.y, page.x) << "the 62 x 100 mm label stands upright";
}

}  // namespace
