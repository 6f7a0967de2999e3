#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "support/sim_fixture.h"

namespace {

std::string Read(sim::SimSystem& s, const char* section, const char* key, const char* def,
                 const std::string& file = "C:\\Tools\\ulmaupdate.ini", uint32_t size = 260) {
    std::string buffer(size, '\x7F');
    uint32_t n = s.GetPrivateProfileString(section, key, def, &buffer[0], size, file.c_str());
    buffer.resize(std::strlen(buffer.c_str()));
    EXPECT_EQ(n, buffer.size()) << "returned count and copied text disagree";
    return buffer;
}

class SimSystemTest : public test::SimFixture {
  protected:
    sim::SimSystem& sys() { return machine().system; }
};

TEST_F(SimSystemTest, ProfileNamesAreCaseInsensitiveAndBlanksAndQuotesGo) {
    sim().AddIni(
        "[update]\r\n"
        "  newversion   =   1.06  \r\n"
        "MachineName=\"  M100 \"\r\n"
        "Country='c'\r\n"
        "Half=\"open\r\n"
        "Inner=a \"b\" c\r\n"
        "Empty=\r\n"
        "NoEquals\r\n");
    EXPECT_EQ(Read(sys(), "UPDATE", "NewVersion", "x"), "1.06");
    EXPECT_EQ(Read(sys(), " Update ", " NEWVERSION ", "x"), "1.06");
    EXPECT_EQ(Read(sys(), "UPDATE", "MachineName", ""), "  M100 ");
    EXPECT_EQ(Read(sys(), "UPDATE", "Country", ""), "c");
    EXPECT_EQ(Read(sys(), "UPDATE", "Half", ""), "\"open");
    EXPECT_EQ(Read(sys(), "UPDATE", "Inner", ""), "a \"b\" c");
    EXPECT_EQ(Read(sys(), "UPDATE", "Empty", "def"), "");
    EXPECT_EQ(Read(sys(), "UPDATE", "NoEquals", "def"), "def");
    EXPECT_EQ(Read(sys(), "UPDATE", "Missing", "def  "), "def");
    EXPECT_EQ(Read(sys(), "UPDATE", "Missing", nullptr), "");
    EXPECT_EQ(Read(sys(), "OTHER", "NewVersion", "d"), "d");
    EXPECT_EQ(Read(sys(), "UPDATE", "NewVersion", "d", "C:\\Tools\\none.ini"), "d");
}

TEST_F(SimSystemTest, ProfileFirstSectionAndKeyWinAndOnlyTheFirstSectionIsSearched) {
    sim().AddIni(
        "Stray=before any section\n"
        "[UPDATE]\n"
        "A=first\n"
        "a=second\n"
        "[Other]\n"
        "B=other\n"
        "[UPDATE]\n"
        "A=third\n"
        "C=in the second UPDATE\n");
    EXPECT_EQ(Read(sys(), "UPDATE", "A", ""), "first");
    EXPECT_EQ(Read(sys(), "UPDATE", "C", "none"), "none");
    EXPECT_EQ(Read(sys(), "Other", "B", ""), "other");
    EXPECT_EQ(Read(sys(), "UPDATE", "Stray", "none"), "none");
}

TEST_F(SimSystemTest, ProfileValuesAreCutToTheBufferAndJunkNeverCrashes) {
    std::string longValue(300, 'v');
    std::string junk("[UPDATE]\nK=ab\0cd\nL=", 19);
    for (int i = 0; i < 256; ++i) junk.push_back(static_cast<char>(i));
    junk += "\n" + std::string(100000, 'x') + "\nLong=" + longValue + "\n[\nM=after\n";
    sim().AddIni(junk);
    EXPECT_EQ(Read(sys(), "UPDATE", "Long", ""), std::string(259, 'v'));
    EXPECT_EQ(Read(sys(), "UPDATE", "Long", "", "C:\\Tools\\ulmaupdate.ini", 5), "vvvv");
    EXPECT_EQ(Read(sys(), "UPDATE", "K", ""), "ab");
    EXPECT_EQ(Read(sys(), "UPDATE", "M", ""), "after");
    char one[1] = {'z'};
    EXPECT_EQ(
        sys().GetPrivateProfileString("UPDATE", "Long", "", one, 1, "C:\\Tools\\ulmaupdate.ini"),
        0u);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(sys().GetPrivateProfileString("UPDATE", "Long", "", nullptr, 10, "x.ini"), 0u);
}

TEST_F(SimSystemTest, ProfileEncodingFollowsTheByteOrderMark) {
    sim().AddIni("\xEF\xBB\xBF[UPDATE]\r\nMachineName=Caf\xC3\xA9\r\n");
    EXPECT_EQ(Read(sys(), "UPDATE", "MachineName", ""), "Caf\xE9");  // UTF-8 read as 1252
    sim().AddIni("[UPDATE]\r\nMachineName=Caf\xE9\r\n");
    EXPECT_EQ(Read(sys(), "UPDATE", "MachineName", ""), "Caf\xE9");  // ANSI as it stands
    sim().AddIni(std::string("\xFF\xFE[\0U\0]\0\n\0K\0=\0v\0", 16));
    EXPECT_EQ(Read(sys(), "U", "K", ""), "v");
}

TEST_F(SimSystemTest, ProfileSectionAndKeyListsAreDoubleNulTerminated) {
    sim().AddIni("[A]\nx=1\ny=2\n[B]\n");
    char buffer[16];
    uint32_t n = sys().GetPrivateProfileString(nullptr, nullptr, "", buffer, sizeof buffer,
                                               "C:\\Tools\\ulmaupdate.ini");
    EXPECT_EQ(std::string(buffer, n + 1), std::string("A\0B\0\0", 5));
    n = sys().GetPrivateProfileString("a", nullptr, "", buffer, 4, "C:\\Tools\\ulmaupdate.ini");
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(std::string(buffer, 4), std::string("x\0\0\0", 4));
}

TEST_F(SimSystemTest, FilesArePathsWithoutLetterCaseAndOpenExclusively) {
    sys().AddFile("C:\\Tools\\Fw.KF7", "0123456789");
    EXPECT_TRUE(sys().FileExists("c:/tools/fw.kf7"));
    EXPECT_TRUE(sys().FileExists("C:\\Tools\\sub\\..\\.\\fw.kf7"));
    EXPECT_FALSE(sys().FileExists("C:\\Tools"));  // a folder is not a file
    EXPECT_FALSE(sys().FileExists("fw.kf7"));     // the current directory is elsewhere
    sys().SetCurrentDirectory("C:\\Tools");
    EXPECT_TRUE(sys().FileExists("fw.kf7"));

    auto f = sys().OpenFileForReading("C:\\TOOLS\\FW.KF7");
    ASSERT_TRUE(f);
    EXPECT_FALSE(sys().OpenFileForReading("C:\\Tools\\fw.kf7")) << "opened without sharing";
    EXPECT_EQ(sys().OpenFileCount(), 1);
    char buf[8] = {};
    EXPECT_TRUE(f->Seek(6));
    EXPECT_EQ(f->Read(buf, 8), 4u);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(f->Read(buf, 8), 0u);
    f.reset();
    EXPECT_EQ(sys().OpenFileCount(), 0);

    sys().LockFile("C:\\Tools\\fw.kf7");
    EXPECT_FALSE(sys().OpenFileForReading("C:\\Tools\\fw.kf7"));
    EXPECT_TRUE(sys().FileExists("C:\\Tools\\fw.kf7"));
    EXPECT_TRUE(sys().RemoveFile("c:\\tools\\FW.kf7"));
    EXPECT_FALSE(sys().FileExists("C:\\Tools\\fw.kf7"));
    EXPECT_TRUE(sys().Writes().empty());
}

TEST_F(SimSystemTest, TimeIsVirtualAndCallsAreRecorded) {
    auto start = std::chrono::steady_clock::now();
    sys().Sleep(12000);
    sys().Sleep(500);
    // Slept for real, the first call alone would take 12 s; anything less leaves a loaded machine
    // room to be slow.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(11500));
    EXPECT_EQ(sys().TotalSleptMs(), 12500u);
    EXPECT_EQ(sys().Sleeps(), (std::vector<uint32_t>{12000, 500}));

    EXPECT_FALSE(sys().IsDBCSLeadByte(0x95)) << "code page 1252 has no double-byte characters";
    std::string path;
    ASSERT_TRUE(sys().GetModuleFileName(path));
    EXPECT_EQ(path, "C:\\Tools\\ulmaupdate.exe");
    sys().SetExePath("C:\\" + std::string(252, 'p') + ".exe");
    ASSERT_TRUE(sys().GetModuleFileName(path));
    EXPECT_EQ(path.size(), 259u);
    sys().SetExePath("C:\\" + std::string(253, 'p') + ".exe");
    EXPECT_FALSE(sys().GetModuleFileName(path)) << "a path of 260 bytes is refused, not cut";
    sys().FailModuleFileName(true);
    EXPECT_FALSE(sys().GetModuleFileName(path));

    uint32_t previous = sys().SetThreadExecutionState(win::ES_CONTINUOUS | win::ES_SYSTEM_REQUIRED);
    EXPECT_EQ(previous, win::ES_CONTINUOUS);
    EXPECT_EQ(sys().SetThreadExecutionState(win::ES_CONTINUOUS),
              win::ES_CONTINUOUS | win::ES_SYSTEM_REQUIRED);
    EXPECT_EQ(sys().CurrentExecutionState(), win::ES_CONTINUOUS);
}

TEST_F(SimSystemTest, LibrariesLoadFromTheExecutableFolderOnlyWhileTheirFileIsThere) {
    int dummy = 0;
    sim::SimModules& mods = machine().modules;
    mods.Register("XmLink.dll", {{"XMInit", &dummy}});
    {
        auto m = mods.LoadLibrary("xmlink.DLL");
        ASSERT_TRUE(m);
        EXPECT_EQ(m->GetProcAddress("XMInit"), &dummy);
        EXPECT_EQ(m->GetProcAddress("xminit"), nullptr) << "export names keep their case";
        EXPECT_EQ(m->GetProcAddress("Missing"), nullptr);
        auto again = mods.LoadLibrary("C:\\TOOLS\\XmLink.dll");
        EXPECT_TRUE(again);
        EXPECT_TRUE(mods.LoadLibrary("xmlink"));  // ".dll" is added
        EXPECT_EQ(mods.LiveModules("XMLINK.DLL"), 2);
    }
    EXPECT_EQ(mods.LiveModules(), 0);
    EXPECT_EQ(mods.Loads(), 3);
    EXPECT_EQ(mods.Frees(), 3);

    // Only the file beside the executable counts, and the current folder only while it is
    // still in the search order.
    machine().system.RemoveFile("C:\\Tools\\XmLink.dll");
    EXPECT_FALSE(mods.LoadLibrary("XmLink.dll"));
    machine().system.AddFile("C:\\Users\\user\\XmLink.dll", "MZ");
    EXPECT_TRUE(mods.LoadLibrary("XmLink.dll"));
    machine().system.RemoveCurrentDirectoryFromDllSearch();
    EXPECT_FALSE(mods.LoadLibrary("XmLink.dll"));
    EXPECT_TRUE(mods.LoadLibrary("C:\\Users\\user\\XmLink.dll"));

    // A file that is not a registered library does not load; an unregistered library neither.
    machine().system.AddFile("C:\\Tools\\qvfilo.dll", "junk");
    EXPECT_FALSE(mods.LoadLibrary("qvfilo.dll"));
    mods.Unregister("XMLINK.dll");
    EXPECT_FALSE(mods.LoadLibrary("C:\\Users\\user\\XmLink.dll"));
    EXPECT_EQ(mods.Events().back().kind, sim::SimModules::Event::LoadFailed);
}

TEST(SimSystemCodePage, DoubleByteCharactersStepAsOneAndHideTheirSeparatorByte) {
    test::SimMachine ja(sim::Language::Japanese);
    sim::SimSystem& s = ja.machine.system;
    EXPECT_EQ(s.CodePage(), 932);
    // 0x95 0x5C is one character whose second byte is the value of '\'.
    const char text[] =
        "\x95\x5C"
        "a\x81";
    EXPECT_TRUE(s.IsDBCSLeadByte(0x95));
    EXPECT_FALSE(s.IsDBCSLeadByte('a'));
    EXPECT_EQ(s.CharNext(text), text + 2);
    EXPECT_EQ(s.CharNext(text + 2), text + 3);
    EXPECT_EQ(s.CharNext(text + 3), text + 4) << "a lead byte before the end steps by one";
    EXPECT_EQ(s.CharNext(text + 4), text + 4);

    s.AddFile("C:\\\x95\x5C\\a.txt", "x");
    EXPECT_TRUE(s.DirectoryExists("C:\\\x95\x5C"));
    EXPECT_FALSE(s.DirectoryExists("C:\\\x95"));
    s.SetExePath("C:\\\x95\x5C\\tool.exe");
    EXPECT_EQ(s.ExeDir(), "C:\\\x95\x5C");
}

}  // namespace
