// The package file class: header reading, fresh values, the position after construction, and
// files that cannot be opened.
#include "transfer/kf7file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/machine.h"

namespace {

std::string Header(int32_t length, uint8_t first = 0x11) {
    std::string h(64, '\0');
    h[0] = static_cast<char>(first);
    h[1] = 0x22;
    h[63] = 0x33;
    uint32_t v = static_cast<uint32_t>(length);
    for (int i = 0; i < 4; ++i) h[16 + i] = static_cast<char>(v >> (8 * i));
    return h;
}

}  // namespace

TEST(Kf7File, ReadsTheWholeHeaderAndLeavesThePositionAtZero) {
    sim::Machine m;
    m.system.AddFile("C:\\Tools\\fw.kf7", Header(0x01020304) + "DATA");
    CKf7File file("C:\\Tools\\fw.kf7");
    EXPECT_EQ(file.m_header.DataLength(), 0x01020304);
    EXPECT_EQ(file.m_header.bytes[0], 0x11);
    EXPECT_EQ(file.m_header.bytes[1], 0x22);
    EXPECT_EQ(file.m_header.bytes[63], 0x33);
    char first[2] = {};
    ASSERT_EQ(file.Read(first, 2), 2u);  // read from offset 0 again
    EXPECT_EQ(first[0], 0x11);

    // The length is signed: 0xFFFFFFFF is -1, which the transfer refuses.
    m.system.AddFile("C:\\Tools\\neg.kf7", Header(-1));
    EXPECT_EQ(CKf7File("C:\\Tools\\neg.kf7").m_header.DataLength(), -1);
}

TEST(Kf7File, ShortFilesKeepTheFreshHeaderValues) {
    sim::Machine m;
    m.system.AddFile("C:\\Tools\\empty.kf7", "");
    CKf7File empty("C:\\Tools\\empty.kf7");
    EXPECT_EQ(empty.m_header.bytes[0], 0x90);
    EXPECT_EQ(empty.m_header.bytes[1], 0x40);
    EXPECT_EQ(empty.m_header.DataLength(), 0);

    // One byte supplied: the second keeps its fresh value, the length stays 0.
    m.system.AddFile("C:\\Tools\\one.kf7", std::string(1, '\x07'));
    CKf7File one("C:\\Tools\\one.kf7");
    EXPECT_EQ(one.m_header.bytes[0], 0x07);
    EXPECT_EQ(one.m_header.bytes[1], 0x40);
    char c = 0;
    EXPECT_EQ(one.Read(&c, 1), 1u);
    EXPECT_EQ(c, 0x07);
}

TEST(Kf7File, OpenFailuresRaiseAndLeaveNothingOpen) {
    sim::Machine m;
    EXPECT_THROW(CKf7File("C:\\Tools\\missing.kf7"), CFileException);

    m.system.AddFile("C:\\Tools\\locked.kf7", Header(4) + "DATA");
    m.system.LockFile("C:\\Tools\\locked.kf7");
    EXPECT_THROW(CKf7File("C:\\Tools\\locked.kf7"), CFileException);

    // A path that does not fit the 260-byte path buffer is not opened at all.
    std::string longPath = "C:\\" + std::string(253, 'a') + ".kf7";
    ASSERT_EQ(longPath.size(), 260u);
    m.system.AddFile(longPath, Header(4) + "DATA");
    EXPECT_THROW(CKf7File{longPath}, CFileException);

    {
        m.system.AddFile("C:\\Tools\\ok.kf7", Header(4) + "DATA");
        CKf7File ok("C:\\Tools\\ok.kf7");
        EXPECT_EQ(m.system.OpenFileCount(), 1);
        // Opened without sharing: a second opener is refused while it is open.
        EXPECT_THROW(CKf7File("C:\\Tools\\ok.kf7"), CFileException);
    }
    EXPECT_EQ(m.system.OpenFileCount(), 0);
}
