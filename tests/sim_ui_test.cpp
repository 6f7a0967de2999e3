#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "res/catalog.h"
#include "res/resource.h"
#include "support/sim_fixture.h"

namespace {

class SimUiTest : public test::SimFixture {
  protected:
    sim::SimUi& ui() { return machine().ui; }
    intptr_t Send(plat::Window w, uint32_t msg, uintptr_t wp = 0, intptr_t lp = 0) {
        return ui().SendMessage(w, msg, wp, lp);
    }
    intptr_t Text(plat::Window w, uint32_t msg, uintptr_t wp, const char* text) {
        return ui().SendMessage(w, msg, wp, reinterpret_cast<intptr_t>(text));
    }
};

TEST_F(SimUiTest, SortedComboKeepsAlphabeticalOrderAndFindsWholeTextsIgnoringCase) {
    test::RecordingHost host;
    plat::Window dlg = ui().CreateDialog(IDD_ULMAUPDATE_DIALOG, {}, &host);
    ASSERT_TRUE(dlg);
    plat::Window combo = ui().GetDlgItem(dlg, IDC_COMBO_PRINTER);
    ASSERT_TRUE(combo);
    for (const char* name : {"B-printer", "Zeta", "a-printer", "ab", "A-printer2"}) {
        EXPECT_GE(Text(combo, win::CB_ADDSTRING, 0, name), 0);
    }
    std::vector<std::string> expected = {"ab", "a-printer", "A-printer2", "B-printer", "Zeta"};
    EXPECT_EQ(ui().View().Find(IDD_ULMAUPDATE_DIALOG)->Control(IDC_COMBO_PRINTER)->items, expected);
    EXPECT_EQ(Send(combo, win::CB_GETCOUNT), 5);

    EXPECT_EQ(Text(combo, win::CB_FINDSTRINGEXACT, static_cast<uintptr_t>(-1), "A-PRINTER"), 1);
    EXPECT_EQ(Text(combo, win::CB_FINDSTRINGEXACT, 1, "a-printer"), 1) << "wraps to the top";
    EXPECT_EQ(Text(combo, win::CB_FINDSTRINGEXACT, 3, "ZETA"), 4);
    EXPECT_EQ(Text(combo, win::CB_FINDSTRINGEXACT, static_cast<uintptr_t>(-1), "Zet"), win::CB_ERR);

    EXPECT_EQ(Send(combo, win::CB_GETCURSEL), win::CB_ERR);
    EXPECT_EQ(Send(combo, win::CB_SETCURSEL, 3), 3);
    EXPECT_EQ(ui().GetWindowText(combo), "B-printer");
    Text(combo, win::CB_ADDSTRING, 0, "0-first");  // the selected item keeps its selection
    EXPECT_EQ(Send(combo, win::CB_GETCURSEL), 4);
    EXPECT_EQ(Send(combo, win::CB_GETLBTEXTLEN, 4), 9);
    char buffer[16] = {};
    EXPECT_EQ(Send(combo, win::CB_GETLBTEXT, 4, reinterpret_cast<intptr_t>(buffer)), 9);
    EXPECT_STREQ(buffer, "B-printer");
    EXPECT_EQ(Send(combo, win::CB_GETLBTEXTLEN, 6), win::CB_ERR);
    EXPECT_EQ(Send(combo, win::CB_SETCURSEL, 6), win::CB_ERR);
    EXPECT_EQ(Send(combo, win::CB_GETCURSEL), win::CB_ERR) << "a bad index clears the selection";
    Send(combo, win::CB_RESETCONTENT);
    EXPECT_EQ(Send(combo, win::CB_GETCOUNT), 0);
    EXPECT_TRUE(ui().DestroyWindow(dlg));
}

TEST_F(SimUiTest, ModalDialogRunsFromInitToDestroyAndTheUserActsThroughItsControls) {
    test::RecordingHost host;
    int rounds = 0;
    ui().OnIdle([&](const sim::UiView& view, sim::SimUi& u) {
        const sim::DialogView* d = view.Active();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->templateId, IDD_WARNING);
        EXPECT_TRUE(d->hasSystemMenu);
        EXPECT_EQ(d->caption, "Firmware Update Tool");
        EXPECT_EQ(d->Text(win::IDOK), "&Start");
        EXPECT_FALSE(u.Click(4242));
        if (rounds++ == 0) {
            EXPECT_TRUE(u.Click(IDC_WARNING_TEXT) == false) << "a static text is no button";
            EXPECT_TRUE(u.SystemCommand(0x10));
        } else {
            EXPECT_TRUE(u.PressEnter());
        }
    });
    EXPECT_EQ(ui().DialogBox(IDD_WARNING, {}, &host), win::IDOK);
    EXPECT_EQ(host.messages.front().message, win::WM_INITDIALOG);
    EXPECT_EQ(host.Count(win::WM_SYSCOMMAND), 1);
    EXPECT_EQ(host.Commands(), std::vector<int>{win::IDOK});
    ASSERT_GE(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[host.messages.size() - 2].message, win::WM_DESTROY);
    EXPECT_EQ(host.messages.back().message, win::WM_NCDESTROY);
    EXPECT_EQ(ui().OpenDialogs(), 0);

    // Escape and the close box both cancel; a dialog without a system menu has no close box.
    for (int way = 0; way < 2; ++way) {
        test::RecordingHost h;
        ui().OnIdle([&](const sim::UiView&, sim::SimUi& u) {
            EXPECT_TRUE(way == 0 ? u.PressEscape() : u.CloseBox());
        });
        EXPECT_EQ(ui().DialogBox(IDD_WARNING, {}, &h), win::IDCANCEL) << way;
    }
    test::RecordingHost progress;
    ui().OnIdle([&](const sim::UiView& view, sim::SimUi& u) {
        EXPECT_TRUE(view.Active()->visible) << "a modal dialog shows when its queue runs empty";
        EXPECT_FALSE(u.CloseBox());
        EXPECT_FALSE(u.Click(win::IDCANCEL)) << "hidden and disabled";
        EXPECT_TRUE(u.PressEscape());
    });
    EXPECT_EQ(ui().DialogBox(IDD_PROGRESS, {}, &progress), win::IDCANCEL);
    EXPECT_EQ(ui().DialogBox(4242, {}, &progress), -1);
}

TEST_F(SimUiTest, DisabledControlsAndOwnersRefuseTheUser) {
    test::RecordingHost main;
    main.onMessage = [](plat::Window w, uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
        if (msg == win::WM_INITDIALOG)
            plat::Ui().EnableWindow(plat::Ui().GetDlgItem(w, IDC_UPDATE), false);
        return 0;
    };
    plat::Window dlg = ui().CreateDialog(IDD_ULMAUPDATE_DIALOG, {}, &main);
    ASSERT_TRUE(ui().IsWindowVisible(dlg));
    EXPECT_FALSE(ui().PressEnter(dlg)) << "the default button is disabled";
    EXPECT_FALSE(ui().Click(IDC_UPDATE, dlg));
    EXPECT_FALSE(ui().SelectItem(IDC_COMBO_PRINTER, 0, dlg)) << "the list is empty";

    test::RecordingHost child;
    ui().OnIdle([&](const sim::UiView& view, sim::SimUi& u) {
        EXPECT_FALSE(ui().IsWindowEnabled(dlg)) << "a modal dialog disables its owner";
        EXPECT_EQ(view.Active()->templateId, IDD_WARNING);
        EXPECT_EQ(ui().GetActiveWindow(), view.Active()->window);
        EXPECT_FALSE(u.Click(IDC_EXIT, dlg));
        EXPECT_TRUE(u.Click(win::IDCANCEL));
    });
    EXPECT_EQ(ui().DialogBox(IDD_WARNING, dlg, &child), win::IDCANCEL);
    EXPECT_TRUE(ui().IsWindowEnabled(dlg));
    EXPECT_EQ(ui().GetActiveWindow(), dlg);
    EXPECT_TRUE(ui().DestroyWindow(dlg));
    EXPECT_FALSE(ui().IsWindow(dlg));
    EXPECT_FALSE(ui().DestroyWindow(dlg));
}

TEST_F(SimUiTest, ADialogNobodyAnswersFailsInsteadOfHanging) {
    std::vector<std::string> failures;
    ui().OnFailure([&](const std::string& m) { failures.push_back(m); });
    ui().SetMaxIdleRounds(5);
    test::RecordingHost host;
    int calls = 0;
    ui().OnIdle([&](const sim::UiView&, sim::SimUi&) { ++calls; });
    EXPECT_EQ(ui().DialogBox(IDD_WARNING, {}, &host), -1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("129"), std::string::npos);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(ui().OpenDialogs(), 0);
}

// A modeless dialog that deletes itself once its window is gone.
class SelfDeleting : public test::RecordingHost {
  public:
    explicit SelfDeleting(bool* deleted) : deleted_(deleted) {
        onMessage = [this](plat::Window, uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
            if (msg == win::WM_NCDESTROY) {
                EXPECT_EQ(Count(win::WM_DESTROY), 1);
                delete this;
            }
            return 0;
        };
    }
    ~SelfDeleting() override { *deleted_ = true; }

  private:
    bool* deleted_;
};

TEST_F(SimUiTest, ModelessDialogShowsHidesAndDeletesItselfOnDestruction) {
    bool deleted = false;
    auto* host = new SelfDeleting(&deleted);
    plat::Window dlg = ui().CreateDialog(IDD_DEVPROG, {}, host);
    ASSERT_TRUE(dlg);
    plat::Window text = ui().GetDlgItem(dlg, IDC_DEVPROG_TEXT);
    EXPECT_FALSE(ui().IsWindowVisible(dlg)) << "the template is not visible";
    EXPECT_FALSE(ui().IsWindowVisible(text)) << "a control of a hidden dialog is hidden";
    ui().ShowWindow(dlg, win::SW_SHOW);
    EXPECT_TRUE(ui().IsWindowVisible(text));
    EXPECT_EQ(ui().GetWindowText(text), "The unit is operating...");
    EXPECT_FALSE(ui().GetSystemMenu(dlg)) << "no system menu in this template";

    plat::Rect r;
    ASSERT_TRUE(ui().GetWindowRect(dlg, r));
    int width = r.right - r.left, height = r.bottom - r.top;
    EXPECT_GT(width, 183);
    ASSERT_TRUE(ui().MoveToTop(dlg, 300, 200));
    ASSERT_TRUE(ui().GetWindowRect(dlg, r));
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(r.bottom - r.top, height);

    EXPECT_TRUE(ui().DestroyWindow(dlg));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(ui().IsWindow(dlg));
    EXPECT_FALSE(ui().IsWindow(text));
}

TEST_F(SimUiTest, MessageBoxesAreRecordedAndAnsweredAndMenusIconsAndCursorsKept) {
    EXPECT_EQ(ui().MessageBox({}, "t", "c", win::MB_OK | win::MB_ICONERROR), win::IDOK);
    EXPECT_EQ(ui().MessageBox({}, "q", "c", win::MB_YESNO), win::IDYES);
    ui().OnMessageBox([](const sim::MessageBoxRecord& b) {
        return (b.type & win::MB_TYPEMASK) == win::MB_YESNO ? win::IDNO : win::IDOK;
    });
    test::RecordingHost host;
    plat::Window dlg = ui().CreateDialog(IDD_ULMAUPDATE_DIALOG, {}, &host);
    EXPECT_EQ(ui().MessageBox(dlg, "q2", "cap", win::MB_YESNO), win::IDNO);
    auto boxes = ui().MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].ownerTemplateId, IDD_ULMAUPDATE_DIALOG);
    EXPECT_EQ(boxes[2].text, "q2");
    EXPECT_EQ(boxes[2].answer, win::IDNO);

    uintptr_t menu = ui().GetSystemMenu(dlg);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(ui().AppendMenu(menu, win::MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(ui().AppendMenu(menu, win::MF_STRING, 0x10, "&About..."));
    auto items = ui().SystemMenuItems(dlg);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].text, "&About...");

    uintptr_t icon = ui().LoadIcon(IDR_MAINFRAME);
    EXPECT_TRUE(icon);
    EXPECT_FALSE(ui().LoadIcon(1));
    Send(dlg, win::WM_SETICON, win::ICON_BIG, static_cast<intptr_t>(icon));
    EXPECT_EQ(ui().WindowIcon(dlg, win::ICON_BIG), icon);
    EXPECT_EQ(ui().WindowIcon(dlg, win::ICON_SMALL), 0u);

    uintptr_t first = ui().BeginWaitCursor();
    uintptr_t nested = ui().BeginWaitCursor();
    EXPECT_NE(first, nested);
    ui().RestoreCursor(nested);
    ui().RestoreCursor(first);
    EXPECT_EQ(ui().WaitCursorBegins(), ui().WaitCursorRestores());

    // A dialog that leaves the question unhandled lets the session end, as the system's
    // default handling does; only a procedure that handles it refuses (message result 0).
    EXPECT_EQ(Send(dlg, win::WM_QUERYENDSESSION), 1);
    host.onMessage = [](plat::Window, uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
        return msg == win::WM_QUERYENDSESSION ? 1 : 0;
    };
    EXPECT_EQ(Send(dlg, win::WM_QUERYENDSESSION), 0);
    host.onMessage = nullptr;

    EXPECT_TRUE(ui().BlockShutdown(dlg, 2200));
    EXPECT_TRUE(ui().ShutdownBlocked());
    EXPECT_TRUE(ui().UnblockShutdown(dlg));
    EXPECT_FALSE(ui().ShutdownBlocked());
    ui().DestroyWindow(dlg);
}

TEST_F(SimUiTest, ControlsAnswerTheirMessages) {
    test::RecordingHost host;
    plat::Window dlg = ui().CreateDialog(IDD_PROGRESS, {}, &host);
    plat::Window bar = ui().GetDlgItem(dlg, IDC_PROGRESS_BAR);
    plat::Window anim = ui().GetDlgItem(dlg, IDC_ANIMATE);
    Send(bar, win::PBM_SETRANGE, 0, 100 << 16);
    EXPECT_EQ(Send(bar, win::PBM_SETPOS, 37), 0);
    EXPECT_EQ(Send(bar, win::PBM_SETPOS, 250), 37);
    EXPECT_EQ(ui().View().dialogs.back().Control(IDC_PROGRESS_BAR)->position, 100);
    EXPECT_EQ(Send(anim, win::ACM_OPENA, ui().ResourceModule(), 901), 0);
    EXPECT_EQ(Send(anim, win::ACM_OPENA, ui().ResourceModule(), 900), 1);
    sim::UiView view = ui().View();
    const sim::ControlView* a = view.dialogs.back().Control(IDC_ANIMATE);
    EXPECT_EQ(a->animationId, 900);
    EXPECT_TRUE(a->animationPlaying) << "the template asks for autoplay";

    plat::Window label = ui().GetDlgItem(dlg, IDC_PERCENT_TEXT);
    EXPECT_EQ(ui().GetWindowText(label), "%s %%");
    EXPECT_TRUE(ui().SetWindowText(label, "37 %"));
    char buffer[4];
    EXPECT_EQ(Send(label, win::WM_GETTEXT, sizeof buffer, reinterpret_cast<intptr_t>(buffer)), 3);
    EXPECT_STREQ(buffer, "37 ");
    EXPECT_TRUE(ui().SetWindowText(dlg, "Title"));
    EXPECT_EQ(ui().GetWindowText(dlg), "Title");
    EXPECT_EQ(host.Count(win::WM_SETTEXT), 1) << "the dialog sees its own WM_SETTEXT first";

    // A click on the enabled button reaches the dialog through the queue, not at once.
    plat::Window cancel = ui().GetDlgItem(dlg, win::IDCANCEL);
    ui().EnableWindow(cancel, true);
    Send(cancel, win::BM_CLICK);
    EXPECT_TRUE(host.Commands().empty());
    ui().DestroyWindow(dlg);
}

TEST(SimUiJapanese, TextsArriveInCodePage932) {
    test::SimMachine ja(sim::Language::Japanese);
    sim::SimUi& ui = ja.machine.ui;
    const res::Catalog& catalog = res::GetCatalog(res::Lang::Japanese);
    std::string title = ui.LoadString(IDS_TITLE_FMT);
    EXPECT_EQ(title, sim::Utf8ToAnsi(catalog.strings.at(IDS_TITLE_FMT), 932));
    EXPECT_EQ(ui.Utf8(title), catalog.strings.at(IDS_TITLE_FMT));
    bool doubleByte = false;
    for (char c : title) doubleByte |= sim::IsLeadByte(932, static_cast<uint8_t>(c));
    EXPECT_TRUE(doubleByte) << "the Japanese title holds Japanese characters";
    EXPECT_EQ(ui.LoadString(99999), "");
    // Every Japanese text reaches the program in code page 932; a character the code page
    // cannot hold would come out as a question mark or a look-alike.
    for (const auto& [id, text] : catalog.strings) EXPECT_EQ(ui.Utf8(ui.LoadString(id)), text);
    for (const auto& [id, d] : catalog.dialogs) {
        EXPECT_EQ(sim::AnsiToUtf8(sim::Utf8ToAnsi(d.caption, 932), 932), d.caption);
        for (const auto& c : d.controls)
            EXPECT_EQ(sim::AnsiToUtf8(sim::Utf8ToAnsi(c.text, 932), 932), c.text);
    }

    test::RecordingHost host;
    plat::Window dlg = ui.CreateDialog(IDD_DEVPROG, {}, &host);
    EXPECT_EQ(ui.Utf8(ui.GetWindowText(ui.GetDlgItem(dlg, IDC_DEVPROG_TEXT))),
              catalog.dialogs.at(IDD_DEVPROG).controls.at(0).text);
    ui.DestroyWindow(dlg);
}

}  // namespace
