// The label printer object: which queue a listed name addresses, and which names are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/sim/machine.h"
#include "printers/qvprinter.h"

namespace {

constexpr const char* kDriver = "QV-500 Driver";

class LabelPrinter : public ::testing::Test {
  protected:
    sim::Machine machine;
    sim::SimSpooler& spooler = machine.spooler;
};

TEST_F(LabelPrinter, TheSpecialTapeSuffixNamesTheQueueWithoutIt) {
    EXPECT_EQ(CQVPrinter::GetSpecialTapeSuffix(), "(Special Tape)");
    spooler.InstallSimple("Label", kDriver);

    CQVPrinter special;
    ASSERT_EQ(special.Initialize("Label(Special Tape)"), 1);
    EXPECT_STREQ(special.m_szDisplayName, "Label(Special Tape)");
    EXPECT_STREQ(special.m_szPrinterName, "Label");
    EXPECT_EQ(special.m_dwState & 1, 1u);
    EXPECT_EQ(spooler.CallsFor("Label(Special Tape)"), 0);

    // Cut at the first occurrence.
    CQVPrinter twice;
    ASSERT_EQ(twice.Initialize("Label(Special Tape)x(Special Tape)"), 1);
    EXPECT_STREQ(twice.m_szPrinterName, "Label");

    // With a blank before the suffix the queue "Label " is meant, and there is none.
    CQVPrinter blank;
    EXPECT_EQ(blank.Initialize("Label (Special Tape)"), 0);
    EXPECT_EQ(spooler.CallsFor("Label "), 1);
    spooler.InstallSimple("Label ", kDriver);
    CQVPrinter blank2;
    EXPECT_EQ(blank2.Initialize("Label (Special Tape)"), 1);
    EXPECT_STREQ(blank2.m_szPrinterName, "Label ");

    char text[] = "no suffix here";
    CQVPrinter::StripSpecialTapeSuffix(text);
    EXPECT_STREQ(text, "no suffix here");
    EXPECT_EQ(CQVPrinter::HasSpecialTapeSuffix("A(Special Tape)B"), 1);
    EXPECT_EQ(CQVPrinter::HasSpecialTapeSuffix("A(special tape)"), 0);
}

TEST_F(LabelPrinter, RefusedNamesTouchNoPrinter) {
    CQVPrinter nullName, empty, tooLong;
    EXPECT_EQ(nullName.Initialize(nullptr), 0);
    EXPECT_EQ(empty.Initialize(""), 0);
    // A name of 260 bytes cannot be held whole; cutting it would address another queue.
    std::string longName(260, 'L');
    spooler.InstallSimple(longName.substr(0, 259), kDriver);
    EXPECT_EQ(tooLong.Initialize(longName.c_str()), 0);
    EXPECT_EQ(spooler.counters.total(), 0);

    CQVPrinter longest;
    EXPECT_EQ(longest.Initialize(longName.substr(0, 259).c_str()), 1);
}

TEST_F(LabelPrinter, AFailedOpenOrUnansweredFieldsFailsTheInitialisation) {
    spooler.InstallSimple("Closed", kDriver).failOpen = true;
    spooler.InstallSimple("NoFields", kDriver).capabilities.erase(win::DC_FIELDS);
    CQVPrinter closed, noFields;
    EXPECT_EQ(closed.Initialize("Closed"), 0);
    EXPECT_EQ(noFields.Initialize("NoFields"), 0);
    // The settings block was read before the fields query failed; Release frees it.
    EXPECT_NE(noFields.m_pDevMode, nullptr);
    noFields.Release();
    EXPECT_EQ(noFields.m_pDevMode, nullptr);
    EXPECT_EQ(noFields.m_dwState, 0u);
    EXPECT_EQ(spooler.counters.openHandles(), 0);
}

TEST_F(LabelPrinter, ASettingsBlockShorterThanItsHeaderIsNeverReadPastItsEnd) {
    // The driver reports 20 bytes: too short even for dmSize. Measuring its paper still hands
    // the block to GDI, which must read only what the driver reported.
    auto& p = spooler.InstallSimple("Tiny", kDriver);
    p.devModeSizeAnswer = 20;
    sim::CapabilityArray names;
    names.countAnswer = names.fillAnswer = 1;
    names.bytes.assign(64, 0);
    std::memcpy(names.bytes.data(), "Tape", 4);
    p.arrays[win::DC_PAPERNAMES] = names;

    CQVPrinter printer;
    ASSERT_EQ(printer.Initialize("Tiny"), 1);
    EXPECT_EQ(printer.m_nDevModeSize, 20);
    ASSERT_EQ(printer.m_arrTapes.size(), 1u);
    EXPECT_STREQ(printer.m_arrTapes[0].szName, "Tape");
    ASSERT_EQ(machine.gdi.log.size(), 2u);  // the tape, then the restored settings
    EXPECT_TRUE(machine.gdi.log[0].withDevMode);
    EXPECT_EQ(machine.gdi.log[0].paperSize, 0);  // the block holds no dmPaperSize
    printer.Release();
}

}  // namespace
