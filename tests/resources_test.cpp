// The resource scripts: both languages carry the same dialogs, controls and strings, the fixed
// English texts are exact, and the generated icon and animation clip match what is committed.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "res/catalog.h"
#include "res/resource.h"
#include "resgen.h"

namespace {

using res::Catalog;
using res::GetCatalog;
using res::Lang;
namespace st = res::style;

const res::DialogTemplate& Dlg(Lang lang, int id) { return GetCatalog(lang).dialogs.at(id); }

const res::ControlTemplate& Ctl(const res::DialogTemplate& d, int id) {
    for (const auto& c : d.controls)
        if (c.id == id) return c;
    throw std::out_of_range("control " + std::to_string(id));
}

bool HasJapanese(const std::string& s) {
    // Hiragana, katakana and CJK ideographs all start with lead byte 0xE3..0xE9 in UTF-8,
    // and full-width forms with 0xEF.
    for (unsigned char c : s)
        if ((c >= 0xE3 && c <= 0xE9) || c == 0xEF) return true;
    return false;
}

int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + what.size())) ++n;
    return n;
}

TEST(Resources, BothLanguagesCarryTheSameDialogsControlsAndStrings) {
    const Catalog& en = GetCatalog(Lang::English);
    const Catalog& ja = GetCatalog(Lang::Japanese);

    const std::set<int> dialogIds = {IDD_ABOUTBOX, IDD_ULMAUPDATE_DIALOG, IDD_WARNING, IDD_PROGRESS,
                                     IDD_DEVPROG};
    for (const Catalog* c : {&en, &ja}) {
        std::set<int> ids;
        for (const auto& [id, d] : c->dialogs) ids.insert(id);
        EXPECT_EQ(ids, dialogIds);
    }
    for (const auto& [id, e] : en.dialogs) {
        const auto& j = ja.dialogs.at(id);
        ASSERT_EQ(e.controls.size(), j.controls.size()) << "dialog " << id;
        for (size_t i = 0; i < e.controls.size(); ++i) {
            EXPECT_EQ(e.controls[i].id, j.controls[i].id) << "dialog " << id << " #" << i;
            EXPECT_EQ(e.controls[i].className, j.controls[i].className) << "dialog " << id;
            EXPECT_EQ(e.controls[i].style, j.controls[i].style) << "dialog " << id;
        }
        EXPECT_EQ(e.style, j.style) << "dialog " << id;
        EXPECT_EQ(e.exStyle, j.exStyle) << "dialog " << id;
        EXPECT_EQ(j.fontName, "MS UI Gothic");
        EXPECT_EQ(j.fontSize, 9);
        EXPECT_EQ(e.fontName, "MS Sans Serif");
        EXPECT_EQ(e.fontSize, 8);
    }

    const std::set<uint32_t> stringIds = {
        IDS_ABOUTBOX,           IDS_VERSION_FMT,       IDS_REGISTRY_KEY,       IDS_TRANSFERRING,
        IDS_CANNOT_COMMUNICATE, IDS_TRANSFER_FAILED,   IDS_TRANSFER_CANCELLED, IDS_NO_PRINTER,
        IDS_READ_FAILED,        IDS_RAWIO_UNAVAILABLE, IDS_CONFIRM_UPDATE,     IDS_COMPLETED,
        IDS_SYSINFO_DIFFERENT,  IDS_WARNING_TEXT,      IDS_SHUTDOWN_REASON,    IDS_ALREADY_RUNNING,
        IDS_TITLE_FMT};
    for (const Catalog* c : {&en, &ja}) {
        std::set<uint32_t> ids;
        for (const auto& [id, s] : c->strings) {
            ids.insert(id);
            EXPECT_FALSE(s.empty()) << id;
        }
        EXPECT_EQ(ids, stringIds);
        // The special-tape suffix falls back to its built-in text only while 10000 is absent.
        EXPECT_EQ(c->strings.count(10000), 0u);
    }

    // The same placeholders in the same order, or a formatted text would read the wrong
    // argument; texts that are the same in both languages are the ones without Japanese.
    for (const auto& [id, e] : en.strings) {
        const std::string& j = ja.strings.at(id);
        EXPECT_EQ(Count(e, "%s"), Count(j, "%s")) << id;
        EXPECT_EQ(Count(e, "%d"), Count(j, "%d")) << id;
        if (id == IDS_VERSION_FMT || id == IDS_REGISTRY_KEY) {
            EXPECT_EQ(e, j) << id;
        } else {
            EXPECT_TRUE(HasJapanese(j)) << id << ": " << j;
        }
    }
    for (const auto& [id, d] : ja.dialogs) {
        if (!d.caption.empty()) {
            EXPECT_TRUE(HasJapanese(d.caption)) << id;
        }
        for (const auto& c : d.controls) {
            if (c.className == "Button" && c.id != 1) {
                EXPECT_TRUE(HasJapanese(c.text)) << c.id;
            }
        }
    }
}

TEST(Resources, JapaneseTextsKeepOneWordForEachIdea) {
    // Every Japanese text a user can see: strings, dialog captions and control texts.
    const Catalog& ja = GetCatalog(Lang::Japanese);
    std::vector<std::string> texts;
    for (const auto& [id, s] : ja.strings) texts.push_back(s);
    for (const auto& [id, d] : ja.dialogs) {
        texts.push_back(d.caption);
        for (const auto& c : d.controls) texts.push_back(c.text);
    }
    // The buttons say キャンセル and アップデート, so the messages use the same words, and the
    // printer and firmware are written one way throughout.
    const char* const otherWords[] = {"中止", "取り消", "更新", "ファームウエア", "ヴァージョン"};
    for (const std::string& t : texts) {
        for (const char* word : otherWords) EXPECT_EQ(t.find(word), std::string::npos) << t;
        for (size_t p = t.find("プリンタ"); p != std::string::npos; p = t.find("プリンタ", p + 1))
            EXPECT_EQ(t.compare(p, std::strlen("プリンター"), "プリンター"), 0) << t;
        // Japanese sentences end their questions with the full-width mark.
        EXPECT_EQ(t.find_first_of("?!"), std::string::npos) << t;
    }
}

TEST(Resources, EnglishTextsAreExact) {
    const auto& s = GetCatalog(Lang::English).strings;
    EXPECT_EQ(s.at(IDS_ABOUTBOX), "&About...");
    EXPECT_EQ(s.at(IDS_VERSION_FMT), "Version %s");
    EXPECT_EQ(s.at(IDS_REGISTRY_KEY), "Vantoro Industries, Ltd.");
    EXPECT_EQ(s.at(IDS_TRANSFERRING), "Transferring");
    EXPECT_EQ(s.at(IDS_CANNOT_COMMUNICATE),
              "Cannot communicate with the printer. Make sure that the printer is turned on and "
              "that the cables are correctly connected.");
    EXPECT_EQ(s.at(IDS_TRANSFER_FAILED), "Failed to transfer.");
    EXPECT_EQ(s.at(IDS_TRANSFER_CANCELLED), "Transferring cancelled.");
    EXPECT_EQ(s.at(IDS_NO_PRINTER), "A compatible printer cannot be found.");
    EXPECT_EQ(s.at(IDS_CONFIRM_UPDATE),
              "The current firmware version is %s.\n\nThis firmware update is version %s.\n\nOK "
              "to update the current %s firmware?\n\n\n");
    EXPECT_EQ(s.at(IDS_COMPLETED), "Completed the firmware update for %s.");
    EXPECT_EQ(s.at(IDS_SYSINFO_DIFFERENT), "The printer system information is different.");
    EXPECT_EQ(s.at(IDS_WARNING_TEXT),
              "Do not operate %s or disconnect the USB cable until the update operation is "
              "completed.");
    EXPECT_EQ(s.at(IDS_TITLE_FMT), "%s Firmware Update Tool");
    EXPECT_EQ(GetCatalog(Lang::Japanese).strings.at(IDS_REGISTRY_KEY), "Vantoro Industries, Ltd.");

    // The confirmation ends with three line breaks in English and two in Japanese.
    auto trailing = [](const std::string& t) {
        size_t n = 0;
        while (n < t.size() && t[t.size() - 1 - n] == '\n') ++n;
        return n;
    };
    EXPECT_EQ(trailing(s.at(IDS_CONFIRM_UPDATE)), 3u);
    EXPECT_EQ(trailing(GetCatalog(Lang::Japanese).strings.at(IDS_CONFIRM_UPDATE)), 2u);

    const auto& main = Dlg(Lang::English, IDD_ULMAUPDATE_DIALOG);
    EXPECT_EQ(main.caption, "XX Firmware Update Tool");
    ASSERT_EQ(main.controls.size(), 5u);
    EXPECT_EQ(main.controls[0].text, "&Update");
    EXPECT_EQ(main.controls[1].text, "E&xit");
    EXPECT_EQ(main.controls[2].text,
              "Click the [ Update ] button to begin the process.\nIt will take a few minutes.");
    EXPECT_EQ(main.controls[4].text, "Select printer :");

    const auto& warn = Dlg(Lang::English, IDD_WARNING);
    EXPECT_EQ(warn.caption, "Firmware Update Tool");
    EXPECT_EQ(Ctl(warn, 1).text, "&Start");
    EXPECT_EQ(Ctl(warn, 2).text, "Cancel");
    EXPECT_EQ(Ctl(warn, IDC_WARNING_TEXT).text,
              "Do not operate the XX or disconnect the USB cable until the update process is "
              "completed.");
    EXPECT_EQ(Ctl(warn, IDC_WARNING_TITLE).text, "Warning");

    const auto& prog = Dlg(Lang::English, IDD_PROGRESS);
    EXPECT_EQ(prog.caption, "");
    EXPECT_EQ(Ctl(prog, IDC_TRANSFER_TEXT).text, "Transferring...");
    EXPECT_EQ(Ctl(prog, IDC_PERCENT_TEXT).text, "%s %%");
    EXPECT_EQ(Ctl(Dlg(Lang::English, IDD_DEVPROG), IDC_DEVPROG_TEXT).text,
              "The unit is operating...");

    const auto& about = Dlg(Lang::English, IDD_ABOUTBOX);
    EXPECT_EQ(about.caption, "About");
    EXPECT_EQ(Ctl(about, IDC_ABOUT_NAME).text, "XX Firmware Update Tool");
    EXPECT_EQ(Ctl(about, IDC_ABOUT_VERSION).text, "Version 0.00");
    EXPECT_EQ(Dlg(Lang::Japanese, IDD_ABOUTBOX).caption, "バージョン情報");
}

TEST(Resources, GeometryAndStylesOfTheTemplates) {
    struct Box {
        int id, x, y, cx, cy;
    };
    auto geometry = [](const res::DialogTemplate& d, std::initializer_list<Box> boxes) {
        size_t i = 0;
        for (const Box& b : boxes) {
            SCOPED_TRACE("dialog " + std::to_string(d.id) + " control #" + std::to_string(i));
            ASSERT_LT(i, d.controls.size());
            const auto& c = d.controls[i++];
            EXPECT_EQ(c.id, b.id);
            EXPECT_EQ(c.x, b.x);
            EXPECT_EQ(c.y, b.y);
            EXPECT_EQ(c.cx, b.cx);
            EXPECT_EQ(c.cy, b.cy);
        }
        EXPECT_EQ(i, d.controls.size());
    };
    const uint32_t child = st::WS_CHILD | st::WS_VISIBLE;

    // Main dialog: popup, visible, caption, system menu, modal frame, own taskbar button.
    for (Lang lang : {Lang::English, Lang::Japanese}) {
        const auto& d = Dlg(lang, IDD_ULMAUPDATE_DIALOG);
        const uint32_t want = st::WS_POPUP | st::WS_VISIBLE | st::WS_CAPTION | st::WS_SYSMENU |
                              st::DS_MODALFRAME | st::DS_SETFONT;
        EXPECT_EQ(d.style, want);
        EXPECT_EQ(d.exStyle, st::WS_EX_APPWINDOW);
        EXPECT_EQ(Ctl(d, IDC_UPDATE).style, child | st::BS_DEFPUSHBUTTON | st::WS_TABSTOP);
        EXPECT_EQ(Ctl(d, IDC_EXIT).style, child | st::BS_PUSHBUTTON | st::WS_TABSTOP);
        EXPECT_EQ(Ctl(d, IDC_COMBO_PRINTER).style,
                  child | st::CBS_DROPDOWNLIST | st::CBS_SORT | st::WS_VSCROLL | st::WS_TABSTOP);
        EXPECT_EQ(Ctl(d, IDC_COMBO_PRINTER).className, "ComboBox");
    }
    const auto& mainEn = Dlg(Lang::English, IDD_ULMAUPDATE_DIALOG);
    EXPECT_EQ(mainEn.cx, 210);
    EXPECT_EQ(mainEn.cy, 103);
    geometry(mainEn, {{IDC_UPDATE, 49, 82, 50, 14},
                      {IDC_EXIT, 109, 82, 50, 14},
                      {-1, 7, 47, 196, 29},
                      {IDC_COMBO_PRINTER, 7, 22, 196, 71},
                      {-1, 7, 7, 196, 10}});
    EXPECT_EQ(Dlg(Lang::Japanese, IDD_ULMAUPDATE_DIALOG).cx, 179);
    EXPECT_EQ(Dlg(Lang::Japanese, IDD_ULMAUPDATE_DIALOG).cy, 102);

    // About box.
    const auto& about = Dlg(Lang::English, IDD_ABOUTBOX);
    EXPECT_EQ(about.cx, 228);
    EXPECT_EQ(about.cy, 84);
    EXPECT_EQ(about.style & st::WS_SYSMENU, st::WS_SYSMENU);
    geometry(about, {{-1, 7, 7, 20, 20},
                     {IDC_ABOUT_NAME, 40, 7, 181, 8},
                     {-1, 40, 38, 181, 20},
                     {1, 88, 63, 50, 14},
                     {IDC_ABOUT_VERSION, 40, 20, 156, 8}});
    EXPECT_EQ(about.controls[0].text, "#512");
    EXPECT_EQ(about.controls[0].style & st::SS_TYPEMASK, st::SS_ICON);
    EXPECT_EQ(Dlg(Lang::Japanese, IDD_ABOUTBOX).cx, 207);
    EXPECT_EQ(Dlg(Lang::Japanese, IDD_ABOUTBOX).cy, 80);

    for (Lang lang : {Lang::English, Lang::Japanese}) {
        // Warning: same geometry in both languages.
        const auto& warn = Dlg(lang, IDD_WARNING);
        EXPECT_EQ(warn.cx, 191);
        EXPECT_EQ(warn.cy, 87);
        geometry(warn, {{1, 37, 66, 50, 14},
                        {2, 103, 66, 50, 14},
                        {IDC_WARNING_TEXT, 7, 29, 177, 25},
                        {IDC_WARNING_TITLE, 7, 7, 177, 10}});
        EXPECT_EQ(Ctl(warn, 1).style & st::BS_TYPEMASK, st::BS_DEFPUSHBUTTON);
        // The text carries the configured model name: an '&' in it is shown, not taken for a
        // mnemonic.
        EXPECT_EQ(Ctl(warn, IDC_WARNING_TEXT).style,
                  child | st::SS_LEFT | st::WS_GROUP | st::SS_NOPREFIX);
        EXPECT_EQ(Ctl(warn, IDC_WARNING_TITLE).style, child | st::SS_CENTER | st::WS_GROUP);

        // Progress: tool window without a system menu (so no close box).
        const auto& prog = Dlg(lang, IDD_PROGRESS);
        EXPECT_EQ(prog.cx, 183);
        EXPECT_EQ(prog.cy, 125);
        EXPECT_EQ(prog.style & st::WS_SYSMENU, 0u);
        EXPECT_EQ(prog.style & (st::WS_POPUP | st::WS_CAPTION | st::DS_MODALFRAME),
                  st::WS_POPUP | st::WS_CAPTION | st::DS_MODALFRAME);
        EXPECT_EQ(prog.exStyle, st::WS_EX_TOOLWINDOW);
        geometry(prog, {{IDC_ANIMATE, 7, 7, 169, 30},
                        {IDC_TRANSFER_TEXT, 7, 50, 169, 10},
                        {IDC_PERCENT_TEXT, 7, 62, 169, 10},
                        {IDC_PROGRESS_BAR, 7, 76, 169, 15},
                        {2, 66, 104, 50, 14}});
        EXPECT_EQ(Ctl(prog, IDC_ANIMATE).className, "SysAnimate32");
        EXPECT_EQ(Ctl(prog, IDC_ANIMATE).style,
                  child | st::ACS_CENTER | st::ACS_TRANSPARENT | st::ACS_AUTOPLAY);
        EXPECT_EQ(Ctl(prog, IDC_PROGRESS_BAR).className, "msctls_progress32");
        EXPECT_EQ(Ctl(prog, IDC_PROGRESS_BAR).style, child | st::PBS_SMOOTH);
        for (int id : {IDC_TRANSFER_TEXT, IDC_PERCENT_TEXT})
            EXPECT_EQ(Ctl(prog, id).style, child | st::SS_CENTER | st::SS_CENTERIMAGE);
        const auto& cancel = Ctl(prog, 2);
        EXPECT_EQ(cancel.style & st::WS_VISIBLE, 0u);
        EXPECT_EQ(cancel.style & st::WS_DISABLED, st::WS_DISABLED);

        // Device busy: one centred line.
        const auto& busy = Dlg(lang, IDD_DEVPROG);
        EXPECT_EQ(busy.cx, 183);
        EXPECT_EQ(busy.cy, 37);
        EXPECT_EQ(busy.style & st::WS_SYSMENU, 0u);
        EXPECT_EQ(busy.exStyle, st::WS_EX_TOOLWINDOW);
        geometry(busy, {{IDC_DEVPROG_TEXT, 7, 12, 169, 10}});
        EXPECT_EQ(busy.controls[0].style, child | st::SS_CENTER | st::SS_CENTERIMAGE);
    }
}

TEST(Resources, ParserAppliesStatementDefaultsAndRefusesTheUnknown) {
    const std::map<std::string, std::string> files = {
        {"ids.h", "#define IDD_X 7\n#define IDC_A (IDD_X + 1)\n"}};
    const std::string head =
        "#pragma code_page(65001)\n#include <windows.h>\n#include \"ids.h\"\n"
        "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n";
    const std::string dlg =
        "IDD_X DIALOGEX 0, 0, 50, 40\nCAPTION \"T\"\nFONT 8, \"MS Sans Serif\"\nBEGIN\n"
        "  PUSHBUTTON \"a\", IDC_A, 1, 2, 3, 4, NOT WS_TABSTOP\n"
        "  LTEXT \"b \"\"q\"\"\\n\", -1, 1, 2, 3, 4\n"
        "  LTEXT \"c\", -1, 1, 2, 3, 4, SS_NOPREFIX\n"
        "  COMBOBOX 9, 1, 2, 3, 4\n"
        "  ICON 512, -1, 1, 2, 20, 20\n"
        "END\nSTRINGTABLE\nBEGIN\n  5, \"x\"\nEND\n";
    const Catalog c = res::ParseResourceScript("t.rc", head + dlg, files, Lang::English);
    const auto& d = c.dialogs.at(7);
    // No STYLE: the default popup style with the caption bits and the font flag.
    EXPECT_EQ(d.style,
              st::WS_POPUP | st::WS_BORDER | st::WS_SYSMENU | st::WS_CAPTION | st::DS_SETFONT);
    ASSERT_EQ(d.controls.size(), 5u);
    const uint32_t child = st::WS_CHILD | st::WS_VISIBLE;
    EXPECT_EQ(d.controls[0].id, 8);
    EXPECT_EQ(d.controls[0].style, child);
    EXPECT_EQ(d.controls[1].text, "b \"q\"\n");
    EXPECT_EQ(d.controls[1].style, child | st::WS_GROUP);
    // A written style replaces the statement's default group flag.
    EXPECT_EQ(d.controls[2].style, child | st::SS_NOPREFIX);
    EXPECT_EQ(d.controls[3].style, child | st::CBS_SIMPLE | st::WS_TABSTOP);
    EXPECT_EQ(d.controls[4].text, "#512");
    EXPECT_EQ(d.controls[4].cx, 0);  // an icon keeps its own size
    EXPECT_EQ(c.strings.at(5), "x");

    auto fails = [&](const std::string& text, const std::string& why, Lang lang = Lang::English) {
        try {
            res::ParseResourceScript("t.rc", text, files, lang);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    };
    fails(head + dlg, "LANGUAGE", Lang::Japanese);
    fails(head + "1 MENU\nBEGIN\nEND\n", "t.rc:5: only DIALOGEX");
    fails(head + dlg + "STRINGTABLE\nBEGIN\n 5 \"y\"\nEND\n", "defined twice");
    fails(head + "STRINGTABLE\nBEGIN\n IDS_NOPE \"y\"\nEND\n", "unknown name IDS_NOPE");
    fails(head + "STRINGTABLE\nBEGIN\n 1 \"y\\q\"\nEND\n", "unsupported escape");
    fails(head + "STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", "unterminated string");
    fails("#include \"missing.h\"\n", "cannot find included file");
    fails("#ifdef X\n#endif\n", "unsupported directive");
    fails(head + "IDD_X DIALOGEX 0,0,1,1\nMENU 5\nBEGIN\nEND\n", "unsupported dialog statement");
    fails(head + "IDD_X DIALOGEX 0,0,1,1\nFONT 8, \"A\"\nBEGIN\n EDITTEXT 1,1,1,1,1\nEND\n",
          "unsupported control statement EDITTEXT");
    fails("STRINGTABLE\nBEGIN\nEND\n", "before LANGUAGE");
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
           static_cast<uint32_t>(b.at(at + 3)) << 24;
}

size_t Find(const std::vector<uint8_t>& b, const char* fourcc, size_t from = 0) {
    for (size_t i = from; i + 4 <= b.size(); ++i)
        if (std::memcmp(&b[i], fourcc, 4) == 0) return i;
    return std::string::npos;
}

TEST(Resources, CommittedIconAndClipAreTheGeneratorsOutput) {
    const auto avi = ReadFile(std::string(ULMA_RES_DIR) + "/transfer.avi");
    const auto ico = ReadFile(std::string(ULMA_RES_DIR) + "/ulmaupdate.ico");
    EXPECT_TRUE(avi == resgen::MakeAvi()) << "run the ulma_regen_resources target";
    EXPECT_TRUE(ico == resgen::MakeIcon()) << "run the ulma_regen_resources target";

    // The clip as the animation control reads it.
    ASSERT_GT(avi.size(), 200u);
    EXPECT_EQ(std::memcmp(&avi[0], "RIFF", 4), 0);
    EXPECT_EQ(U32(avi, 4), avi.size() - 8);
    EXPECT_EQ(std::memcmp(&avi[8], "AVI ", 4), 0);
    const size_t avih = Find(avi, "avih") + 8;
    EXPECT_EQ(U32(avi, avih + 0), 100000u);  // microseconds a frame
    EXPECT_EQ(U32(avi, avih + 16), 17u);     // frames
    EXPECT_EQ(U32(avi, avih + 24), 1u);      // streams
    EXPECT_EQ(U32(avi, avih + 32), 260u);
    EXPECT_EQ(U32(avi, avih + 36), 40u);
    const size_t strh = Find(avi, "strh") + 8;
    EXPECT_EQ(std::memcmp(&avi[strh], "vids", 4), 0);
    EXPECT_EQ(U32(avi, strh + 32), 17u);  // length
    const double fps = static_cast<double>(U32(avi, strh + 24)) / U32(avi, strh + 20);
    EXPECT_DOUBLE_EQ(fps, 10.0);
    const size_t strf = Find(avi, "strf") + 8;
    EXPECT_EQ(U32(avi, strf + 4), 260u);
    EXPECT_EQ(U32(avi, strf + 8), 40u);
    EXPECT_EQ(avi[strf + 14], 8);        // bits a pixel
    EXPECT_EQ(U32(avi, strf + 16), 1u);  // BI_RLE8

    // Every frame decodes to exactly 260 x 40 pixels, and the index points at each frame.
    const size_t movi = Find(avi, "movi");
    const size_t idx1 = Find(avi, "idx1");
    ASSERT_NE(idx1, std::string::npos);
    EXPECT_EQ(U32(avi, idx1 + 4), 17u * 16);
    size_t at = movi + 4;
    for (int f = 0; f < 17; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        ASSERT_EQ(std::memcmp(&avi[at], "00dc", 4), 0);
        const uint32_t size = U32(avi, at + 4);
        EXPECT_EQ(U32(avi, idx1 + 8 + f * 16 + 8), at - movi);
        EXPECT_EQ(U32(avi, idx1 + 8 + f * 16 + 12), size);
        int x = 0, rows = 0;
        bool end = false;
        for (size_t p = at + 8; p + 1 < at + 8 + size && !end; p += 2) {
            if (avi[p] != 0) {
                x += avi[p];
            } else if (avi[p + 1] == 0) {
                EXPECT_EQ(x, 260);
                x = 0;
                ++rows;
            } else {
                EXPECT_EQ(avi[p + 1], 1) << "only runs, line ends and the bitmap end are used";
                end = true;
            }
        }
        EXPECT_TRUE(end);
        EXPECT_EQ(rows, 40);
        at += 8 + size + (size & 1);
    }

    // Icon directory: a 32 x 32 and a 16 x 16 image.
    ASSERT_GT(ico.size(), 38u);
    EXPECT_EQ(ico[2], 1);
    EXPECT_EQ(ico[4], 2);
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[6 + 16], 16);
    EXPECT_EQ(U32(ico, 6 + 12) + U32(ico, 6 + 8), U32(ico, 6 + 16 + 12));
    EXPECT_EQ(U32(ico, 6 + 16 + 12) + U32(ico, 6 + 16 + 8), ico.size());
}

}  // namespace
