// The dialog manager of the simulated Windows machine. Dialogs are built from the resource
// catalogue of the machine's language, with every text in the ANSI code page. Windows belong to
// the thread that created them: a SendMessage (and SetWindowText, EnableWindow, ShowWindow,
// MoveToTop) from another thread waits until a modal loop of the owning thread serves it, posted
// messages wait in that thread's queue; sent messages are served before posted ones, each kind in
// order. Only the owning thread may destroy a window. A test plays the user
// through an idle handler, called by the modal loop whenever nothing is queued, and answers
// message boxes through a message-box handler.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace sim {

class SimSystem;

// What a test sees of one control.
struct ControlView {
    plat::Window window;
    int id = 0;
    std::string className;  // "Button", "Static", "ComboBox", "msctls_progress32", ...
    std::string text;       // ANSI code page bytes
    uint32_t style = 0;
    bool visible = false;  // the control's own visibility flag
    bool enabled = false;
    std::vector<std::string> items;                  // combo box items in list order
    int selection = -1;                              // combo box selection, -1 when none
    int rangeMin = 0, rangeMax = 100, position = 0;  // progress bar
    int animationId = 0;                             // clip opened with ACM_OPENA, 0 when none
    bool animationPlaying = false;
};

// What a test sees of one dialog window.
struct DialogView {
    plat::Window window;
    int templateId = 0;
    std::string caption;  // ANSI code page bytes
    bool visible = false, enabled = false, modal = false, iconic = false;
    bool hasSystemMenu = false;
    plat::Rect rect;
    std::vector<ControlView> controls;  // template order
    // The control with this id, or null (a pointer into this view: keep the view alive).
    const ControlView* Control(int id) const;
    // The text of the control with this id; empty when there is none.
    std::string Text(int id) const;
};

// Every open dialog, from the bottom of the z-order to the top.
struct UiView {
    std::vector<DialogView> dialogs;
    // The topmost dialog built from this template, or null.
    const DialogView* Find(int templateId) const;
    // The topmost visible and enabled dialog, or null.
    const DialogView* Active() const;
};

// One message box as the tool asked for it, and the answer it got.
struct MessageBoxRecord {
    plat::Window owner;
    int ownerTemplateId = 0;    // template of the owner dialog, 0 when none
    std::string text, caption;  // ANSI code page bytes
    uint32_t type = 0;
    int answer = 0;
    bool typedAhead = false;  // answered by a key typed before the box was shown
};

// A key the user typed.
enum class TypedKey { Enter, Escape };

// One item appended to a system menu.
struct MenuItem {
    uint32_t flags = 0;
    uintptr_t id = 0;
    std::string text;
};

// One call of PaintIcon.
struct IconPaint {
    plat::Window window;
    uintptr_t icon = 0;
    int x = 0, y = 0;
};

class SimUi : public plat::IUi {
  public:
    // Called by a modal loop when nothing is queued: the test looks and may act.
    using IdleHandler = std::function<void(const UiView& view, SimUi& ui)>;
    // Answers a message box with the button id.
    using MessageBoxHandler = std::function<int(const MessageBoxRecord& box)>;
    // Reports a stuck user interface (default: print and abort the process).
    using FailureHandler = std::function<void(const std::string& message)>;

    explicit SimUi(SimSystem& system);
    ~SimUi() override;
    SimUi(const SimUi&) = delete;
    SimUi& operator=(const SimUi&) = delete;

    // ---- the test's side ----
    void OnIdle(IdleHandler handler);
    void OnMessageBox(MessageBoxHandler handler);
    void OnFailure(FailureHandler handler);
    // Idle rounds without any action or message before a modal loop gives up (default 1000).
    void SetMaxIdleRounds(int rounds);
    // Real time a modal loop waits for a running thread to send or post before it gives up.
    void SetMaxThreadWait(std::chrono::milliseconds wait);

    // A snapshot of every open dialog.
    UiView View() const;
    // The topmost open dialog built from this template, or no window.
    plat::Window FindDialog(int templateId) const;

    // User actions. `dialog` 0 means the active dialog. Each is queued like the real input and
    // served by the modal loop; false when refused (no such dialog or control, disabled,
    // hidden, or not possible there).
    bool Click(int controlId, plat::Window dialog = {});
    bool ClickIn(int templateId, int controlId);
    // Enter: the default push button (refused if it is disabled), IDOK when there is none.
    bool PressEnter(plat::Window dialog = {});
    // Escape: IDCANCEL.
    bool PressEscape(plat::Window dialog = {});
    // The close box: only with a system menu; IDCANCEL unless the dialog handles SC_CLOSE or
    // its Cancel button is disabled.
    bool CloseBox(plat::Window dialog = {});
    // Chooses a combo box item by index or by exact text, as a click in the list does.
    bool SelectItem(int comboId, int index, plat::Window dialog = {});
    bool SelectItem(int comboId, const std::string& text, plat::Window dialog = {});
    // A system-menu command (WM_SYSCOMMAND with this id), e.g. the About entry.
    bool SystemCommand(uintptr_t id, plat::Window dialog = {});
    // A key typed while the program reads no input (a window that does not respond): the system
    // holds it until input is read again. Here the next message box reads it before it is
    // answered: Enter gives its default button, Escape its cancel answer where it has one.
    void TypeAhead(TypedKey key);
    // Typed keys not yet read.
    int TypedAheadPending() const;
    // Minimises or restores a window as far as IsIconic is concerned.
    void SetIconic(plat::Window window, bool iconic);

    // ---- records ----
    std::vector<MessageBoxRecord> MessageBoxes() const;
    // Items appended to the window's system menu.
    std::vector<MenuItem> SystemMenuItems(plat::Window window) const;
    std::vector<IconPaint> IconPaints() const;
    // The icon set with WM_SETICON (ICON_BIG or ICON_SMALL), 0 when none.
    uintptr_t WindowIcon(plat::Window window, uintptr_t which) const;
    // BeginWaitCursor and RestoreCursor calls so far.
    int WaitCursorBegins() const;
    int WaitCursorRestores() const;
    // Whether a shutdown block is in force, and the reason texts given, in order.
    bool ShutdownBlocked() const;
    std::vector<std::string> ShutdownReasons() const;
    // Template ids of every dialog created, in order, and the number of windows still open.
    std::vector<int> DialogsCreated() const;
    int OpenDialogs() const;
    // Screen positions given to MoveToTop, in order.
    std::vector<std::pair<plat::Window, plat::Rect>> Moves() const;
    // PumpPaintMessages calls so far.
    int PaintPumps() const;

    // UTF-8 text in the machine's ANSI code page and back (for comparing with catalogue texts).
    std::string Ansi(const std::string& utf8) const;
    std::string Utf8(const std::string& ansi) const;

    // Ends every modal loop, answers every waiting sender with 0 and makes later cross-thread
    // calls return at once (the machine calls it before joining threads).
    void Shutdown();
    // Wakes the modal loops (a thread ended).
    void Wake();
    // Makes every later window of the template, modeless or modal, fail to be created, as when
    // the system is out of window resources.
    void FailCreateDialog(int templateId);
    // Makes the next `count` PostMessage calls with this message fail, as when the receiving
    // thread's message queue is full.
    void FailPostMessage(uint32_t message, int count);

    // ---- plat::IUi ----
    std::string LoadString(uint32_t id) override;
    int MessageBox(plat::Window owner, const std::string& text, const std::string& caption,
                   uint32_t type) override;
    plat::Window GetActiveWindow() override;
    intptr_t DialogBox(int templateId, plat::Window parent, plat::IDialogHost* host) override;
    plat::Window CreateDialog(int templateId, plat::Window parent,
                              plat::IDialogHost* host) override;
    bool EndDialog(plat::Window dialog, intptr_t result) override;
    bool DestroyWindow(plat::Window window) override;
    bool IsWindow(plat::Window window) override;
    plat::Window GetDlgItem(plat::Window dialog, int id) override;
    bool SetWindowText(plat::Window window, const std::string& text) override;
    std::string GetWindowText(plat::Window window) override;
    bool EnableWindow(plat::Window window, bool enable) override;
    bool IsWindowEnabled(plat::Window window) override;
    bool ShowWindow(plat::Window window, int command) override;
    bool IsWindowVisible(plat::Window window) override;
    bool IsIconic(plat::Window window) override;
    bool GetWindowRect(plat::Window window, plat::Rect& rect) override;
    bool GetClientRect(plat::Window window, plat::Rect& rect) override;
    bool MoveToTop(plat::Window window, int x, int y) override;
    intptr_t SendMessage(plat::Window window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override;
    bool PostMessage(plat::Window window, uint32_t message, uintptr_t wParam,
                     intptr_t lParam) override;
    uintptr_t GetSystemMenu(plat::Window window) override;
    bool AppendMenu(uintptr_t menu, uint32_t flags, uintptr_t id, const char* text) override;
    uintptr_t LoadIcon(int resourceId) override;
    uintptr_t ResourceModule() override;
    int GetSystemMetrics(uint32_t index) override;
    void PaintIcon(plat::Window window, uintptr_t icon, int x, int y) override;
    uintptr_t BeginWaitCursor() override;
    void RestoreCursor(uintptr_t previous) override;
    bool BlockShutdown(plat::Window window, uint32_t reasonId) override;
    bool UnblockShutdown(plat::Window window) override;
    void PumpPaintMessages() override;
    void DiscardTypedInput() override;

    struct Impl;

  private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
