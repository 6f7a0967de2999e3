// The printer information query over the raw I/O library: exact commands, arguments and
// time-outs, the failure outcomes, and what the reply bytes yield.
#include "app/rawio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Call {
    bool write;
    std::string name;
    int32_t zero;
    std::vector<uint8_t> data;
    uint32_t length;
    const uint32_t* count;
    uint32_t timeout;
};

std::vector<Call> g_calls;
int g_failAt = 0;             // 1-based call that fails; 0 = none
bool g_leaveScratch = false;  // the library leaves its own bytes in the name buffer
uint8_t g_reply[32];

int32_t Record(bool write, char* name, int32_t zero, const uint8_t* data, uint32_t length,
               const uint32_t* count, uint32_t timeout) {
    Call c{write, name, zero, {}, length, count, timeout};
    // The library may write into the name buffer: probe that 256 bytes are writable.
    char saved[256];
    std::memcpy(saved, name, sizeof saved);
    std::memset(name, 'x', sizeof saved);
    if (!g_leaveScratch) std::memcpy(name, saved, sizeof saved);
    if (write) c.data.assign(data, data + length);
    g_calls.push_back(c);
    return static_cast<int>(g_calls.size()) == g_failAt ? 0 : 1;
}

int32_t FakeWrite(char* name, int32_t zero, const uint8_t* data, uint32_t length, uint32_t* count,
                  uint32_t timeout) {
    return Record(true, name, zero, data, length, count, timeout);
}

int32_t FakeRead(char* name, int32_t zero, uint8_t* data, uint32_t length, uint32_t* count,
                 uint32_t timeout) {
    // The buffer must arrive zeroed: fill only part of it, as a short reply would.
    for (uint32_t i = 0; i < length; ++i) EXPECT_EQ(data[i], 0) << "byte " << i;
    int32_t result = Record(false, name, zero, nullptr, length, count, timeout);
    if (result) std::memcpy(data, g_reply, length < 32 ? length : 32);
    return result;
}

class FakeModule : public plat::IModule {
  public:
    void* GetProcAddress(const char*) override { return nullptr; }
};

class RawIo : public ::testing::Test {
  protected:
    void SetUp() override {
        g_calls.clear();
        g_failAt = 0;
        g_leaveScratch = false;
        std::memset(g_reply, 0, sizeof g_reply);
        g_hQVFilo = std::make_unique<FakeModule>();
        g_pfnQVWriteFile = &FakeWrite;
        g_pfnQVReadFile = &FakeRead;
    }
    void TearDown() override {
        g_hQVFilo.reset();
        g_pfnQVWriteFile = nullptr;
        g_pfnQVReadFile = nullptr;
    }
    void SetReply(const char* version, uint8_t code) {
        std::memset(g_reply, 0, sizeof g_reply);
        std::copy_n(version, std::min<size_t>(std::strlen(version), 4), g_reply + 27);
        g_reply[31] = code;
    }
};

}  // namespace

TEST_F(RawIo, QuerySendsTwoCommandsThenReadsWithExactArguments) {
    SetReply("1.05", 'c');
    PrinterInfo info;
    ASSERT_EQ(QueryPrinterInfo("Label Printer 1", info), QueryResult::Success);
    ASSERT_EQ(g_calls.size(), 3u);

    EXPECT_TRUE(g_calls[0].write);
    EXPECT_EQ(g_calls[0].data, (std::vector<uint8_t>{0x1B, 0x69, 0x61, 0x01}));
    EXPECT_EQ(g_calls[0].timeout, 10000u);
    EXPECT_TRUE(g_calls[1].write);
    EXPECT_EQ(g_calls[1].data, (std::vector<uint8_t>{0x1B, 0x69, 0x58, 0x53}));
    EXPECT_EQ(g_calls[1].timeout, 10000u);
    EXPECT_FALSE(g_calls[2].write);
    EXPECT_EQ(g_calls[2].length, 32u);
    EXPECT_EQ(g_calls[2].timeout, 2000u);
    for (const Call& c : g_calls) {
        EXPECT_EQ(c.name, "Label Printer 1");
        EXPECT_EQ(c.zero, 0);
        EXPECT_EQ(c.count, g_calls[0].count);  // one count variable for all three calls
        EXPECT_NE(c.count, nullptr);
    }
    EXPECT_EQ(g_calls[0].length, 4u);
    EXPECT_EQ(info.strVersion, "1.05c");
    EXPECT_EQ(info.strSystemInfo, "c");
    EXPECT_EQ(info.reply.bytes[31], 'c');
}

TEST_F(RawIo, EveryCallNamesTheChosenPrinterWhateverTheLibraryLeftInTheNameBuffer) {
    // The name buffer is writable for the library; what it leaves there must not become the
    // name the next call addresses.
    g_leaveScratch = true;
    PrinterInfo info;
    ASSERT_EQ(QueryPrinterInfo("Label Printer 1", info), QueryResult::Success);
    ASSERT_EQ(g_calls.size(), 3u);
    for (const Call& c : g_calls) EXPECT_EQ(c.name, "Label Printer 1");
}

TEST_F(RawIo, FailuresStopAtTheFailingCall) {
    PrinterInfo info;
    info.strVersion = "untouched";
    g_failAt = 1;
    EXPECT_EQ(QueryPrinterInfo("P1", info), QueryResult::WriteFailed);
    EXPECT_EQ(g_calls.size(), 1u);

    g_calls.clear();
    g_failAt = 2;
    EXPECT_EQ(QueryPrinterInfo("P1", info), QueryResult::WriteFailed);
    EXPECT_EQ(g_calls.size(), 2u);

    g_calls.clear();
    g_failAt = 3;
    EXPECT_EQ(QueryPrinterInfo("P1", info), QueryResult::ReadFailed);
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(info.strVersion, "untouched");
}

TEST_F(RawIo, NamesThatDoNotFitAreRefusedNeverCut) {
    PrinterInfo info;
    std::string longest(259, 'n');
    EXPECT_EQ(QueryPrinterInfo(longest, info), QueryResult::Success);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].name, longest);

    g_calls.clear();
    EXPECT_EQ(QueryPrinterInfo(std::string(260, 'n'), info), QueryResult::WriteFailed);
    EXPECT_EQ(SendPreamble(std::string(260, 'n')), 0);
    EXPECT_EQ(QueryPrinterInfo(std::string("P1\0P2", 5), info), QueryResult::WriteFailed);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(RawIo, NothingIsCalledWithoutACompleteBinding) {
    PrinterInfo info;
    g_pfnQVReadFile = nullptr;
    EXPECT_EQ(QueryPrinterInfo("P1", info), QueryResult::WriteFailed);
    EXPECT_EQ(SendPreamble("P1"), 0);
    g_pfnQVReadFile = &FakeRead;
    g_hQVFilo.reset();  // freed library, entry points left behind
    EXPECT_FALSE(IsQVFiloBound());
    EXPECT_EQ(QueryPrinterInfo("P1", info), QueryResult::WriteFailed);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(RawIo, PreambleIsOneWriteOfFourBytes) {
    EXPECT_EQ(SendPreamble("P1"), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].data, (std::vector<uint8_t>{0x1B, 0x69, 0x61, 0x01}));
    EXPECT_EQ(g_calls[0].timeout, 10000u);
    g_failAt = 2;
    EXPECT_EQ(SendPreamble("P1"), 0);
}

TEST(PrinterInfoReplyText, VersionSuffixAndSystemInformation) {
    auto reply = [](const std::string& version, size_t n, uint8_t code) {
        PrinterInfoReply r;
        std::copy_n(version.data(), n, r.bytes + 27);
        r.bytes[31] = code;
        return r;
    };
    EXPECT_EQ(reply("1.05", 4, 'b').VersionText(), "1.05b");
    EXPECT_EQ(reply("1.05", 4, 'y').VersionText(), "1.05y");
    for (uint8_t code : {uint8_t('a'), uint8_t('z'), uint8_t('A'), uint8_t(0)}) {
        EXPECT_EQ(reply("1.05", 4, code).VersionText(), "1.05") << int(code);
    }
    EXPECT_EQ(reply(std::string("1.0") + '\0', 4, 'c').VersionText(), "1.0c");
    EXPECT_EQ(reply(std::string(4, '\0'), 4, 0).VersionText(), "");
    EXPECT_EQ(reply("1.05", 4, 0).SystemInfoText(), "");
    EXPECT_EQ(reply("1.05", 4, 'C').SystemInfoText(), "C");
    EXPECT_EQ(reply("1.05", 4, 0xE0).SystemInfoText(), "\xE0");
}
