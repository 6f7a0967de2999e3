// Bad configuration files and bad maker libraries, through the whole program: each ends in the
// one message start-up defines (or runs on with the values it could read), and no run touches
// a printer.
#include <gtest/gtest.h>

#include "hostile_harness.h"

using apptest::Program;

namespace {

constexpr uint32_t kErrorOk = win::MB_OK | win::MB_ICONHAND;

// What one run showed: the message boxes, whether the warning appeared and with what caption.
struct Outcome {
    std::vector<sim::MessageBoxRecord> boxes;
    bool warned = false;
    std::string warningCaption;
};

Outcome RunWith(Program& p) {
    Outcome out;
    p.scripts[IDD_WARNING] = [&out](const sim::DialogView& d, sim::SimUi& ui, int) {
        out.warned = true;
        out.warningCaption = d.caption;
        ui.ClickIn(IDD_WARNING, win::IDCANCEL);
    };
    EXPECT_EQ(p.Run(), 0);
    out.boxes = p.machine.ui.MessageBoxes();
    // Start-up never reaches a printer, whatever the file held.
    EXPECT_TRUE(simprinter::Instance().Log().empty());
    EXPECT_EQ(p.machine.spooler.counters.total(), 0);
    EXPECT_EQ(p.machine.modules.LiveModules(), 0);
    EXPECT_EQ(p.machine.system.OpenFileCount(), 0);
    return out;
}

std::string Utf16(const std::string& ascii) {
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

TEST(HostileConfiguration, UnreadableFilesEndWithTheirMessage) {
    {
        // No file, a folder of that name, or no executable path to look beside.
        for (int way = 0; way < 3; ++way) {
            SCOPED_TRACE(way);
            Program p;
            p.machine.system.RemoveFile(apptest::kIni);
            if (way == 1) p.machine.system.AddDirectory(apptest::kIni);
            if (way == 2) p.machine.system.FailModuleFileName(true);
            Outcome o = RunWith(p);
            ASSERT_EQ(o.boxes.size(), 1u);
            EXPECT_EQ(o.boxes[0].text, "Error : Data file is not found.");
            EXPECT_EQ(o.boxes[0].type, kErrorOk);
            // The executable's base name is the caption; without its path there is none.
            EXPECT_EQ(o.boxes[0].caption, way == 2 ? "" : "ulmaupdate");
            EXPECT_EQ(p.machine.modules.Loads(), 0);
            EXPECT_TRUE(p.machine.system.ProfileReads().empty());
        }
    }
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 2654435761u >> 13) & 0xFF);
    // Files that hold no usable section: every value is empty, so the empty package name is
    // reported missing under the title formed from an empty machine name.
    const std::vector<std::string> texts = {
        std::string(), junk,
        "[UPDATE\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\n",  // section never closed
        std::string("\0\0\0\0[UPDATE]\r\n", 14), "[NOTUPDATE]\r\nKF7FileName=fw.kf7\r\n"};
    for (const std::string& text : texts) {
        Program p;
        p.SetIni(text);
        Outcome o = RunWith(p);
        ASSERT_EQ(o.boxes.size(), 1u) << text.size();
        EXPECT_EQ(o.boxes[0].text, "File is not found.\n\n\n");
        EXPECT_EQ(o.boxes[0].caption, " Firmware Update Tool");
        EXPECT_FALSE(o.warned);
    }
}

TEST(HostileConfiguration, EncodingsAndOversizedValues) {
    const std::string body = "[UPDATE]\r\nMachineName=M100\r\nKF7FileName=fw.kf7\r\n";
    // A UTF-8 byte-order mark and a UTF-16 file are read as the same settings.
    for (const std::string& text : {"\xEF\xBB\xBF" + body, Utf16(body)}) {
        Program p;
        p.SetIni(text);
        Outcome o = RunWith(p);
        EXPECT_TRUE(o.boxes.empty());
        EXPECT_TRUE(o.warned);
        EXPECT_EQ(o.warningCaption, "M100 Firmware Update Tool");
    }
    {
        // A 300-byte package name arrives as its first 259 bytes, and that file is missing.
        Program p;
        p.SetIni("[UPDATE]\r\nMachineName=M100\r\nKF7FileName=" + std::string(300, 'k') + "\r\n");
        Outcome o = RunWith(p);
        ASSERT_EQ(o.boxes.size(), 1u);
        EXPECT_EQ(o.boxes[0].text, "File is not found.\n\n\n" + std::string(259, 'k'));
    }
    {
        // A line of a megabyte before the real settings, and a megabyte machine name.
        Program p;
        p.SetIni("[UPDATE]\r\nJunk=" + std::string(1 << 20, 'j') +
                 "\r\nMachineName=" + std::string(1 << 20, 'M') + "\r\nKF7FileName=fw.kf7\r\n");
        Outcome o = RunWith(p);
        EXPECT_TRUE(o.boxes.empty());
        EXPECT_EQ(o.warningCaption, std::string(259, 'M') + " Firmware Update Tool");
    }
    {
        // Wildcards and a folder as the package name match no file.
        for (const char* name : {"*.kf7", "fw.kf?", "sub"}) {
            Program p;
            p.machine.system.AddDirectory("C:\\Tools\\sub");
            p.SetIni(std::string("[UPDATE]\r\nMachineName=M100\r\nKF7FileName=") + name + "\r\n");
            Outcome o = RunWith(p);
            ASSERT_EQ(o.boxes.size(), 1u) << name;
            EXPECT_EQ(o.boxes[0].text, std::string("File is not found.\n\n\n") + name);
        }
    }
}

TEST(HostileLibraries, ATransferLibraryThatCannotBeBoundEndsTheProgram) {
    const char* exports[] = {"XMInitPrinter", "XMCheckSupportPrinter", "XMCmdInit",
                             "XMGetStatus",   "XMGetFileList",         "XMSendFile",
                             "XMReceiveFile", "XMDeleteFile",          nullptr};
    // Each export missing in turn, then a file of that name that is no loadable library.
    for (const char** e = exports;; ++e) {
        SCOPED_TRACE(*e ? *e : "unloadable");
        Program p;
        p.machine.modules.Unregister("XmLink.dll");
        if (*e)
            p.machine.modules.Register("XmLink.dll", simprinter::XmLinkExports({*e}));
        else
            p.machine.system.AddFile("C:\\Tools\\XmLink.dll", "MZ not a library");
        Outcome o = RunWith(p);
        ASSERT_EQ(o.boxes.size(), 1u);
        EXPECT_EQ(o.boxes[0].text, "Error : Transfer DLL : Open");
        EXPECT_EQ(o.boxes[0].type, kErrorOk);
        EXPECT_FALSE(o.warned);
        if (!*e) break;
    }
}

TEST(HostileLibraries, ARawIoLibraryThatCannotBeBoundKeepsThePrinterUntouched) {
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        hostile::Session s;
        s.Install("P1");
        auto& modules = s.p.machine.modules;
        modules.Unregister("qvfilo.dll");
        if (way == 0) modules.Register("qvfilo.dll", simprinter::QvFiloExports({"QVWriteFile"}));
        if (way == 1) modules.Register("qvfilo.dll", simprinter::QvFiloExports({"QVReadFile"}));
        if (way == 2) s.p.machine.system.AddFile("C:\\Tools\\qvfilo.dll", "MZ not a library");
        s.p.Run();
        // The dialog keeps its template caption and lists nothing; Update explains itself.
        EXPECT_EQ(s.mainView.caption, "XX Firmware Update Tool");
        EXPECT_TRUE(s.Listed().empty());
        EXPECT_EQ(s.BoxTexts(),
                  (std::vector<std::string>{"Cannot communicate with the printer because the "
                                            "printer I/O library (qvfilo.dll) is not available."}));
        EXPECT_TRUE(simprinter::Instance().Log().empty());
        EXPECT_EQ(modules.LiveModules(), 0);
    }
}
