// The user-interface services of the Windows platform layer: dialogs from the program's
// templates, the dialog procedure's forwarding, cross-thread messages and resources. Needs a
// display (Xvfb under Wine).
#include "platform/win32/win32_platform.h"
// After the platform headers, whose names the API macros would rewrite.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

using plat::Window;

TEST(Win32Ui, MissingResourcesAnswerEmpty) {
    plat::win32::Ui ui(::GetModuleHandleA(nullptr));
    EXPECT_EQ("", ui.LoadString(60123));
    EXPECT_EQ(0u, ui.LoadIcon(4242));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(::GetModuleHandleA(nullptr)), ui.ResourceModule());
    EXPECT_EQ(-1, ui.DialogBox(4242, Window{}, nullptr)) << "no such template";
    EXPECT_FALSE(ui.CreateDialog(4242, Window{}, nullptr));
}

#ifdef ULMA_TEST_RESOURCES

// Records the messages forwarded to it and hands each to a test's handler.
class RecordingHost : public plat::IDialogHost {
  public:
    std::function<intptr_t(Window, uint32_t, uintptr_t, intptr_t)> handler;
    std::vector<uint32_t> messages;
    bool* destroyedFlag = nullptr;

    ~RecordingHost() override {
        if (destroyedFlag) *destroyedFlag = true;
    }
    intptr_t DialogProc(Window window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) noexcept override {
        messages.push_back(message);
        return handler ? handler(window, message, wParam, lParam) : 0;
    }
};

TEST(Win32Ui, ModalDialogServesAnotherThreadAndEndsOnPostedCommand) {
    plat::win32::Platform platform(::GetModuleHandleA(nullptr));
    auto& ui = platform.ui;
    RecordingHost host;
    std::string textAtOk;
    host.handler = [&](Window window, uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
        if (message == WM_INITDIALOG) {
            EXPECT_TRUE(ui.GetDlgItem(window, IDC_COMBO_PRINTER));
            Window button = ui.GetDlgItem(window, IDC_UPDATE);
            // The worker's pattern: synchronous sends, then a posted OK.
            platform.system.StartThread([&ui, window, button]() -> uint32_t {
                ui.SendMessage(button, WM_SETTEXT, 0, reinterpret_cast<intptr_t>("Sent"));
                ui.PostMessage(window, WM_COMMAND, IDOK, 0);
                return 0;
            });
            return 1;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            textAtOk = ui.GetWindowText(ui.GetDlgItem(window, IDC_UPDATE));
            ui.EndDialog(window, 42);
            return 1;
        }
        return 0;
    };
    EXPECT_EQ(42, ui.DialogBox(IDD_ULMAUPDATE_DIALOG, Window{}, &host));
    EXPECT_EQ("Sent", textAtOk);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(static_cast<uint32_t>(WM_INITDIALOG), host.messages.front());
    EXPECT_EQ(static_cast<uint32_t>(WM_NCDESTROY), host.messages.back());
}

TEST(Win32Ui, ModelessDialogControlsAndSelfDeletingHost) {
    plat::win32::Platform platform(::GetModuleHandleA(nullptr));
    auto& ui = platform.ui;
    bool destroyed = false;
    auto* host = new RecordingHost;  // deletes itself with its window, as a modeless dialog may
    host->destroyedFlag = &destroyed;
    host->handler = [host](Window, uint32_t message, uintptr_t, intptr_t) -> intptr_t {
        if (message == WM_NCDESTROY) delete host;
        return 0;
    };
    Window dialog = ui.CreateDialog(IDD_ULMAUPDATE_DIALOG, Window{}, host);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(ui.IsWindow(dialog));

    ui.SetWindowText(dialog, "M100 caption");
    EXPECT_EQ("M100 caption", ui.GetWindowText(dialog));

    Window update = ui.GetDlgItem(dialog, IDC_UPDATE);
    ASSERT_TRUE(update);
    ui.EnableWindow(update, false);
    EXPECT_FALSE(ui.IsWindowEnabled(update));
    ui.EnableWindow(update, true);
    EXPECT_TRUE(ui.IsWindowEnabled(update));

    ui.ShowWindow(dialog, SW_SHOW);
    EXPECT_TRUE(ui.IsWindowVisible(dialog));
    EXPECT_FALSE(ui.IsIconic(dialog));
    ASSERT_TRUE(ui.MoveToTop(dialog, 10, 20));
    plat::Rect window, client;
    ASSERT_TRUE(ui.GetWindowRect(dialog, window));
    ASSERT_TRUE(ui.GetClientRect(dialog, client));
    EXPECT_EQ(10, window.left);
    EXPECT_EQ(20, window.top);
    EXPECT_GT(client.right, 0);
    EXPECT_LE(client.right, window.right - window.left) << "MoveToTop keeps the size";
    ui.ShowWindow(dialog, SW_HIDE);
    EXPECT_FALSE(ui.IsWindowVisible(dialog));

    // The combo box answers through SendMessage.
    Window combo = ui.GetDlgItem(dialog, IDC_COMBO_PRINTER);
    ui.SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<intptr_t>("B-printer"));
    ui.SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<intptr_t>("A-printer"));
    EXPECT_EQ(2, ui.SendMessage(combo, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(0, ui.SendMessage(combo, CB_FINDSTRINGEXACT, static_cast<uintptr_t>(-1),
                                reinterpret_cast<intptr_t>("a-PRINTER")));

    uintptr_t menu = ui.GetSystemMenu(dialog);
    ASSERT_NE(0u, menu);
    EXPECT_TRUE(ui.AppendMenu(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(ui.AppendMenu(menu, MF_STRING, IDM_ABOUTBOX, "&About..."));

    EXPECT_TRUE(ui.DestroyWindow(dialog));
    EXPECT_TRUE(destroyed) << "WM_NCDESTROY reached the host";
    EXPECT_FALSE(ui.IsWindow(dialog));
}

TEST(Win32Ui, PaintPumpServesMessagesSentByAnotherThread) {
    // The program waits with this pump while a worker may still send to its windows: a send
    // left unserved would have each thread wait for the other.
    plat::win32::Platform platform(::GetModuleHandleA(nullptr));
    auto& ui = platform.ui;
    RecordingHost host;
    Window dialog = ui.CreateDialog(IDD_ULMAUPDATE_DIALOG, Window{}, &host);
    ASSERT_TRUE(dialog);
    Window button = ui.GetDlgItem(dialog, IDC_UPDATE);
    std::atomic<bool> answered{false};
    ASSERT_TRUE(platform.system.StartThread([&ui, button, &answered]() -> uint32_t {
        ui.SendMessage(button, WM_SETTEXT, 0, reinterpret_cast<intptr_t>("Sent"));
        answered = true;
        return 0;
    }));
    // Up to half a minute: a loaded machine may be slow to start the thread and pass its send.
    for (int i = 0; i < 3000 && !answered; ++i) {
        ui.PumpPaintMessages();
        ::Sleep(10);
    }
    const bool servedByThePump = answered;
    // Served in any case, so that the thread ends before the test does.
    MSG msg;
    while (!answered) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        ::Sleep(10);
    }
    EXPECT_TRUE(servedByThePump);
    EXPECT_EQ("Sent", ui.GetWindowText(button));

    // Neither the pump nor the discarding of typed input takes a posted message: the worker's
    // notices and the quit message stay queued for the modal loop.
    ASSERT_TRUE(ui.PostMessage(dialog, WM_APP + 7, 1, 2));
    ::PostQuitMessage(3);
    ui.PumpPaintMessages();
    ui.DiscardTypedInput();
    EXPECT_TRUE(::PeekMessageA(&msg, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE));
    EXPECT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_TRUE(ui.DestroyWindow(dialog));
}

TEST(Win32Ui, StringsAndIconFromTheProgramResources) {
    plat::win32::Ui ui(::GetModuleHandleA(nullptr));
    std::string title = ui.LoadString(IDS_TITLE_FMT);
    ASSERT_NE("", title);
    EXPECT_NE(std::string::npos, title.find("%s"));
    if (PRIMARYLANGID(LANGIDFROMLCID(::GetThreadLocale())) == LANG_JAPANESE) {
        EXPECT_NE("%s Firmware Update Tool", title) << "the Japanese table is chosen";
    } else if (PRIMARYLANGID(LANGIDFROMLCID(::GetThreadLocale())) == LANG_ENGLISH) {
        EXPECT_EQ("%s Firmware Update Tool", title);
    }

    uintptr_t icon = ui.LoadIcon(IDR_MAINFRAME);
    ASSERT_NE(0u, icon);
    EXPECT_EQ(icon, ui.LoadIcon(IDR_MAINFRAME)) << "loaded once";
}

#endif  // ULMA_TEST_RESOURCES

}  // namespace
