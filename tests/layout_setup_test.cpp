// Building a label printer object sets up its media part: the information library's queries in
// their order and with their names, the special-tape synchronisation of the held settings, and
// the standard driver queries when no library answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media_fixture.h"

namespace {

using mediatest::kDriver;
using mediatest::Put16;

constexpr uint32_t kFields = win::DM_ORIENTATION | win::DM_PAPERSIZE | win::DM_COPIES;

class LabelSetUp : public mediatest::MediaMachine {};

std::vector<std::string> Lines(const std::vector<infosim::Call>& calls) {
    std::vector<std::string> lines;
    for (const auto& c : calls) lines.push_back(infosim::Library::FormatCall(c));
    return lines;
}

std::string Line(const std::string& device, const std::string& port, int cap, bool buffer,
                 bool held, int32_t answer) {
    infosim::Call c{device, port, uint32_t(cap), buffer, held, answer};
    return infosim::Library::FormatCall(c);
}

TEST_F(LabelSetUp, TheLibraryIsCheckedAndQueriedInOrderWithTheRightNames) {
    InstallLabel("Label A", kFields, 16);
    RegisterLibrary("Label A");
    RegisterLibrary(kDriver);
    infosim::Data data = infosim::DefaultData();
    data.feeds = {infosim::Feed{0, 5}, infosim::Feed{3, 40}};
    data.answers[275] = int32_t(0xFFFE0003);  // (3, -2)
    data.answers[274] = 0x00070002;           // (2, 7)
    SetLibrary(data);

    CQVPrinter printer;
    ASSERT_EQ(printer.Initialize("Label A"), 1);
    const std::string driver = kDriver;
    std::vector<std::string> expected = {
        Line("Label A", "", 269, false, false, 0x40000),
        Line(driver, "", 269, false, false, 0x40000),
        Line(driver, "USB001", 269, false, true, 0x40000),
        Line(driver, "USB001", 257, false, true, 2),
        Line("Label A", "USB001", 257, true, true, 2),
        Line(driver, "USB001", 270, false, true, 2),
        Line("Label A", "USB001", 270, true, true, 2),
        Line(driver, "USB001", 274, false, true, 0x00070002),
        Line(driver, "USB001", 275, false, true, int32_t(0xFFFE0003)),
        Line(driver, "USB001", 276, false, true, 1),
        Line(driver, "USB001", 278, false, true, '1'),
    };
    EXPECT_EQ(Lines(Calls()), expected);
    EXPECT_EQ(machine.modules.LiveModules(), 0);

    // Whole records, byte for byte.
    ASSERT_EQ(printer.m_arrTapes.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        std::vector<uint8_t> bytes(media::kTapeSize);
        media::WriteTape(printer.m_arrTapes[i], bytes.data(), bytes.size());
        EXPECT_EQ(bytes, infosim::TapeRecord(data.tapes[i])) << i;
    }
    ASSERT_EQ(printer.m_arrFeeds.size(), 2u);
    EXPECT_EQ(printer.m_feedCurrent.nKey, 3);
    EXPECT_EQ(printer.m_feedCurrent.nMargin, 40);
    // The first feed's margin lowers margins 2 and 4 of the tapes.
    EXPECT_EQ(printer.m_extent.nMargin2, 5);
    EXPECT_EQ(printer.m_extent.nMargin4, 5);
    EXPECT_EQ(printer.m_pointOrigin, (CPoint{2, 7}));
    EXPECT_EQ(printer.m_pointOffset, (CPoint{3, -2}));
    EXPECT_EQ(printer.m_nCap276, 1);
    EXPECT_EQ(printer.m_nColors, 1);
    EXPECT_EQ(printer.m_nMediaKind, 0);
    EXPECT_EQ(printer.m_dwDriverFlags, 0x40000u);
    ASSERT_NE(printer.GetModelCode(), nullptr);
    EXPECT_EQ(*printer.GetModelCode(), uint32_t('1'));
    EXPECT_EQ(printer.m_extent.nResX, 300);

    printer.Release();
    EXPECT_EQ(printer.GetModelCode(), nullptr);
    EXPECT_TRUE(printer.m_arrTapes.empty());
    EXPECT_TRUE(printer.m_arrFeeds.empty());
}

TEST_F(LabelSetUp, ColoursModelKindAndUnansweredCapabilities) {
    InstallLabel("Label", kFields, 16);
    RegisterLibrary(kDriver);
    infosim::Data data = infosim::DefaultData();
    data.answers = {{269, 0x11000000}, {271, 0x12340010}, {278, '2'}};
    data.answerTapes = data.answerFeeds = false;
    SetLibrary(data);
    CQVPrinter printer;
    ASSERT_EQ(printer.Initialize("Label"), 1);
    // No record counts: the tapes come from the driver's paper list (none here).
    EXPECT_TRUE(printer.m_arrTapes.empty());
    EXPECT_EQ(printer.m_feedCurrent.nKey, 0);
    EXPECT_EQ(printer.m_nColors, 0x10);
    EXPECT_EQ(printer.m_nCap276, 1);
    EXPECT_EQ(printer.m_pointOrigin, (CPoint{0, 0}));
    EXPECT_EQ(printer.m_nMediaKind, 2);
    EXPECT_EQ(printer.m_dwMediaState & 1, 1u);
    // The printer name is not registered: only the driver's check ran, with its name.
    EXPECT_EQ(Calls().front().device, kDriver);

    // An unanswered model code is 0; a library without the entry point changes nothing.
    data.answers.erase(278);
    data.answers[269] = 0x20000;
    SetLibrary(data);
    CQVPrinter second;
    ASSERT_EQ(second.Initialize("Label"), 1);
    EXPECT_EQ(second.m_dwModelCode, 0u);
    EXPECT_EQ(second.m_nMediaKind, 10);

    // A library that counts fewer records than it holds fills only the counted ones.
    infosim::Data fewer = infosim::DefaultData();
    fewer.tapeCountOverride = fewer.feedCountOverride = 1;
    SetLibrary(fewer);
    CQVPrinter counted;
    ASSERT_EQ(counted.Initialize("Label"), 1);
    ASSERT_EQ(counted.m_arrTapes.size(), 1u);
    EXPECT_EQ(counted.m_arrTapes[0].wPaperCode, fewer.tapes[0].code);
    ASSERT_EQ(counted.m_arrFeeds.size(), 1u);
    EXPECT_EQ(counted.m_arrFeeds[0].nMargin, fewer.feeds[0].margin);

    machine.modules.Register("bare.dll", {});
    machine.system.AddFile("C:\\Drivers\\bare.dll", "");
    machine.registry.SetString(std::string(mediatest::kModels) + "\\" + kDriver, "Info Dll",
                               "C:\\Drivers\\bare.dll");
    CQVPrinter bare;
    ASSERT_EQ(bare.Initialize("Label"), 1);
    EXPECT_EQ(bare.m_dwMediaState & 1, 1u);
    EXPECT_EQ(bare.m_nMediaKind, 0);
    EXPECT_TRUE(bare.m_arrTapes.empty());
}

TEST_F(LabelSetUp, TheHeldSettingsFollowTheSpecialTapeName) {
    sim::SimPrinter& stored = InstallLabel("Label", kFields, 16);
    RegisterLibrary("Label");
    RegisterLibrary(kDriver);
    std::vector<std::pair<uint16_t, uint16_t>> validated;  // (offset 2, offset 8) as validated
    stored.validate = [&](std::vector<uint8_t>& block) {
        devmode::View view(block.data(), block.size());
        validated.emplace_back(*view.Private<uint16_t>(2), *view.Private<uint16_t>(8));
    };
    Put16(stored.devMode, devmode::kPublicSize + 2, 0x0101);

    CQVPrinter special;
    ASSERT_EQ(special.Initialize("Label(Special Tape)"), 1);
    ASSERT_EQ(validated.size(), 1u);
    EXPECT_EQ(validated[0], (std::pair<uint16_t, uint16_t>{0x0105, 4}));
    EXPECT_EQ(*special.DevMode().Private<uint16_t>(8), 4);
    EXPECT_EQ(*special.DevMode().Private<uint16_t>(2), 0x0101);
    EXPECT_EQ(special.m_dwModelCode, uint32_t('1') | 0x10000);
    // Only the held copy changed.
    EXPECT_EQ(devmode::View(stored.devMode.data(), stored.devMode.size()).Private<uint16_t>(8),
              uint16_t{0});

    // A printer already in that mode is left alone; a plain name switches it back.
    Put16(stored.devMode, devmode::kPublicSize + 8, 4);
    CQVPrinter again;
    ASSERT_EQ(again.Initialize("Label(Special Tape)"), 1);
    EXPECT_EQ(validated.size(), 1u);
    CQVPrinter plain;
    ASSERT_EQ(plain.Initialize("Label"), 1);
    ASSERT_EQ(validated.size(), 2u);
    EXPECT_EQ(validated[1], (std::pair<uint16_t, uint16_t>{0x0105, 0}));
    EXPECT_EQ(*plain.DevMode().Private<uint16_t>(8), 0);
    EXPECT_EQ(plain.m_dwModelCode, uint32_t('1'));

    // A private area too short for the value at offset 8 is neither read nor written.
    sim::SimPrinter& generic = InstallLabel("Generic", kFields, 8);
    RegisterLibrary("Generic");
    generic.validate = stored.validate;
    CQVPrinter shortArea;
    ASSERT_EQ(shortArea.Initialize("Generic(Special Tape)"), 1);
    EXPECT_EQ(validated.size(), 2u);
    EXPECT_EQ(mediatest::HeldBlock(shortArea), generic.devMode);
    EXPECT_EQ(shortArea.m_dwModelCode, uint32_t('1'));
}

// A driver without information library: four papers, two of them user-defined.
sim::SimPrinter& InstallPaperDriver(mediatest::MediaMachine& m, sim::Machine& machine,
                                    int extraEntries) {
    (void)m;
    sim::SimPrinter& p = machine.spooler.InstallSimple("Plain", "Generic Label Driver");
    p.devMode = mediatest::DevModeBlock(kFields | win::DM_SCALE, 8);
    p.capabilities[win::DC_FIELDS] = int32_t(kFields | win::DM_SCALE);
    Put16(p.devMode, devmode::kPaperSize, 256);
    Put16(p.devMode, devmode::kOrientation, 2);
    Put16(p.devMode, devmode::kScale, 50);
    p.arrays.erase(win::DC_ENUMRESOLUTIONS);

    const char* names[] = {"12mm|Continuous", "User", "29mm x 90mm", "Custom"};
    sim::CapabilityArray paperNames;
    paperNames.countAnswer = paperNames.fillAnswer = 4;
    paperNames.bytes.assign(4 * 64, 0);
    for (int i = 0; i < 4; ++i)
        std::memcpy(&paperNames.bytes[size_t(i) * 64], names[i], std::strlen(names[i]));
    p.arrays[win::DC_PAPERNAMES] = paperNames;

    const int n = 4 + extraEntries;
    sim::CapabilityArray sizes, codes;
    sizes.countAnswer = sizes.fillAnswer = codes.countAnswer = codes.fillAnswer = n;
    sizes.bytes.assign(size_t(n) * 8, 0);
    codes.bytes.assign(size_t(n) * 2, 0);
    const int widths[] = {120, 500, 290, 600}, lengths[] = {290, 500, 900, 600};
    const int codeList[] = {300, 256, 301, 262};
    for (int i = 0; i < n; ++i) {
        mediatest::Put32(sizes.bytes, size_t(i) * 8, uint32_t(i < 4 ? widths[i] : 999));
        mediatest::Put32(sizes.bytes, size_t(i) * 8 + 4, uint32_t(i < 4 ? lengths[i] : 999));
        Put16(codes.bytes, size_t(i) * 2, i < 4 ? codeList[i] : 999);
    }
    p.arrays[win::DC_PAPERSIZE] = sizes;
    p.arrays[win::DC_PAPERS] = codes;
    // The driver's pages in dots at 300 dpi and its unprintable margins.
    machine.gdi.SetPaperEscapes(300, 142, 343, 6, 10);
    machine.gdi.SetPaperEscapes(301, 343, 1063, 12, 20);
    return p;
}

TEST_F(LabelSetUp, WithoutALibraryTheDriverPapersAreMeasured) {
    sim::SimPrinter& stored = InstallPaperDriver(*this, machine, 0);
    CQVPrinter printer;
    ASSERT_EQ(printer.Initialize("Plain"), 1);
    EXPECT_TRUE(Calls().empty());

    // The user-defined papers 256 and 262 are dropped; dmPaperSize 256 becomes the first code.
    ASSERT_EQ(printer.m_arrTapes.size(), 2u);
    const _TAPELIST& narrow = printer.m_arrTapes[0];
    EXPECT_EQ(narrow.wPaperCode, 300);
    EXPECT_EQ(narrow.wBasePaperCode, 300);
    EXPECT_STREQ(narrow.szName, "12mm|Continuous");
    EXPECT_STREQ(narrow.szName2, "12mm|Continuous");
    EXPECT_EQ(narrow.nWidthTenths, 120);
    EXPECT_EQ(narrow.nLengthTenths, 290);
    EXPECT_EQ(narrow.nWidthDots, 142);
    EXPECT_EQ(narrow.nLengthDots, 343);
    EXPECT_EQ(narrow.nSideMargin, 6);
    EXPECT_EQ(narrow.nEndMargin, 10);
    EXPECT_EQ(narrow.nPrintableWidth, 130);
    EXPECT_EQ(narrow.nPrintableLength, 323);
    EXPECT_EQ(narrow.nTapeClass, 1);
    EXPECT_EQ(printer.m_arrTapes[1].wPaperCode, 301);

    // One context per tape with its paper, one more with the settings restored.
    const auto& log = machine.gdi.log;
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].paperSize, 300);
    EXPECT_EQ(log[0].orientation, 1);
    EXPECT_EQ(log[1].paperSize, 301);
    EXPECT_EQ(log[2].paperSize, 300);
    EXPECT_EQ(log[2].orientation, 2);
    EXPECT_EQ(log[0].driver, "Generic Label Driver");
    EXPECT_EQ(log[0].device, "Plain");
    EXPECT_EQ(log[0].port, "USB001");
    EXPECT_EQ(machine.gdi.liveContexts(), 0);
    devmode::View held = printer.DevMode();
    EXPECT_EQ(*held.Raw16(devmode::kPaperSize), 300);
    EXPECT_EQ(*held.Raw16(devmode::kOrientation), 2);
    EXPECT_EQ(*held.Raw16(devmode::kScale), 100);
    EXPECT_EQ(printer.m_extent.nMargin1, 20);
    EXPECT_EQ(printer.m_extent.nMargin2, 12);
    EXPECT_EQ(printer.m_extent.nMargin3, 20);
    EXPECT_EQ(printer.m_extent.nMargin4, 12);

    // No resolution was enumerated: the first tape's dots per inch (a tape narrower than an
    // inch), rounded to tens.
    EXPECT_EQ(printer.m_nResX, 300);
    EXPECT_EQ(printer.m_nResY, 300);
    EXPECT_EQ(printer.m_nMediaKind, 2);
    EXPECT_EQ(printer.m_nCap276, 1);
    EXPECT_EQ(printer.m_dwMediaState & 1, 1u);
    EXPECT_EQ(printer.m_dwFeatureFlags, 0x51u | 0x20u);
    EXPECT_EQ(printer.m_wMediaFlags, 9);
    EXPECT_EQ(printer.m_nColors, 2);
    EXPECT_EQ(printer.m_nCopiesLimit, 999);
    // No usable extents: from the largest and smallest tape.
    EXPECT_EQ(printer.m_extent.nMaxWidth, 343);
    EXPECT_EQ(printer.m_extent.nMaxLength, 1063);
    EXPECT_EQ(printer.m_extent.nMinWidth, 142);
    EXPECT_EQ(printer.m_extent.nMinLength, 343);
    // The stored settings were not written.
    EXPECT_EQ(
        devmode::View(stored.devMode.data(), stored.devMode.size()).Raw16(devmode::kPaperSize),
        int16_t{256});
}

TEST_F(LabelSetUp, OnlyUserPapersOrAShortPublicPartLeaveTheDriverBytesAsTheyWere) {
    // Every paper listed is user-defined: none is left, and dmPaperSize 256 has no first code
    // to become.
    sim::SimPrinter& users = InstallPaperDriver(*this, machine, 0);
    Put16(users.arrays[win::DC_PAPERS].bytes, 0, 262);
    Put16(users.arrays[win::DC_PAPERS].bytes, 4, 262);
    CQVPrinter none;
    ASSERT_EQ(none.Initialize("Plain"), 1);
    EXPECT_TRUE(none.m_arrTapes.empty());
    EXPECT_EQ(*none.DevMode().Raw16(devmode::kPaperSize), 256);

    // A dmSize ending before dmPaperSize, or inside dmFields: the bytes from there on are the
    // driver's own, and measuring the papers writes none of them.
    for (size_t end : {devmode::kPaperSize, devmode::kFields + 2}) {
        SCOPED_TRACE(end);
        sim::SimPrinter& cut = InstallPaperDriver(*this, machine, 0);
        Put16(cut.devMode, devmode::kSize, int(end));
        Put16(cut.devMode, devmode::kFields + 2, 0x5A5A);
        CQVPrinter printer;
        ASSERT_EQ(printer.Initialize("Plain"), 1);
        ASSERT_EQ(printer.m_nDevModeSize, int32_t(cut.devMode.size()));
        const uint8_t* held = printer.DevModeBytes();
        EXPECT_EQ(std::vector<uint8_t>(held + end, held + cut.devMode.size()),
                  std::vector<uint8_t>(cut.devMode.begin() + long(end), cut.devMode.end()));
    }

    // A library keeping only custom papers, of a driver listing none: dmPaperSize stays.
    RegisterLibrary("Generic Label Driver");
    infosim::Data data = infosim::DefaultData();
    data.answers = {{269, 0x10000100}, {278, '2'}};
    data.answerTapes = data.answerFeeds = false;
    SetLibrary(data);
    sim::SimPrinter& standard = InstallPaperDriver(*this, machine, 0);
    for (size_t i = 0; i < 4; ++i) Put16(standard.arrays[win::DC_PAPERS].bytes, i * 2, int(5 + i));
    Put16(standard.devMode, devmode::kPaperSize, 9);
    CQVPrinter custom;
    ASSERT_EQ(custom.Initialize("Plain"), 1);
    EXPECT_NE(custom.m_dwModelCode, 0u);
    EXPECT_TRUE(custom.m_arrTapes.empty());
    EXPECT_EQ(*custom.DevMode().Raw16(devmode::kPaperSize), 9);
}

TEST_F(LabelSetUp, ADriverAnsweringMoreSizesThanNamesFillsOnlyTheNamedEntries) {
    InstallPaperDriver(*this, machine, 3);
    CQVPrinter printer;
    ASSERT_EQ(printer.Initialize("Plain"), 1);
    ASSERT_EQ(printer.m_arrTapes.size(), 2u);
    for (const auto& t : printer.m_arrTapes) EXPECT_NE(t.wPaperCode, 999);

    // A context that cannot be created ends the measuring with the paper put back.
    machine.gdi.log.clear();
    machine.gdi.failCreateICCall = machine.gdi.calls + 2;
    CQVPrinter failing;
    ASSERT_EQ(failing.Initialize("Plain"), 1);
    EXPECT_EQ(machine.gdi.log.size(), 2u);
    EXPECT_EQ(*failing.DevMode().Raw16(devmode::kPaperSize), 300);
    EXPECT_EQ(*failing.DevMode().Raw16(devmode::kOrientation), 2);
    EXPECT_EQ(failing.m_arrTapes[0].nWidthDots, 142);
    EXPECT_EQ(failing.m_arrTapes[1].nWidthDots, 0);

    // Names written beyond the count answered go nowhere.
    InstallPaperDriver(*this, machine, 0).arrays[win::DC_PAPERNAMES].countAnswer = 2;
    CQVPrinter fewer;
    ASSERT_EQ(fewer.Initialize("Plain"), 1);
    ASSERT_EQ(fewer.m_arrTapes.size(), 1u);  // 300, and 256 dropped
    EXPECT_STREQ(fewer.m_arrTapes[0].szName, "12mm|Continuous");
}

TEST_F(LabelSetUp, FormsAreReadFromThePrivatePartOnlyWhereTheBlockHoldsIt) {
    // A library telling either private layout: the forms come from the held settings.
    for (uint32_t layout : {media::kNewLayout, media::kOldLayout}) {
        SCOPED_TRACE(layout);
        const bool isNew = layout == media::kNewLayout;
        const size_t area =
            isNew ? media::kPrivForms + media::kFormSize : media::kOldForms + media::kOldFormSize;
        sim::SimPrinter& stored = InstallLabel("Label", kFields, area);
        RegisterLibrary(kDriver);
        infosim::Data data = infosim::DefaultData();
        data.answers[269] = int32_t(layout);
        SetLibrary(data);
        const size_t priv = devmode::kPublicSize;
        if (isNew) {
            Put16(stored.devMode, priv + media::kPrivTag,
                  int(media::kPrivForms + media::kFormSize));
            Put16(stored.devMode, priv + media::kPrivFormCount, 1);
            Put16(stored.devMode, priv + media::kPrivForms, 1000);
        } else {
            stored.devMode[priv + media::kOldFormCount] = 1;
        }
        CQVPrinter printer;
        ASSERT_EQ(printer.Initialize("Label"), 1);
        ASSERT_EQ(printer.m_arrForms.size(), 1u);
        EXPECT_EQ(printer.m_arrForms[0].wFormCode, isNew ? 1000 : 306);
        EXPECT_EQ(printer.m_wMediaFlags & 0x100, 0x100);

        // A dmSize that leaves no private part in the block the driver reported, or claims one
        // past its end, gives no forms: nothing is read past the block.
        for (size_t size : {stored.devMode.size(), stored.devMode.size() + 1, size_t{0xFFFF}}) {
            SCOPED_TRACE(size);
            Put16(stored.devMode, devmode::kSize, int(size));
            CQVPrinter beyond;
            ASSERT_EQ(beyond.Initialize("Label"), 1);
            EXPECT_TRUE(beyond.m_arrForms.empty());
            EXPECT_EQ(beyond.m_wMediaFlags & 0x100, 0);
        }

        // A block ending inside the form count gives no forms, and nothing past it is read.
        sim::SimPrinter& cut =
            InstallLabel("Cut", kFields, isNew ? media::kPrivFormCount + 1 : media::kOldFormCount);
        if (isNew) Put16(cut.devMode, priv + media::kPrivTag, 3030);
        CQVPrinter shortBlock;
        ASSERT_EQ(shortBlock.Initialize("Cut"), 1);
        EXPECT_TRUE(shortBlock.m_arrForms.empty());
    }
}

TEST_F(LabelSetUp, CopyLimitAndItsFeatureBit) {
    InstallLabel("One", kFields, 16).capabilities[win::DC_COPIES] = 1;
    InstallLabel("Many", kFields, 16).capabilities[win::DC_COPIES] = 10000;
    InstallLabel("NoField", win::DM_PAPERSIZE, 16).capabilities[win::DC_COPIES] = 10000;
    CQVPrinter one, many, noField;
    ASSERT_EQ(one.Initialize("One"), 1);
    ASSERT_EQ(many.Initialize("Many"), 1);
    ASSERT_EQ(noField.Initialize("NoField"), 1);
    EXPECT_EQ(one.m_nCopiesLimit, 1);
    EXPECT_EQ(one.m_dwFeatureFlags & 0x20, 0u);
    EXPECT_EQ(many.m_nCopiesLimit, 5000);
    EXPECT_EQ(many.m_dwFeatureFlags & 0x20, 0x20u);
    EXPECT_EQ(noField.m_nCopiesLimit, 5000);
    EXPECT_EQ(noField.m_dwFeatureFlags & 0x20, 0u);
}

}  // namespace
