// Discovery of the supported printers and the printer list: which queues are listed, which are
// never touched, selection by name, the wait cursor, and spooler failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "printers/printerlist.h"

namespace {

constexpr const char* kDriver = "QV-500 Driver";
constexpr const char* kInbox = "QV-500 Inbox";

class Discovery : public ::testing::Test {
  protected:
    sim::Machine machine;
    sim::SimSpooler& spooler = machine.spooler;
    CPrinterList list;

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& p : list.Printers()) names.push_back(CPrinterList::GetPrinterText(*p));
        return names;
    }
};

TEST_F(Discovery, ListsTheQueuesOfEitherDriverInSpoolerOrderAndNeverTouchesOthers) {
    spooler.InstallSimple("Office", "Other Driver");
    spooler.InstallSimple("Label A", kDriver);
    spooler.InstallSimple("Cased", "qv-500 driver");  // differs only in letter case
    spooler.InstallSimple("Broken", kDriver).failOpen = true;
    spooler.InstallSimple("Label B", kInbox);
    spooler.InstallSimple("Label A copy", kDriver);  // a second queue of the same driver

    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Label A", "Label B", "Label A copy"}));
    EXPECT_EQ(spooler.CallsFor("Office"), 0);
    EXPECT_EQ(spooler.CallsFor("Cased"), 0);
    EXPECT_EQ(spooler.counters.enumPrinters, 2);
    EXPECT_EQ(spooler.counters.openHandles(), 0);
    EXPECT_EQ(machine.ui.WaitCursorBegins(), 4);  // one per accepted record
    EXPECT_EQ(machine.ui.WaitCursorRestores(), 4);

    // Enumerating again adds nothing; a printer already listed still makes the result 1.
    ASSERT_EQ(list.SelectPrinterByName("Label B"), 1);
    spooler.ResetLog();
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kDriver), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Label A", "Label B", "Label A copy"}));
    EXPECT_EQ(spooler.CallsFor("Label A"), 0);
}

TEST_F(Discovery, NoSupportedPrinterAndSameDriverTwice) {
    spooler.InstallSimple("Office", "Other Driver");
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 0);
    EXPECT_EQ(list.GetCount(), 0);

    spooler.InstallSimple("Label", kDriver);
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kDriver), 1);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(spooler.counters.openPrinter, spooler.counters.closePrinter);
}

TEST_F(Discovery, EnumerationFailuresLeaveTheListUnchanged) {
    spooler.InstallSimple("Label", kDriver);
    // A printer installed between the size query and the fill: the buffer is too small.
    sim::SimPrinter late;
    late.name = "Late";
    late.driver = kDriver;
    spooler.installAfterSizeQuery.push_back(late);
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(spooler.counters.enumPrinters, 2);  // no second attempt

    spooler.failEnumeration = true;
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 0);
    spooler.failEnumeration = false;
    EXPECT_EQ(list.EnumeratePrinters(kDriver, nullptr), 1);
    EXPECT_EQ(list.GetCount(), 1);  // "Late" has no settings block: not listed
}

TEST_F(Discovery, ARecordCountBeyondTheFilledBufferIsNotTrusted) {
    spooler.InstallSimple("Label", kDriver);
    spooler.InstallSimple("Office", "Other Driver");
    // A fill reporting more records than its buffer holds: only the records in it are read.
    for (uint32_t count : {3u, 1000u, 0xFFFFFFFFu}) {
        spooler.enumCountAnswer = count;
        CPrinterList fresh;
        EXPECT_EQ(fresh.EnumeratePrinters(kDriver, kInbox), 1);
        ASSERT_EQ(fresh.GetCount(), 1);
        EXPECT_EQ(CPrinterList::GetPrinterText(*fresh.Printers().front()), "Label");
    }
    // A fill reporting fewer records gives only those: "Office" is not seen.
    spooler.enumCountAnswer = 1;
    EXPECT_EQ(list.EnumeratePrinters(kInbox, "Other Driver"), 0);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(spooler.CallsFor("Office"), 0);
}

TEST_F(Discovery, ASpecialTapeNameNeverOpensAQueueOfAnotherDriver) {
    // "Office(Special Tape)" is of the model's driver but addresses "Office", of another driver.
    spooler.InstallSimple("Office", "Other Driver");
    spooler.InstallSimple("Office(Special Tape)", kDriver);
    spooler.InstallSimple("Label", kDriver);
    spooler.InstallSimple("Label(Special Tape)", kInbox);
    spooler.InstallSimple("Ghost(Special Tape)", kDriver);  // addresses no installed queue
    // Opened under the name cut at its first suffix: "Office" again.
    spooler.InstallSimple("Office(Special Tape)(Special Tape)", kDriver);
    // The spooler opens "lbl" as "LBL", a queue of another driver: letter case does not count.
    spooler.InstallSimple("LBL", "Other Driver");
    spooler.InstallSimple("lbl(Special Tape)", kDriver);
    // The same with letters beyond A to Z: the spooler takes "\xE9" for "\xC9" (code page 1252).
    spooler.InstallSimple("\xC9TIQUETTE", "Other Driver");
    spooler.InstallSimple("\xE9tiquette(Special Tape)", kDriver);
    // Only the suffix: the name left is empty, which would open the print server itself.
    spooler.InstallSimple("(Special Tape)", kDriver);
    spooler.InstallSimple("(Special Tape)Label", kDriver);
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Label", "Label(Special Tape)"}));
    EXPECT_EQ(spooler.CallsFor("Office"), 0);
    EXPECT_EQ(spooler.CallsFor("lbl"), 0);
    EXPECT_EQ(spooler.CallsFor("LBL"), 0);
    EXPECT_EQ(spooler.CallsFor("\xE9tiquette"), 0);
    EXPECT_EQ(spooler.CallsFor("\xC9TIQUETTE"), 0);
    EXPECT_EQ(spooler.CallsFor("Ghost"), 1);  // tried, and absent
    for (const auto& call : spooler.log)
        EXPECT_FALSE(call.function == "OpenPrinter" && call.printer.empty());
}

TEST_F(Discovery, ANameTheSpoolerGivesToAQueueOfAnotherDriverTooIsNotListed) {
    // Queue names the code page cannot hold come back with '?' in place of the characters it
    // lacks, and the same text can then be the name of another queue: opening it reaches that
    // queue, of another driver.
    spooler.InstallSimple("Label?1", "Other Driver");
    spooler.InstallSimple("Label\u2605 1", kDriver).ansiName = "Label?1";
    spooler.InstallSimple("LABEL?2", "Other Driver");
    spooler.InstallSimple("Label\u2605 2(Special Tape)", kInbox).ansiName = "label?2(Special Tape)";
    spooler.InstallSimple("Label", kDriver);
    // The update goes to the name as listed, with its suffix: that too is another driver's queue.
    spooler.InstallSimple("Label?4(Special Tape)", "Other Driver");
    spooler.InstallSimple("Label\u2605 4(Special Tape)", kDriver).ansiName =
        "Label?4(Special Tape)";
    spooler.InstallSimple("Label?4", kDriver);
    // Two queues of the model's drivers under one text: opening it reaches one of them.
    spooler.InstallSimple("Label?3", kDriver);
    spooler.InstallSimple("Label\u2605 3", kInbox).ansiName = "Label?3";
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Label", "Label?4", "Label?3"}));
    EXPECT_EQ(spooler.CallsFor("Label?1"), 0);
    EXPECT_EQ(spooler.CallsFor("LABEL?2"), 0);
    EXPECT_EQ(spooler.CallsFor("label?2"), 0);

    // An enumeration that counts only our record: the other queue so named is not shown, and
    // the queue the name opens tells its driver.
    list.ResetForTest();
    spooler.Clear();
    spooler.InstallSimple("Label\u2605 1", kDriver).ansiName = "Label?1";
    spooler.InstallSimple("Label?1", "Other Driver");
    spooler.enumCountAnswer = 1;
    EXPECT_EQ(list.EnumeratePrinters(kDriver, kInbox), 0);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(Discovery, SelectingByName) {
    spooler.InstallSimple("Label", kDriver);
    spooler.InstallSimple("Office", "Other Driver");
    std::string current = "stale";
    EXPECT_EQ(list.GetCurrentPrinterName(current), 0);
    EXPECT_EQ(current, "");

    ASSERT_EQ(list.EnumeratePrinters(kDriver, kInbox), 1);
    ASSERT_EQ(list.SelectPrinterByName("Label"), 1);
    EXPECT_EQ(list.GetCurrentPrinterName(current), 1);
    EXPECT_EQ(current, "Label");

    // Selecting a listed name again creates nothing and touches no printer.
    spooler.ResetLog();
    EXPECT_EQ(list.SelectPrinterByName("Label"), 1);
    EXPECT_EQ(spooler.counters.total(), 0);
    EXPECT_EQ(list.GetCount(), 1);

    // The list finds names byte for byte; a name that opens no queue is not selected.
    EXPECT_EQ(list.FindPrinter("label"), nullptr);
    EXPECT_EQ(list.SelectPrinterByName("No such"), 0);
    // An empty name (an empty choice) is refused before any queue is opened.
    spooler.ResetLog();
    EXPECT_EQ(list.SelectPrinterByName(""), 0);
    EXPECT_EQ(list.SelectPrinterByName(nullptr), 0);
    EXPECT_TRUE(spooler.log.empty());
    list.GetCurrentPrinterName(current);
    EXPECT_EQ(current, "Label");

    // A queue of another driver can still be chosen by name: it goes to the tail.
    ASSERT_EQ(list.SelectPrinterByName("Office"), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Label", "Office"}));
    list.GetCurrentPrinterName(current);
    EXPECT_EQ(current, "Office");
    EXPECT_EQ(machine.ui.WaitCursorBegins(), machine.ui.WaitCursorRestores());

    list.ResetForTest();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetCurrentPrinterName(current), 0);
}

TEST(DiscoveryJapanese, DoubleByteNamesAreListedAndFoundExactly) {
    sim::MachineOptions options;
    options.language = sim::Language::Japanese;
    sim::Machine machine(options);
    // Code page 932 text whose second bytes include '\\' (0x5C) and '|' (0x7C).
    const std::string name = "\x95\x5C\x8E\xA6\x83\x76\x83\x8A\x83\x93\x83\x5E";
    const std::string other = "\x95\x5C\x8E\xA6";
    machine.spooler.InstallSimple(name, kDriver);
    machine.spooler.InstallSimple(other, kDriver);
    // Second bytes in the range of capital letters are not letters: "\x83\x41" is not the name
    // "\x83\x61" of another driver's queue in another case.
    machine.spooler.InstallSimple("\x83\x41", kDriver);
    machine.spooler.InstallSimple("\x83\x61", "Other Driver");
    machine.spooler.InstallSimple("\x83\x42(Special Tape)", kDriver);
    machine.spooler.InstallSimple("\x83\x42", kDriver);
    machine.spooler.InstallSimple("\x83\x62", "Other Driver");
    CPrinterList list;
    ASSERT_EQ(list.EnumeratePrinters(kDriver, kInbox), 1);
    ASSERT_EQ(list.GetCount(), 5);
    EXPECT_EQ(CPrinterList::GetPrinterText(*list.FindPrinter(name.c_str())), name);
    EXPECT_EQ(CPrinterList::GetPrinterText(*list.FindPrinter(other.c_str())), other);
}

}  // namespace
