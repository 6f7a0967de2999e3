// The simulated printer behind the stand-in libraries: what it answers, how injected faults show,
// what it logs and what it keeps of the packages it receives.
#include "standins/simprinter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "standins/infolib.h"
#include "standins/sim_exports.h"

namespace {

using simprinter::Core;
using simprinter::State;

const uint8_t kPreamble[4] = {0x1B, 0x69, 0x61, 0x01};
const uint8_t kInfo[4] = {0x1B, 0x69, 0x58, 0x53};

// The progress callback is a plain function: it reports into these.
std::vector<uint32_t> g_percents;
std::thread::id g_callbackThread;
uint32_t g_stopAt = 1000;  // return 0 once a percentage at or above this arrives

int32_t ULMA_WINAPI Progress(uint32_t percent) {
    g_percents.push_back(percent);
    g_callbackThread = std::this_thread::get_id();
    return percent >= g_stopAt ? 0 : 1;
}

struct Package {
    std::vector<uint8_t> header = std::vector<uint8_t>(64, 0);
    std::vector<uint8_t> data;
    uint32_t length = 0;
    explicit Package(uint32_t size, uint8_t seed) : data(size), length(size) {
        header[0] = 0x90;
        header[1] = 0x40;
        for (int i = 0; i < 4; ++i) header[16 + i] = static_cast<uint8_t>(size >> (8 * i));
        for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 3);
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> all = header;
        all.insert(all.end(), data.begin(), data.end());
        return all;
    }
};

class SimPrinterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        core.Reset();
        g_percents.clear();
        g_stopAt = 1000;
    }
    void TearDown() override { core.Reset(); }

    int32_t Send(const Package& p) {
        uint8_t status[32] = {};
        return core.XMSendFile(p.header.data(), p.data.data(), &p.length, status, 500000,
                               &Progress);
    }
    // Selects P1 and readies it, as the tool does before a transfer.
    void Ready() {
        uint8_t record[10] = {};
        ASSERT_EQ(0, core.XMInitPrinter("P1", record));
        ASSERT_EQ(0, core.XMCmdInit(1000));
    }
    // The version P1 reports to an information request, as its four reply bytes.
    std::string ReportedVersion() {
        char name[256] = "P1";
        uint32_t count = 0;
        uint8_t reply[32] = {};
        EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
        EXPECT_EQ(1, core.QVReadFile(name, 0, reply, 32, &count, 2000));
        return std::string(reinterpret_cast<char*>(reply + 27), 4);
    }

    Core& core = simprinter::Instance();
};

TEST_F(SimPrinterTest, InformationQueryAnswersVersionAndCodeAndIsLogged) {
    State s;
    s.version = "1.0";
    s.sysInfo = 'y';
    core.SetState(s);
    char name[256] = "P1";
    uint32_t count = 99;
    uint8_t reply[32] = {};

    // Nothing to read before the information request.
    EXPECT_EQ(0, core.QVReadFile(name, 0, reply, 32, &count, 2000));
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kPreamble, 4, &count, 10000));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
    EXPECT_EQ(1, core.QVReadFile(name, 0, reply, 32, &count, 2000));
    EXPECT_EQ(32u, count);
    EXPECT_EQ(std::string("1.0", 3), std::string(reinterpret_cast<char*>(reply + 27), 3));
    EXPECT_EQ(0, reply[30]);
    EXPECT_EQ('y', reply[31]);
    // The reply is consumed by the read.
    EXPECT_EQ(0, core.QVReadFile(name, 0, reply, 32, &count, 2000));

    // Other printer names are not answered.
    char other[256] = "P2";
    EXPECT_EQ(0, core.QVWriteFile(other, 0, kPreamble, 4, &count, 10000));
    EXPECT_EQ(0u, count);

    std::vector<std::string> log = core.Log();
    ASSERT_EQ(6u, log.size());
    EXPECT_EQ("QVReadFile printer=\"P1\" len=32 timeout=2000", log[0]);
    EXPECT_EQ("QVWriteFile printer=\"P1\" len=4 data=1B696101 timeout=10000", log[1]);
    EXPECT_EQ("QVWriteFile printer=\"P1\" len=4 data=1B695853 timeout=10000", log[2]);
    EXPECT_EQ("QVWriteFile printer=\"P2\" len=4 data=1B696101 timeout=10000", log[5]);
}

TEST_F(SimPrinterTest, RawIoFaults) {
    char name[256] = "P1";
    uint32_t count = 0;
    uint8_t reply[32] = {};
    State s;

    s.noAnswerPreamble = true;
    core.SetState(s);
    EXPECT_EQ(0, core.QVWriteFile(name, 0, kPreamble, 4, &count, 10000));
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));

    s = State();
    s.noAnswerInfo = true;
    core.SetState(s);
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kPreamble, 4, &count, 10000));
    EXPECT_EQ(0, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));

    s = State();
    s.noAnswerRead = true;
    core.SetState(s);
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
    EXPECT_EQ(0, core.QVReadFile(name, 0, reply, 32, &count, 2000));

    // A short reply delivers only its first bytes: version and code stay as the caller left them.
    s = State();
    s.replyLength = 29;
    core.SetState(s);
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
    EXPECT_EQ(1, core.QVReadFile(name, 0, reply, 32, &count, 2000));
    EXPECT_EQ(29u, count);
    EXPECT_EQ('1', reply[27]);
    EXPECT_EQ('.', reply[28]);
    EXPECT_EQ(0, reply[29]);
    EXPECT_EQ(0, reply[31]);

    // A slow printer takes each call's full time-out, through the core's clock.
    std::vector<uint32_t> waits;
    core.SetSleep([&](uint32_t ms) { waits.push_back(ms); });
    s = State();
    s.slowAnswer = true;
    core.SetState(s);
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
    EXPECT_EQ(1, core.QVReadFile(name, 0, reply, 32, &count, 2000));
    EXPECT_EQ((std::vector<uint32_t>{10000, 2000}), waits);
}

TEST_F(SimPrinterTest, SelectionAndStatus) {
    uint8_t record[10] = {};
    uint8_t status[32] = {};
    // Nothing works before a printer is selected, and an unknown name selects nothing.
    EXPECT_NE(0, core.XMCmdInit(1000));
    EXPECT_NE(0, core.XMInitPrinter("P9", record));
    EXPECT_NE(0, core.XMGetStatus(status, 1000));
    EXPECT_NE(0, core.XMCheckSupportPrinter("P9"));
    EXPECT_EQ(0, core.XMCheckSupportPrinter("P1"));

    State s;
    s.cancelLimit = 0x01020304;
    s.status[5] = 0x77;
    core.SetState(s);
    EXPECT_EQ(0, core.XMInitPrinter("P1", record));
    EXPECT_EQ("P1", core.CurrentPrinter());
    EXPECT_EQ(0, core.XMCmdInit(1000));
    EXPECT_EQ(0, core.XMGetStatus(status, 1000));
    EXPECT_EQ(0x81, status[0]);
    EXPECT_EQ(0x20, status[1]);
    EXPECT_EQ(0x42, status[2]);
    EXPECT_EQ(0x77, status[5]);
    EXPECT_EQ(0x04, status[24]);
    EXPECT_EQ(0x01, status[27]);

    s.statusNotReady = true;
    s.cmdInitResult = 5;
    core.SetState(s);
    EXPECT_EQ(5, core.XMCmdInit(1000));
    EXPECT_EQ(0, core.XMGetStatus(status, 1000));
    EXPECT_EQ(0x80, status[0]);

    // A failing selection forgets the earlier one.
    s.initPrinterResult = 7;
    core.SetState(s);
    EXPECT_EQ(7, core.XMInitPrinter("P1", record));
    EXPECT_EQ("", core.CurrentPrinter());
    EXPECT_EQ(simprinter::XM_ERR_NO_PRINTER, core.XMGetStatus(status, 1000));

    std::vector<std::string> log = core.Log();
    EXPECT_EQ("XMInitPrinter printer=\"P1\" record=00000000000000000000", log[5]);
    EXPECT_EQ("XMCmdInit value=1000", log[6]);
    EXPECT_EQ("XMGetStatus status=" + std::string(64, '0') + " value=1000", log[7]);
}

TEST_F(SimPrinterTest, SendReportsProgressAndKeepsWhatArrived) {
    State s;
    s.packages = 2;
    s.progressStep = 25;
    s.speed = 1000;
    core.SetState(s);
    std::vector<uint32_t> waits;
    core.SetSleep([&](uint32_t ms) { waits.push_back(ms); });
    Ready();

    Package a(2000, 1), b(300, 9);
    EXPECT_EQ(0, Send(a));
    EXPECT_EQ((std::vector<uint32_t>{0, 25, 50, 75, 100}), g_percents);
    EXPECT_EQ(std::this_thread::get_id(), g_callbackThread);
    // 2000 bytes at 1000 bytes/s in four steps.
    EXPECT_EQ((std::vector<uint32_t>{500, 500, 500, 500}), waits);
    // One package of two: the version is not yet the new one.
    EXPECT_EQ("1.05", core.GetState().version);
    EXPECT_EQ(0, Send(b));
    EXPECT_EQ("1.06", core.GetState().version);

    std::vector<simprinter::Received> got = core.ReceivedPackages();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ("P1", got[0].printer);
    EXPECT_EQ(a.Bytes(), got[0].bytes);
    EXPECT_EQ(b.Bytes(), got[1].bytes);

    const std::string line = core.Log()[2];
    EXPECT_EQ(0u, line.find("XMSendFile header=9040" + std::string(28, '0') + "D0070000"));
    EXPECT_NE(std::string::npos, line.find(" length=2000 status=" + std::string(64, '0') +
                                           " value=500000 printer=\"P1\" result=0"));

    // The new version shows in the next information reply.
    char name[256] = "P1";
    uint32_t count = 0;
    uint8_t reply[32] = {};
    core.QVWriteFile(name, 0, kInfo, 4, &count, 10000);
    core.QVReadFile(name, 0, reply, 32, &count, 2000);
    EXPECT_EQ("1.06", std::string(reinterpret_cast<char*>(reply + 27), 4));
}

TEST_F(SimPrinterTest, SendStopsOnCancelFaultsAndPercentagesAbove100) {
    State s;
    s.packages = 2;
    s.sendFailPackage = 2;
    s.sendFailPercent = 30;
    s.sendFailResult = 6;
    core.SetState(s);
    Ready();
    Package p(100, 0);

    // The callback asks to stop: result 8, nothing kept.
    g_stopAt = 20;
    EXPECT_EQ(8, Send(p));
    EXPECT_EQ((std::vector<uint32_t>{0, 10, 20}), g_percents);
    EXPECT_TRUE(core.ReceivedPackages().empty());

    // The second send since XMCmdInit fails at 30 % with the configured code.
    g_stopAt = 1000;
    g_percents.clear();
    EXPECT_EQ(6, Send(p));
    EXPECT_EQ((std::vector<uint32_t>{0, 10, 20}), g_percents);
    EXPECT_TRUE(core.ReceivedPackages().empty());
    EXPECT_EQ("1.05", core.GetState().version);

    // XMCmdInit starts the count again; a percentage above 100 replaces the final report.
    s.sendFailPackage = 0;
    s.percentOver100 = 101;
    s.packages = 1;
    core.SetState(s);
    EXPECT_EQ(0, core.XMCmdInit(1000));
    g_percents.clear();
    g_stopAt = 101;
    EXPECT_EQ(8, Send(p));
    EXPECT_EQ(101u, g_percents.back());
    EXPECT_EQ("1.05", core.GetState().version);

    // Bad arguments are refused without calling back.
    uint32_t zero = 0;
    g_percents.clear();
    EXPECT_EQ(simprinter::XM_ERR_BAD_ARGUMENT,
              core.XMSendFile(p.header.data(), p.data.data(), &zero, nullptr, 500000, &Progress));
    EXPECT_TRUE(g_percents.empty());
}

TEST_F(SimPrinterTest, StateFileRoundTripAndErrors) {
    State s;
    s.printerNames = {"Label A", "Label B"};
    s.version = "2.1";
    s.sysInfo = 0x05;
    s.status = {0x81, 0x20, 0x42, 0xFF};
    s.cancelLimit = 4096;
    s.sendFailPackage = 2;
    s.sendFailPercent = 50;
    s.sendFailResult = -3;
    s.slowAnswer = true;
    State back = simprinter::ParseState(simprinter::FormatState(s));
    EXPECT_EQ(simprinter::FormatState(s), simprinter::FormatState(back));
    EXPECT_EQ(s.printerNames, back.printerNames);
    EXPECT_EQ(0x05, back.sysInfo);
    EXPECT_EQ(-3, back.sendFailResult);

    std::vector<std::string> errors;
    simprinter::ParseState("version=1.05\nbogus=1\nspeed=-1\nfault_reply_length=33\n", &errors);
    EXPECT_EQ(3u, errors.size());
    EXPECT_FALSE(core.SetStateText("colour=red\n"));
    EXPECT_TRUE(core.SetStateText("# comment\n\nsysinfo=\nprinter = X \n"));
    EXPECT_EQ(0, core.GetState().sysInfo);
    EXPECT_EQ(std::vector<std::string>{"X"}, core.GetState().printerNames);
}

TEST_F(SimPrinterTest, StateNumbersAreDecimalWithLeadingZerosOrHexadecimal) {
    std::vector<std::string> errors;
    State s = simprinter::ParseState(
        "cancel_limit=0100\nspeed=08\nfault_init_printer=-010\nfault_send_percent=050\n"
        "packages=0x10\nfault_send_result=-0x2\n",
        &errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(100u, s.cancelLimit);
    EXPECT_EQ(8u, s.speed);
    EXPECT_EQ(-10, s.initPrinterResult);
    EXPECT_EQ(50u, s.sendFailPercent);
    EXPECT_EQ(16u, s.packages);
    EXPECT_EQ(-2, s.sendFailResult);

    simprinter::ParseState("speed=+5\nspeed=0x\nspeed=1e3\nfault_cmd_init=--1\n", &errors);
    EXPECT_EQ(4u, errors.size());
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST_F(SimPrinterTest, BoundFileGetsLogReceivedPackagesAndNewVersion) {
    std::string path = ::testing::TempDir() + "simprinter_test_state.ini";
    for (const std::string& f : {path, path + ".log", path + ".recv1.bin", path + ".recv2.bin"})
        std::remove(f.c_str());
    {
        std::ofstream out(path);
        out << "# kept\nprinter=P1\nversion=1.05\nnew_version=1.10\n";
    }
    core.BindFile(path);
    Ready();
    Package p(64, 3);
    EXPECT_EQ(0, Send(p));

    // The state file is re-read before every call: another process may have changed it.
    std::ofstream(path, std::ios::app) << "fault_cmd_init=9\n";
    EXPECT_EQ(9, core.XMCmdInit(1000));

    std::string state = ReadAll(path);
    EXPECT_NE(std::string::npos, state.find("# kept\n"));
    EXPECT_NE(std::string::npos, state.find("\nversion=1.10\n"));
    EXPECT_EQ(std::string::npos, state.find("version=1.05"));

    std::vector<uint8_t> bytes = p.Bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadAll(path + ".recv1.bin"));
    std::string log = ReadAll(path + ".log");
    EXPECT_EQ(0u, log.find("XMInitPrinter printer=\"P1\""));
    EXPECT_NE(std::string::npos, log.find("\nXMCmdInit value=1000\nXMSendFile header=9040"));
    EXPECT_EQ(4u, static_cast<size_t>(std::count(log.begin(), log.end(), '\n')));

    core.Reset();
    for (const std::string& f : {path, path + ".log", path + ".recv1.bin"}) std::remove(f.c_str());
}

TEST_F(SimPrinterTest, ACompletedUpdateShowsInTheNextReplyWhereverTheVersionLineStands) {
    std::string path = ::testing::TempDir() + "simprinter_test_two_versions.ini";
    for (const std::string& f : {path, path + ".log", path + ".recv1.bin"}) std::remove(f.c_str());
    // The last of two version lines is the one read, as a script appending a line leaves it.
    std::ofstream(path) << "printer=P1\nversion=0.99\nnew_version=1.10\nversion = 1.05\n";
    core.BindFile(path);
    EXPECT_EQ("1.05", ReportedVersion());

    Ready();
    EXPECT_EQ(0, Send(Package(16, 1)));
    EXPECT_EQ("1.10", ReportedVersion());
    EXPECT_EQ("1.10", simprinter::ParseState(ReadAll(path)).version);

    core.Reset();
    for (const std::string& f : {path, path + ".log", path + ".recv1.bin"}) std::remove(f.c_str());
}

TEST_F(SimPrinterTest, AStateFileWithABadLineAnswersNothingAndSaysWhy) {
    std::string path = ::testing::TempDir() + "simprinter_test_bad_state.ini";
    for (const std::string& f : {path, path + ".log"}) std::remove(f.c_str());
    // A fault written in a form the state file does not take must not leave a working printer
    // behind: the run that meant to test the fault would pass without it.
    std::ofstream(path) << "printer=P1\nfault_no_answer_read=yes\n";
    core.BindFile(path);
    char name[256] = "P1";
    uint32_t count = 0;
    uint8_t reply[32] = {};
    uint8_t record[10] = {};
    EXPECT_EQ(0, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
    EXPECT_EQ(0, core.QVReadFile(name, 0, reply, 32, &count, 2000));
    EXPECT_NE(0, core.XMInitPrinter("P1", record));
    EXPECT_NE(0, core.XMCheckSupportPrinter("P1"));
    EXPECT_EQ(std::vector<uint8_t>(32, 0), std::vector<uint8_t>(reply, reply + 32));

    // The reason is logged once for that text, before the first call it refused.
    std::vector<std::string> log = core.Log();
    ASSERT_EQ(5u, log.size());
    EXPECT_EQ("State error: line 2: bad value for 'fault_no_answer_read': 'yes'", log[0]);
    EXPECT_EQ(0u, log[1].find("QVWriteFile "));

    // A selection made before the file went bad is forgotten with it.
    std::ofstream(path) << "printer=P1\n";
    Ready();
    std::ofstream(path) << "printer=P1\nspeed=fast\n";
    uint8_t status[32] = {};
    EXPECT_NE(0, core.XMGetStatus(status, 1000));
    EXPECT_NE(0, core.XMCmdInit(1000));
    EXPECT_EQ("", core.CurrentPrinter());
    log = core.Log();
    EXPECT_EQ(1, std::count(log.begin(), log.end(),
                            "State error: line 2: bad value for 'speed': 'fast'"));

    // Mended, it answers again.
    std::ofstream(path) << "printer=P1\nfault_no_answer_read=1\n";
    EXPECT_EQ(1, core.QVWriteFile(name, 0, kInfo, 4, &count, 10000));
    EXPECT_EQ(0, core.QVReadFile(name, 0, reply, 32, &count, 2000));
    EXPECT_EQ(0, core.XMInitPrinter("P1", record));

    // The same mistake made again is reported again.
    std::ofstream(path) << "printer=P1\nspeed=fast\n";
    EXPECT_NE(0, core.XMCmdInit(1000));
    log = core.Log();
    EXPECT_EQ(2, std::count(log.begin(), log.end(),
                            "State error: line 2: bad value for 'speed': 'fast'"));

    core.Reset();
    for (const std::string& f : {path, path + ".log"}) std::remove(f.c_str());
}

TEST_F(SimPrinterTest, ExportTablesReachTheInProcessCore) {
    auto xm = simprinter::XmLinkExports();
    EXPECT_EQ(8u, xm.size());
    auto qv = simprinter::QvFiloExports();
    EXPECT_EQ(2u, qv.size());
    EXPECT_EQ(0u, simprinter::XmLinkExports({"XMDeleteFile"}).count("XMDeleteFile"));
    EXPECT_EQ(7u, simprinter::XmLinkExports({"XMDeleteFile"}).size());
    EXPECT_EQ(1u, simprinter::QvFiloExports({"QVReadFile"}).count("QVWriteFile"));
    EXPECT_EQ(0u, simprinter::QvFiloExports({"QVReadFile"}).count("QVReadFile"));

    auto init = reinterpret_cast<maker::PFN_XMInitPrinter>(xm.at("XMInitPrinter"));
    auto write = reinterpret_cast<maker::PFN_QVWriteFile>(qv.at("QVWriteFile"));
    uint8_t record[10] = {};
    char name[256] = "P1";
    uint32_t count = 0;
    EXPECT_EQ(0, init("P1", record));
    EXPECT_EQ(1, write(name, 0, kPreamble, 4, &count, 10000));
    EXPECT_EQ(2u, core.Log().size());
}

}  // namespace

namespace {

int16_t Get16(const char* p) {
    return static_cast<int16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

TEST(SimInfoLibraryTest, AnswersCountsAndConsistentRecords) {
    auto table = simprinter::QvInfoExports();
    auto caps = reinterpret_cast<maker::PFN_MyDeviceCapabilities>(table.at("MyDeviceCapabilities"));
    EXPECT_NE(0, caps("QL", "", 269, nullptr, nullptr) & 0x40000);
    EXPECT_EQ(-1, caps("QL", "", 271, nullptr, nullptr));

    int32_t n = caps("QL", "USB001", 257, nullptr, nullptr);
    ASSERT_GT(n, 0);
    // One spare record past the answer must stay untouched.
    std::vector<char> tapes((n + 1) * simprinter::kTapeRecordSize, '\x5A');
    EXPECT_EQ(n, caps("QL", "USB001", 257, tapes.data(), nullptr));
    for (int32_t i = 0; i < n; ++i) {
        const char* r = tapes.data() + i * simprinter::kTapeRecordSize;
        EXPECT_EQ(Get16(r + 2) - 2 * Get16(r + 6), Get16(r + 8));        // printable length
        EXPECT_EQ(Get16(r + 112) - 2 * Get16(r + 116), Get16(r + 118));  // printable width
        EXPECT_EQ(Get16(r + 0), Get16(r + 128));                         // ordinary tape
        EXPECT_EQ(1, r[130]);
        EXPECT_EQ('\0', r[12 + 49]);
        EXPECT_EQ('\0', r[62 + 49]);
    }
    EXPECT_EQ('\x5A', tapes[n * simprinter::kTapeRecordSize]);

    int32_t m = caps("QL", "USB001", 270, nullptr, nullptr);
    ASSERT_GT(m, 0);
    std::vector<char> feeds((m + 1) * simprinter::kFeedRecordSize, '\x5A');
    EXPECT_EQ(m, caps("QL", "USB001", 270, feeds.data(), nullptr));
    EXPECT_EQ('\x5A', feeds[m * simprinter::kFeedRecordSize]);
    EXPECT_GT(Get16(feeds.data() + 1), 0);

    EXPECT_EQ(0u, simprinter::QvInfoExports({"MyDeviceCapabilities"}).size());
}

}  // namespace
