// Bad answers from the printer and bad package files, through the whole program against the
// simulated printer: every run ends in its message with the main dialog still open (or with
// the defined completion), and the printer's call log shows that no package went to a printer
// the user did not confirm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "hostile_harness.h"

using hostile::Calls;
using hostile::Session;

namespace {

constexpr char kConfirmTail[] =
    ".\n\nThis firmware update is version 1.06.\n\nOK to update the current M100 firmware?\n\n\n";

// The reply the printer gives to the information request in the next run.
uint8_t g_reply[32];
int32_t ULMA_WINAPI ScriptedRead(char* printerName, int32_t zero, uint8_t* data, uint32_t length,
                                 uint32_t* count, uint32_t timeout) {
    uint8_t ignored[32];
    if (simprinter::Instance().QVReadFile(printerName, zero, ignored, 32, count, timeout) == 0)
        return 0;
    std::memcpy(data, g_reply, std::min<uint32_t>(length, 32));
    return 1;
}

// The status block the printer gives in the next run, and the result of XMGetStatus.
uint8_t g_status[32];
int32_t g_statusResult = 0;
int32_t ULMA_WINAPI ScriptedStatus(uint8_t* status32, int32_t value) {
    simprinter::Instance().XMGetStatus(status32, value);
    std::memcpy(status32, g_status, 32);
    return g_statusResult;
}

std::string Ini(const std::string& second = "") {
    return std::string("[UPDATE]\r\nNewVersion=1.06\r\nCountry=c\r\nDriverName=") +
           apptest::kDriver +
           "\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\nKF7FileName2=" + second + "\r\n";
}

}  // namespace

TEST(HostilePrinter, ShortAndJunkRepliesAreShownAsTheyCameAndRefusedByTheCode) {
    // Fewer than 32 bytes: the missing ones read as 0, so the version is cut and the empty
    // system information differs from Country "c" once the user has said Yes.
    for (uint32_t length : {0u, 1u, 27u, 28u, 30u, 31u}) {
        SCOPED_TRACE(length);
        Session s;
        s.Install("P1");
        hostile::ChangePrinter([&](simprinter::State& st) { st.replyLength = length; });
        s.p.Run();
        std::string version = std::string("1.05").substr(0, length > 27 ? length - 27 : 0);
        EXPECT_EQ(s.BoxTexts(), (std::vector<std::string>{
                                    "The current firmware version is " + version + kConfirmTail,
                                    "The printer system information is different."}));
        EXPECT_TRUE(Calls("XMSendFile").empty());
        EXPECT_TRUE(s.exitPressed);
        s.ExpectNothingUnconfirmed();
    }
    // Junk: four version bytes with no terminator are taken as four characters and nothing
    // more; a code outside b..y is not appended and does not match.
    struct Case {
        std::string version;  // bytes 27..30
        uint8_t code;         // byte 31
        std::string shown;
    };
    for (const Case& c :
         {Case{"9.99", 'Z', "9.99"}, Case{"\xFF\xFE\x01\x7F", 0xFF, "\xFF\xFE\x01\x7F"},
          Case{std::string("1\0"
                           "23",
                           4),
               '{', "1"}}) {
        Session s;
        s.Install("P1");
        std::memset(g_reply, 0xEE, sizeof g_reply);
        std::memcpy(g_reply + 27, c.version.data(), 4);
        g_reply[31] = c.code;
        auto qv = simprinter::QvFiloExports();
        qv["QVReadFile"] = reinterpret_cast<void*>(&ScriptedRead);
        s.p.machine.modules.Register("qvfilo.dll", qv);
        s.p.Run();
        EXPECT_EQ(s.BoxTexts(), (std::vector<std::string>{
                                    "The current firmware version is " + c.shown + kConfirmTail,
                                    "The printer system information is different."}));
        EXPECT_TRUE(Calls("XMSendFile").empty());
        s.ExpectNothingUnconfirmed();
    }
}

TEST(HostilePrinter, StatusBlocksThatAreNotReadyEndTheCommandBeforeAnyWrite) {
    struct Case {
        uint8_t first[3];
        int32_t result;
    };
    for (const Case& c :
         {Case{{0x80, 0x20, 0x42}, 0}, Case{{0x81, 0x21, 0x42}, 0}, Case{{0x81, 0x20, 0x43}, 0},
          Case{{0xFF, 0xFF, 0xFF}, 0}, Case{{0x00, 0x00, 0x00}, 0}, Case{{0x81, 0x20, 0x42}, 7},
          Case{{0x81, 0x20, 0x42}, -1}}) {
        Session s;
        s.Install("P1");
        std::memset(g_status, 0xA5, sizeof g_status);
        std::memcpy(g_status, c.first, 3);
        g_statusResult = c.result;
        auto xm = simprinter::XmLinkExports();
        xm["XMGetStatus"] = reinterpret_cast<void*>(&ScriptedStatus);
        s.p.machine.modules.Register("XmLink.dll", xm);
        s.p.Run();
        auto boxes = s.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, hostile::kCannotCommunicate);
        EXPECT_EQ(boxes[0].type & win::MB_ICONMASK, win::MB_ICONWARNING);
        EXPECT_TRUE(Calls("QVWriteFile").empty());
        EXPECT_TRUE(s.exitPressed);
    }
    {
        // XMCmdInit refusing at the status check.
        Session s;
        s.Install("P1");
        hostile::ChangePrinter([](simprinter::State& st) { st.cmdInitResult = 99; });
        s.p.Run();
        EXPECT_EQ(s.BoxTexts(), (std::vector<std::string>{hostile::kCannotCommunicate}));
        EXPECT_EQ(s.Boxes()[0].type & win::MB_ICONMASK, win::MB_ICONWARNING);
        EXPECT_TRUE(Calls("QVWriteFile").empty());
    }
    {
        // The largest cancel limit is only a limit: the update goes through.
        Session s;
        s.Install("P1");
        hostile::ChangePrinter([](simprinter::State& st) { st.cancelLimit = 0xFFFFFFFFu; });
        s.p.Run();
        ASSERT_EQ(s.BoxTexts().size(), 2u);
        EXPECT_EQ(s.BoxTexts()[1], "Completed the firmware update for M100.");
        s.ExpectNothingUnconfirmed();
    }
}

TEST(HostilePrinter, APrinterTheLibraryRefusesNeverGetsTheFirmwareMeantForAnother) {
    {
        // P1 fails its transfer; then the user picks P2, which the transfer-driver library cannot
        // select. P2 gets nothing, and P1 (still the library's target) gets nothing more.
        Session s;
        s.Install("P1");
        s.Install("P2");
        s.choices = {"P1", "P2"};
        hostile::ChangePrinter([](simprinter::State& st) {
            st.printerNames = {"P1"};
            st.sendFailPackage = 1;
            st.sendFailPercent = 50;
        });
        s.p.Run();
        auto texts = s.BoxTexts();
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[1], "Failed to transfer.");
        EXPECT_EQ(texts[2], hostile::kCannotCommunicate);
        EXPECT_EQ(Calls("XMSendFile").size(), 1u);
        EXPECT_EQ(s.confirmed, (std::set<std::string>{"P1"}));
        for (const char* f : {"QVWriteFile", "QVReadFile"})
            for (const std::string& line : Calls(f)) EXPECT_EQ(hostile::PrinterOf(line), "P1");
        // After P2's failed selection no command reaches the library's earlier target either.
        const std::vector<std::string> log = simprinter::Instance().Log();
        auto p2 = std::find_if(log.rbegin(), log.rend(), [](const std::string& line) {
            return line.rfind("XMInitPrinter printer=\"P2\"", 0) == 0;
        });
        ASSERT_NE(p2, log.rend());
        for (auto later = p2.base(); later != log.end(); ++later)
            for (const char* f : {"XMCmdInit", "XMGetStatus", "XMSendFile", "QV"})
                EXPECT_NE(later->rfind(f, 0), 0u) << *later;
        s.ExpectNothingUnconfirmed();
    }
    // A library failing every selection with its own codes: nothing is asked or sent.
    for (int32_t code : {1, -1, 0x7FFFFFFF, 8}) {
        Session t;
        t.Install("P1");
        hostile::ChangePrinter([&](simprinter::State& st) { st.initPrinterResult = code; });
        t.p.Run();
        EXPECT_EQ(t.BoxTexts(), (std::vector<std::string>{hostile::kCannotCommunicate})) << code;
        EXPECT_EQ(t.Boxes()[0].type & win::MB_ICONMASK, win::MB_ICONWARNING);
        EXPECT_TRUE(Calls("QVWriteFile").empty());
        EXPECT_TRUE(Calls("XMCmdInit").empty());
    }
}

TEST(HostilePrinter, AQueueMadeAgainForAnotherModelOrGoneAfterTheListWasFilledGetsNothing) {
    // P2 is listed; then its queue is removed and made again under the same name for another
    // model's driver: before Update is pressed (way 0) or while the question stands open
    // (way 1); or made again with a driver of no name, which must not pass for the second
    // driver name the configuration leaves empty (way 2). Or the queue can no longer be opened,
    // before Update (way 3) or while the question stands open (way 4), or its record can no
    // longer be read (way 5): a driver that cannot be told is not the model's. Nothing further
    // reaches P2.
    for (int way = 0; way < 6; ++way) {
        SCOPED_TRACE(way);
        Session s;
        s.Install("P1");
        s.Install("P2");
        s.choices = {"P2"};
        hostile::ChangePrinter([](simprinter::State& st) { st.printerNames = {"P1", "P2"}; });
        if (way == 2) s.p.SetIni(Ini());  // no InboxDriverName
        sim::SimSpooler& spooler = s.p.machine.spooler;
        auto replace = [&spooler, way] {
            if (way == 3 || way == 4) {
                spooler.Find("P2")->failOpen = true;
            } else if (way == 5) {
                spooler.Find("P2")->failGetPrinterCall = 2;  // the record's fill
            } else {
                spooler.InstallSimple("P2", way == 2 ? "" : "Another Model Driver");
            }
        };
        const bool atQuestion = way == 1 || way == 4 || way == 5;
        if (!atQuestion) {
            auto script = s.p.scripts[IDD_ULMAUPDATE_DIALOG];
            s.p.scripts[IDD_ULMAUPDATE_DIALOG] = [script, replace](const sim::DialogView& d,
                                                                   sim::SimUi& ui, int step) {
                if (step == 0) replace();
                script(d, ui, step);
            };
        } else {
            s.p.machine.ui.OnMessageBox([replace](const sim::MessageBoxRecord& box) {
                if ((box.type & win::MB_TYPEMASK) != win::MB_YESNO) return win::IDOK;
                replace();
                return win::IDYES;
            });
        }
        s.p.Run();
        auto texts = s.BoxTexts();
        ASSERT_EQ(texts.size(), atQuestion ? 2u : 1u);
        EXPECT_EQ(texts.back(), hostile::kCannotCommunicate);
        EXPECT_TRUE(Calls("XMSendFile").empty());
        EXPECT_TRUE(simprinter::Instance().ReceivedPackages().empty());
        if (!atQuestion) {
            EXPECT_TRUE(Calls("QVWriteFile").empty());
            EXPECT_TRUE(Calls("XMInitPrinter").empty());
        }
        EXPECT_TRUE(s.exitPressed);
    }
}

TEST(HostilePrinter, SendFailuresAndOutOfRangePercentagesEndAsFailedOrCancelled) {
    struct Case {
        uint32_t percent;
        int32_t result;
        uint32_t over100;
        std::string text;
    };
    for (const Case& c :
         {Case{0, 1, 0, "Failed to transfer."}, Case{50, -1, 0, "Failed to transfer."},
          Case{90, 0x7FFFFFFF, 0, "Failed to transfer."}, Case{100, 3, 0, "Failed to transfer."},
          Case{50, 8, 0, "Transferring cancelled."}, Case{0, 0, 101, "Transferring cancelled."},
          Case{0, 0, 0xFFFFFFFFu, "Transferring cancelled."}}) {
        SCOPED_TRACE(c.result);
        Session s;
        s.Install("P1");
        hostile::ChangePrinter([&](simprinter::State& st) {
            st.sendFailPackage = c.over100 ? 0 : 1;
            st.sendFailPercent = c.percent;
            st.sendFailResult = c.result;
            st.percentOver100 = c.over100;
        });
        s.p.Run();
        auto texts = s.BoxTexts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[1], c.text);
        if (c.text == "Failed to transfer.") {
            EXPECT_EQ(s.Boxes()[1].type & win::MB_ICONMASK, win::MB_ICONERROR);
        }
        EXPECT_TRUE(s.exitPressed);
        EXPECT_TRUE(simprinter::Instance().ReceivedPackages().empty());
        s.ExpectNothingUnconfirmed();
    }
}

TEST(HostilePackage, BadPackagesSendNothing) {
    struct Case {
        std::string first;
        std::string second;              // empty: no second package configured
        std::vector<std::string> after;  // boxes after the confirmation
        bool secondMissing = false;
        bool locked = false;
        int32_t secondLength = -1;
    };
    std::string lengthOnly = hostile::Package(100, 0).substr(0, 20);
    const std::vector<Case> cases = {
        {"", "", {}},                               // empty file: length 0
        {std::string(10, '\x90'), "", {}},          // shorter than a header
        {std::string(63, '\0'), "", {}},            // one byte short of a header
        {hostile::Package(0, 500), "", {}},         // length 0
        {lengthOnly, "", {"Failed to transfer."}},  // a length and no data
        {hostile::Package(-5, 500), "", {}},        // a negative sum: nothing to send
        {hostile::Package(INT32_MIN, 10), "", {}},
        {hostile::Package(1000, 999), "", {"Failed to transfer."}},
        {hostile::Package(256, 256), "", {"File not found:\n\nfw.kf7"}, false, true},
        {hostile::Package(256, 256), "fw2.kf7", {"File not found:\n\nfw2.kf7"}, true},
        {hostile::Package(256, 256), "fw2.kf7", {"Failed to transfer."}},  // fw2 length -1
        // Lengths adding up to 0: nothing to send, as for a single negative length.
        {hostile::Package(256, 256), "fw2.kf7", {}, false, false, -256},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        Session s;
        s.Install("P1");
        s.p.SetIni(Ini(c.second));
        s.p.machine.system.AddFile(hostile::kPackagePath, c.first);
        if (!c.second.empty() && !c.secondMissing)
            s.p.machine.system.AddFile("C:\\Tools\\fw2.kf7", hostile::Package(c.secondLength, 10));
        if (c.locked) s.p.machine.system.LockFile(hostile::kPackagePath);
        s.p.Run();
        auto texts = s.BoxTexts();
        ASSERT_GE(texts.size(), 1u);
        EXPECT_EQ(texts[0].rfind("The current firmware version is 1.05c.", 0), 0u);
        EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()), c.after);
        EXPECT_TRUE(Calls("XMSendFile").empty());
        EXPECT_TRUE(s.exitPressed);
        EXPECT_EQ(s.p.machine.system.OpenFileCount(), 0);
        s.ExpectNothingUnconfirmed();
    }
}
