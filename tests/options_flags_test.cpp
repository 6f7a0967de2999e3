// The print option, feature and media flags derived from the driver flags and the settings
// block, on the Windows NT and 9x families.
#include <gtest/gtest.h>

#include "device/options.h"
#include "media_fixture.h"

namespace {

using mediatest::Put16;
using mediatest::Put32;

class OptionFlags : public ::testing::Test {
  protected:
    void OnNt() { machine.system.SetOsVersion(plat::OsVersion{6, 1, 7601, 2}); }
    void On9x() { machine.system.SetOsVersion(plat::OsVersion{4, 10, 2222, 1}); }

    // A printer object with the given driver flags, supported fields and copy limit.
    void Derive(CQVPrinter& p, uint32_t driverFlags, uint32_t fields, int32_t copies) {
        p.m_dwDriverFlags = driverFlags;
        p.m_dwFields = fields;
        p.m_nMaxCopies = copies;
        p.DeriveOptionMask();
    }

    sim::Machine machine;
};

TEST_F(OptionFlags, OperatingSystemFamilies) {
    struct Case {
        uint32_t major, minor, platform;
        int expected;
    } cases[] = {{3, 51, 2, 4}, {3, 10, 0, 1}, {2, 0, 2, 1},  {4, 0, 1, 2},
                 {4, 90, 1, 2}, {4, 0, 2, 3},  {10, 0, 2, 3}, {5, 0, 3, 1}};
    for (const auto& c : cases) {
        machine.system.SetOsVersion(plat::OsVersion{c.major, c.minor, 0, c.platform});
        EXPECT_EQ(GetOSVersionClass(), c.expected) << c.major << "." << c.minor;
    }
    machine.system.FailGetVersionEx(true);
    EXPECT_EQ(GetOSVersionClass(), 1);
}

TEST_F(OptionFlags, DerivationsOnTheNtAnd9xFamilies) {
    OnNt();
    CQVPrinter p;
    Derive(p, 0, win::DM_COLOR, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x55u);
    EXPECT_EQ(p.m_dwOptionMask, 0x8u);
    EXPECT_EQ(p.m_nColors, 0xFFFFFF);
    EXPECT_EQ(p.m_wMediaFlags, 0xF);
    Derive(p, 0, win::DM_COLOR, 1);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x05u);
    Derive(p, 0x10000008, 0, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x51u);
    EXPECT_EQ(p.m_nColors, 2);
    Derive(p, 0x8, 0, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0u);
    Derive(p, 0x10000000 | 0x1 | 0x2 | 0x20 | 0x200 | 0x2000, 0, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x5Du | 0x1 | 0x10 | 0x40 | 0x4000);
    Derive(p, 0x4 | 0x40000000 | 0x80000000, 0, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x55u | 0x2 | 0x400 | 0x1800);

    // Each option bit from its driver flag; 0x400 needs 0x10000000 as well.
    Derive(p, 0x10 | 0x8000000 | 0x40 | 0x1000000 | 0x400 | 0x800 | 0x8000 | 0x1000, win::DM_COLOR,
           99);
    EXPECT_EQ(p.m_dwOptionMask, 0x1u | 0x2 | 0x4 | 0x8 | 0x40 | 0x80 | 0x100 | 0x200);
    EXPECT_EQ(p.m_nColors, 4);
    Derive(p, 0x10001000, 0, 99);
    EXPECT_EQ(p.m_dwOptionMask, 0x400u);

    // The 9x family adds feature 0x100, which flag 0x20000000 trades for 0x200.
    On9x();
    Derive(p, 0, 0, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x155u);
    Derive(p, 0x20000000, 0, 99);
    EXPECT_EQ(p.m_dwFeatureFlags, 0x255u);

    // Without a library: features 0x51, media flags 9, colour from DM_COLOR.
    CQVPrinter standard;
    standard.m_dwFields = win::DM_COLOR;
    standard.DefaultOptionMask();
    EXPECT_EQ(standard.m_dwFeatureFlags, 0x51u);
    EXPECT_EQ(standard.m_wMediaFlags, 9);
    EXPECT_EQ(standard.m_dwOptionMask, 0x8u);
    EXPECT_EQ(standard.m_nColors, 0xFFFFFF);
    standard.m_dwFields = 0;
    standard.DefaultOptionMask();
    EXPECT_EQ(standard.m_nColors, 2);
}

TEST_F(OptionFlags, OptionsInEffectFromBothPrivateLayouts) {
    // New layout: the option word at offset 22; colour from dmColor.
    std::vector<uint8_t> block = mediatest::DevModeBlock(win::DM_COLOR, 3030);
    const size_t P = devmode::kPublicSize;
    Put16(block, P, 3030);
    Put32(block, P + 22, 0x1 | 0x40 | 0x1000 | 0x2000);
    Put16(block, devmode::kColor, 2);
    CQVPrinter p;
    mediatest::Hold(p, block);
    p.m_dwDriverFlags = 0x800000;
    p.m_dwOptionMask = 0x1 | 0x2 | 0x8 | 0x40;
    p.m_dwOptions = 0x2 | 0x80;
    p.SyncOptionsFromDevMode();
    EXPECT_EQ(p.m_dwOptions, 0x1u | 0x8 | 0x40 | 0x1000);
    EXPECT_EQ(p.m_dwOptionMask, 0x1u | 0x2 | 0x8 | 0x40 | 0xF000);
    EXPECT_EQ(p.m_dwFeatureFlags & 0x2000, 0x2000u);

    // An invalid size tag changes nothing.
    Put16(block, P, 3031);
    CQVPrinter invalid;
    mediatest::Hold(invalid, block);
    invalid.m_dwDriverFlags = 0x800000;
    invalid.m_dwOptionMask = 0x1;
    invalid.m_dwOptions = 0x80;
    invalid.SyncOptionsFromDevMode();
    EXPECT_EQ(invalid.m_dwOptions, 0x80u);
    EXPECT_EQ(invalid.PrivateAreaValid(), 0);

    // Old layout: byte 107; its bit 0x40 drives options 0x1 and 0x2, bit 0x80 option 0x4.
    std::vector<uint8_t> old = mediatest::DevModeBlock(0, 112);
    old[P + 107] = 0x40;
    CQVPrinter q;
    mediatest::Hold(q, old);
    q.m_dwDriverFlags = 0x80000;
    q.m_dwOptionMask = 0x1 | 0x2 | 0x4;
    q.m_dwOptions = 0x4 | 0x100;
    q.SyncOptionsFromDevMode();
    EXPECT_EQ(q.m_dwOptions, 0x3u);

    // A private area too short for the byte reads nothing; the options are still masked.
    CQVPrinter shortArea;
    mediatest::Hold(shortArea, mediatest::DevModeBlock(0, 8));
    shortArea.m_dwDriverFlags = 0x80000;
    shortArea.m_dwOptionMask = 0x1;
    shortArea.m_dwOptions = 0x101;
    shortArea.SyncOptionsFromDevMode();
    EXPECT_EQ(shortArea.m_dwOptions, 0x1u);
}

}  // namespace
