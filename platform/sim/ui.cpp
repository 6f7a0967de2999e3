#include "platform/sim/ui.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <set>

#include "platform/sim/system.h"
#include "res/catalog.h"

namespace sim {

namespace {

namespace st = res::style;

// Window messages and notifications the dialog manager knows beyond those of wintypes.h.
constexpr uint32_t WM_GETTEXTLENGTH = 0x000E;
constexpr uint32_t WM_CTLCOLORMSGBOX = 0x0132;
constexpr uint32_t WM_CTLCOLORSTATIC = 0x0138;
constexpr uint32_t PBM_DELTAPOS = win::WM_USER + 3;
constexpr uint32_t PBM_SETRANGE32 = win::WM_USER + 6;
constexpr uint32_t PBM_GETRANGE = win::WM_USER + 7;
constexpr uint32_t PBM_GETPOS = win::WM_USER + 8;
constexpr uint32_t CBN_SELCHANGE = 1;
constexpr uint32_t BN_CLICKED = 0;
constexpr uintptr_t SC_MINIMIZE = 0xF020;
constexpr uintptr_t SC_CLOSE = 0xF060;
constexpr uintptr_t SC_RESTORE = 0xF120;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_FORCEMINIMIZE = 11;
constexpr int SW_RESTORE = 9;
constexpr uint32_t SM_CXSMICON = 49;
constexpr uint32_t SM_CYSMICON = 50;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr uintptr_t kResourceModule = 0x00400000;
constexpr uintptr_t kMenuBase = 0x00080000;
constexpr uintptr_t kArrowCursor = 0x00010003;
constexpr uintptr_t kWaitCursor = 0x00010005;
constexpr int kAnimationClip = 900;
constexpr int kProgramIcon = 512;

intptr_t MakeLong(int lo, int hi) {
    return static_cast<intptr_t>((static_cast<uint32_t>(lo) & 0xFFFF) |
                                 ((static_cast<uint32_t>(hi) & 0xFFFF) << 16));
}

// The order of a sorted list: letter case ignored, hyphens and apostrophes weighed only when
// everything else is equal (as the word sort of Windows does), double-byte characters after
// all single-byte ones.
std::vector<uint32_t> SortKey(const std::string& s, int codePage, bool punctuation) {
    std::vector<uint32_t> key;
    for (size_t i = 0; i < s.size(); ++i) {
        uint8_t c = static_cast<uint8_t>(s[i]);
        if (IsLeadByte(codePage, c) && i + 1 < s.size()) {
            key.push_back(0x10000u + (c << 8) + static_cast<uint8_t>(s[++i]));
            continue;
        }
        if (!punctuation && (c == '-' || c == '\'')) continue;
        std::string one(1, static_cast<char>(c));
        key.push_back(static_cast<uint8_t>(FoldAnsi(one, codePage)[0]));
    }
    return key;
}

int CompareItems(const std::string& a, const std::string& b, int codePage) {
    auto ka = SortKey(a, codePage, false), kb = SortKey(b, codePage, false);
    if (ka != kb) return ka < kb ? -1 : 1;
    ka = SortKey(a, codePage, true);
    kb = SortKey(b, codePage, true);
    if (ka != kb) return ka < kb ? -1 : 1;
    return 0;
}

std::string CString(intptr_t lParam) {
    const char* p = reinterpret_cast<const char*>(lParam);
    return p ? std::string(p) : std::string();
}

uint32_t CopyText(const std::string& text, uintptr_t size, intptr_t buffer) {
    char* out = reinterpret_cast<char*>(buffer);
    if (!out || size == 0) return 0;
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<uint32_t>(n);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

struct SimUi::Impl {
    struct Win {
        uintptr_t id = 0;
        bool isDialog = false;
        uintptr_t parent = 0;  // a control's dialog, or a dialog's owner
        int templateId = 0;
        int controlId = 0;
        std::string className;
        std::string text;
        uint32_t style = 0, exStyle = 0;
        bool visible = false, enabled = true, iconic = false;
        plat::IDialogHost* host = nullptr;
        std::thread::id thread;
        bool modal = false, ended = false, dying = false;
        intptr_t result = 0;
        bool disabledOwner = false;
        std::vector<uintptr_t> children;
        plat::Rect rect;  // dialogs: screen; controls: relative to the dialog's client area
        uint64_t z = 0;
        std::vector<std::string> items;
        int selection = -1;
        int rangeMin = 0, rangeMax = 100, position = 0;
        int clip = 0;
        bool playing = false;
        uintptr_t iconBig = 0, iconSmall = 0;
        std::vector<MenuItem> menu;
    };

    struct Reply {
        bool done = false;
        intptr_t result = 0;
    };

    struct Item {
        uintptr_t window = 0;
        std::function<intptr_t()> call;
        std::shared_ptr<Reply> reply;  // set for a sent call
    };

    struct Queue {
        std::deque<Item> sent, posted;
    };

    SimUi& self;
    SimSystem& system;
    const int codePage;
    mutable std::mutex mutex;
    std::condition_variable cv;
    std::map<uintptr_t, Win> windows;
    std::map<std::thread::id, Queue> queues;
    uintptr_t nextId = 0x10010;
    uint64_t nextZ = 1;
    uint64_t wakeSeq = 0;
    bool shutdown = false;
    std::set<int> failCreate;          // templates whose windows cannot be created
    std::map<uint32_t, int> failPost;  // posts still to refuse, by message
    bool aborted = false;
    bool acted = false;
    int maxIdleRounds = 1000;
    std::chrono::milliseconds maxThreadWait{30000};
    IdleHandler idle;
    MessageBoxHandler messageBox;
    FailureHandler failure;
    std::vector<MessageBoxRecord> boxes;
    std::vector<IconPaint> paints;
    int waitBegins = 0, waitRestores = 0;
    bool shutdownBlocked = false;
    std::vector<std::string> shutdownReasons;
    std::vector<int> created;
    std::vector<std::pair<plat::Window, plat::Rect>> moves;
    std::map<uint32_t, std::string> stringCache;
    int paintPumps = 0;
    std::deque<TypedKey> typedAhead;
    const res::Catalog* catalog = nullptr;
    bool catalogTried = false;

    Impl(SimUi& ui, SimSystem& sys) : self(ui), system(sys), codePage(sys.CodePage()) {}

    // The buttons of a message box of this type, in their order on the box.
    static const std::vector<int>& ButtonsOf(uint32_t type) {
        static const std::vector<std::vector<int>> kButtons = {
            {win::IDOK},
            {win::IDOK, win::IDCANCEL},
            {3, 4, 5},  // abort, retry, ignore
            {win::IDYES, win::IDNO, win::IDCANCEL},
            {win::IDYES, win::IDNO},
            {4, win::IDCANCEL}};  // retry, cancel
        uint32_t kind = type & win::MB_TYPEMASK;
        return kButtons[kind < kButtons.size() ? kind : 0];
    }

    // The answer that the keys typed ahead give a message box of this type, 0 when they give
    // none; the keys it read are gone.
    int TypedAnswer(uint32_t type) {
        const std::vector<int>& buttons = ButtonsOf(type);
        std::lock_guard<std::mutex> lock(mutex);
        while (!typedAhead.empty()) {
            TypedKey key = typedAhead.front();
            typedAhead.pop_front();
            if (key == TypedKey::Enter) {
                size_t def = (type & 0xF00u) >> 8;
                return buttons[def < buttons.size() ? def : 0];
            }
            // Escape: the Cancel button, or OK when it is the only one; otherwise it is ignored.
            if (std::find(buttons.begin(), buttons.end(), win::IDCANCEL) != buttons.end())
                return win::IDCANCEL;
            if (buttons.size() == 1) return win::IDOK;
        }
        return 0;
    }

    // ---- helpers; *Locked ones need the mutex held ----

    Win* FindLocked(uintptr_t id) {
        auto it = windows.find(id);
        return it == windows.end() ? nullptr : &it->second;
    }

    const res::Catalog* Catalog() {
        std::lock_guard<std::mutex> lock(mutex);
        if (!catalogTried) {
            catalogTried = true;
            try {
                catalog = &res::GetCatalog(system.GetLanguage() == Language::Japanese
                                               ? res::Lang::Japanese
                                               : res::Lang::English);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "simulated ui: resource catalogue unreadable: %s\n", e.what());
                catalog = nullptr;
            }
        }
        return catalog;
    }

    void Fail(const std::string& message) {
        FailureHandler handler;
        {
            std::lock_guard<std::mutex> lock(mutex);
            aborted = true;
            handler = failure;
            cv.notify_all();
        }
        if (handler) {
            handler(message);
        } else {
            std::fprintf(stderr, "simulated ui: %s\n", message.c_str());
            std::abort();
        }
    }

    int BaseX(const res::DialogTemplate&) const { return 6; }
    int BaseY(const res::DialogTemplate& t) const { return t.fontSize >= 9 ? 12 : 13; }

    // Builds the window tree of a template; returns the dialog's id.
    uintptr_t CreateLocked(const res::DialogTemplate& t, uintptr_t owner, plat::IDialogHost* host,
                           bool modal) {
        const int bx = BaseX(t), by = BaseY(t);
        auto px = [bx](int du) { return du * bx / 4; };
        auto py = [by](int du) { return du * by / 8; };
        Win d;
        d.id = nextId;
        nextId += 4;
        d.isDialog = true;
        d.parent = owner;
        d.templateId = t.id;
        d.className = "#32770";
        d.text = Utf8ToAnsi(t.caption, codePage);
        d.style = t.style;
        d.exStyle = t.exStyle;
        d.visible = false;  // shown after WM_INITDIALOG
        d.enabled = !(t.style & st::WS_DISABLED);
        d.host = host;
        d.thread = std::this_thread::get_id();
        d.modal = modal;
        d.z = nextZ++;
        int left = px(t.x), top = py(t.y);
        if (Win* o = FindLocked(owner)) {
            left += o->rect.left + Border(*o);
            top += o->rect.top + Caption(*o);
        }
        int width = px(t.cx) + 2 * Border(d), height = py(t.cy) + Caption(d) + Border(d);
        d.rect = {left, top, left + width, top + height};
        for (const auto& c : t.controls) {
            Win w;
            w.id = nextId;
            nextId += 4;
            w.parent = d.id;
            w.controlId = c.id;
            w.className = c.className;
            w.text = Utf8ToAnsi(c.text, codePage);
            w.style = c.style;
            w.exStyle = c.exStyle;
            w.visible = (c.style & st::WS_VISIBLE) != 0;
            w.enabled = !(c.style & st::WS_DISABLED);
            w.thread = d.thread;
            w.rect = {px(c.x), py(c.y), px(c.x + c.cx), py(c.y + c.cy)};
            d.children.push_back(w.id);
            windows[w.id] = std::move(w);
        }
        uintptr_t id = d.id;
        windows[id] = std::move(d);
        created.push_back(t.id);
        return id;
    }

    static int Border(const Win& w) { return (w.style & st::WS_CAPTION) ? 3 : 1; }
    static int Caption(const Win& w) {
        if (!(w.style & st::WS_CAPTION)) return Border(w);
        return Border(w) + ((w.exStyle & st::WS_EX_TOOLWINDOW) ? 16 : 20);
    }

    bool VisibleLocked(const Win& w) {
        if (!w.visible) return false;
        if (!w.isDialog) {
            Win* d = FindLocked(w.parent);
            return d && d->visible;
        }
        return true;
    }

    // Shows or hides a window as ShowWindow does, shown minimised or not as `iconic` says. A
    // dialog is told of a change of its visibility with WM_SHOWWINDOW before it takes effect.
    // Returns whether the window was visible before.
    bool SetShown(uintptr_t id, bool show, bool iconic) {
        bool was = false, dialog = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Win* w = FindLocked(id);
            if (!w) return false;
            was = w->visible;
            dialog = w->isDialog;
        }
        if (dialog && was != show) Dispatch(id, win::WM_SHOWWINDOW, show ? 1 : 0, 0);
        std::lock_guard<std::mutex> lock(mutex);
        Win* w = FindLocked(id);
        if (!w || (dialog && w->dying)) return was;
        if (!show) {
            w->visible = false;
            return was;
        }
        SetVisibleLocked(*w, true);
        w->iconic = iconic;
        return was;
    }

    void SetVisibleLocked(Win& w, bool visible) {
        if (visible && !w.visible) w.z = nextZ++;
        w.visible = visible;
    }

    // The thread's queue gets a call; the owner's modal loop serves it.
    void PostLocked(uintptr_t window, std::function<intptr_t()> call) {
        Win* w = FindLocked(window);
        if (!w) return;
        queues[w->thread].posted.push_back({window, std::move(call), nullptr});
        cv.notify_all();
    }

    // Runs fn on the thread that owns the window: at once on that thread, otherwise queued as a
    // sent message, waiting until the owner's modal loop has served it.
    intptr_t OnOwner(uintptr_t window, std::function<intptr_t()> fn) {
        std::unique_lock<std::mutex> lock(mutex);
        Win* w = FindLocked(window);
        if (!w) return 0;
        if (w->thread == std::this_thread::get_id()) {
            lock.unlock();
            return fn();
        }
        if (shutdown) return 0;
        auto reply = std::make_shared<Reply>();
        queues[w->thread].sent.push_back({window, std::move(fn), reply});
        // Woken after the lock is let go, so that the owner does not wake only to wait for it.
        lock.unlock();
        cv.notify_all();
        lock.lock();
        // While it waits, the sender serves messages sent to its own windows, as Windows does,
        // so that two threads sending to each other do not deadlock.
        while (!reply->done && !shutdown) {
            Item incoming;
            if (PopSentLocked(incoming)) {
                lock.unlock();
                Serve(incoming);
                lock.lock();
                continue;
            }
            bool woke = cv.wait_for(lock, maxThreadWait * 2,
                                    [&] { return reply->done || shutdown || HasSentLocked(); });
            if (!woke) {
                lock.unlock();
                Fail(
                    "a message sent from another thread was never served (is the window's "
                    "thread in a modal loop?)");
                return 0;
            }
        }
        return reply->done ? reply->result : 0;
    }

    bool PopLocked(Item& item) {
        auto it = queues.find(std::this_thread::get_id());
        if (it == queues.end()) return false;
        auto& q = it->second;
        if (!q.sent.empty()) {  // sent messages go before posted ones, as in Windows
            item = std::move(q.sent.front());
            q.sent.pop_front();
            return true;
        }
        if (!q.posted.empty()) {
            item = std::move(q.posted.front());
            q.posted.pop_front();
            return true;
        }
        return false;
    }

    bool PopSentLocked(Item& item) {
        auto it = queues.find(std::this_thread::get_id());
        if (it == queues.end() || it->second.sent.empty()) return false;
        item = std::move(it->second.sent.front());
        it->second.sent.pop_front();
        return true;
    }

    bool HasSentLocked() {
        auto it = queues.find(std::this_thread::get_id());
        return it != queues.end() && !it->second.sent.empty();
    }

    bool HasItemsLocked() {
        auto it = queues.find(std::this_thread::get_id());
        return it != queues.end() && (!it->second.sent.empty() || !it->second.posted.empty());
    }

    void Serve(Item& item) {
        intptr_t result = 0;
        bool alive;
        {
            std::lock_guard<std::mutex> lock(mutex);
            alive = FindLocked(item.window) != nullptr;
        }
        if (alive) result = item.call();
        if (item.reply) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                item.reply->done = true;
                item.reply->result = result;
            }
            cv.notify_all();
        }
    }

    // Drops what waits for a window that is going: senders are answered with 0.
    void ForgetQueuedLocked(uintptr_t window) {
        for (auto& [thread, q] : queues) {
            for (auto& i : q.sent) {
                if (i.window == window && i.reply) {
                    i.reply->done = true;
                    i.reply->result = 0;
                }
            }
            auto gone = [window](const Item& i) { return i.window == window; };
            q.sent.erase(std::remove_if(q.sent.begin(), q.sent.end(), gone), q.sent.end());
            q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), gone), q.posted.end());
        }
        cv.notify_all();
    }

    // ---- message handling on the owner thread ----

    intptr_t Dispatch(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        plat::IDialogHost* host = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Win* w = FindLocked(window);
            if (!w) return 0;
            if (!w->isDialog) return ControlMessageLocked(*w, message, wParam, lParam);
            host = w->host;
        }
        intptr_t r = host ? host->DialogProc(plat::Window{window}, message, wParam, lParam) : 0;
        if (r != 0) {
            // Handled by the dialog: the system adds nothing, and the sender gets the dialog's
            // message result, which a dialog of the tool never sets, so 0. Only a few messages
            // pass the procedure's own return value on.
            const bool passedOn = message == win::WM_INITDIALOG ||
                                  message == win::WM_QUERYDRAGICON ||
                                  (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
            return passedOn ? r : 0;
        }
        return DefaultDialog(window, message, wParam, lParam, r);
    }

    // What the system's dialog procedure does with a message the dialog left unhandled.
    intptr_t DefaultDialog(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                           intptr_t hostResult) {
        std::unique_lock<std::mutex> lock(mutex);
        Win* w = FindLocked(window);
        if (!w) return hostResult;
        switch (message) {
            case win::WM_SETTEXT:
                w->text = CString(lParam);
                return 1;
            case win::WM_GETTEXT:
                return CopyText(w->text, wParam, lParam);
            case WM_GETTEXTLENGTH:
                return static_cast<intptr_t>(w->text.size());
            case win::WM_SETICON: {
                uintptr_t& slot = wParam == win::ICON_SMALL ? w->iconSmall : w->iconBig;
                uintptr_t previous = slot;
                slot = static_cast<uintptr_t>(lParam);
                return static_cast<intptr_t>(previous);
            }
            case win::WM_SYSCOMMAND: {
                uintptr_t cmd = wParam & 0xFFF0;
                if (cmd == SC_CLOSE) {
                    lock.unlock();
                    return Dispatch(window, win::WM_CLOSE, 0, 0);
                }
                if (cmd == SC_MINIMIZE) w->iconic = true;
                if (cmd == SC_RESTORE) w->iconic = false;
                return 0;
            }
            case win::WM_QUERYENDSESSION:
                // Left unhandled, the question lets the session end.
                return 1;
            case win::DM_SETDEFID: {
                // The push button of that id becomes the default one (the button Enter presses)
                // and the one before it an ordinary push button, as the system restyles them.
                Win* next = FindLocked(ChildLocked(*w, static_cast<int>(wParam)));
                if (next && next->className != "Button") return 0;
                for (uintptr_t c : w->children) {
                    Win* b = FindLocked(c);
                    if (b && b != next && b->className == "Button" &&
                        (b->style & st::BS_TYPEMASK) == st::BS_DEFPUSHBUTTON)
                        b->style = (b->style & ~st::BS_TYPEMASK) | st::BS_PUSHBUTTON;
                }
                if (next && (next->style & st::BS_TYPEMASK) == st::BS_PUSHBUTTON)
                    next->style = (next->style & ~st::BS_TYPEMASK) | st::BS_DEFPUSHBUTTON;
                return 1;
            }
            case win::WM_CLOSE: {
                // Closing is Cancel, unless the Cancel button is there and disabled.
                uintptr_t cancel = ChildLocked(*w, win::IDCANCEL);
                Win* c = FindLocked(cancel);
                if (c && !c->enabled) return 0;
                PostLocked(window, [this, window, cancel] {
                    return Dispatch(window, win::WM_COMMAND, MakeLong(win::IDCANCEL, BN_CLICKED),
                                    static_cast<intptr_t>(cancel));
                });
                return 0;
            }
            default:
                return hostResult;
        }
    }

    uintptr_t ChildLocked(const Win& dialog, int id) {
        for (uintptr_t c : dialog.children) {
            Win* w = FindLocked(c);
            if (w && w->controlId == id) return c;
        }
        return 0;
    }

    intptr_t ControlMessageLocked(Win& w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        const bool combo = w.className == "ComboBox";
        const bool dropList = combo && (w.style & 0x3) == st::CBS_DROPDOWNLIST;
        switch (message) {
            case win::WM_SETTEXT:
                w.text = CString(lParam);
                return 1;
            case win::WM_GETTEXT:
                return CopyText(dropList ? SelectedText(w) : w.text, wParam, lParam);
            case WM_GETTEXTLENGTH:
                return static_cast<intptr_t>((dropList ? SelectedText(w) : w.text).size());
            default:
                break;
        }
        if (w.className == "Button" && message == win::BM_CLICK) {
            if (!w.enabled) return 0;
            uintptr_t dialog = w.parent, button = w.id;
            int id = w.controlId;
            PostLocked(dialog, [this, dialog, button, id] {
                return Dispatch(dialog, win::WM_COMMAND, MakeLong(id, BN_CLICKED),
                                static_cast<intptr_t>(button));
            });
            return 0;
        }
        if (combo) return ComboMessageLocked(w, message, wParam, lParam);
        if (w.className == "msctls_progress32") {
            switch (message) {
                case win::PBM_SETRANGE: {
                    intptr_t previous = MakeLong(w.rangeMin, w.rangeMax);
                    w.rangeMin = static_cast<int>(lParam & 0xFFFF);
                    w.rangeMax = static_cast<int>((lParam >> 16) & 0xFFFF);
                    w.position =
                        std::clamp(w.position, w.rangeMin, std::max(w.rangeMin, w.rangeMax));
                    return previous;
                }
                case PBM_SETRANGE32: {
                    intptr_t previous = MakeLong(w.rangeMin, w.rangeMax);
                    w.rangeMin = static_cast<int>(wParam);
                    w.rangeMax = static_cast<int>(lParam);
                    return previous;
                }
                case win::PBM_SETPOS: {
                    int previous = w.position;
                    w.position = std::clamp(static_cast<int>(wParam), w.rangeMin,
                                            std::max(w.rangeMin, w.rangeMax));
                    return previous;
                }
                case PBM_DELTAPOS: {
                    int previous = w.position;
                    w.position = std::clamp(w.position + static_cast<int>(wParam), w.rangeMin,
                                            std::max(w.rangeMin, w.rangeMax));
                    return previous;
                }
                case PBM_GETPOS:
                    return w.position;
                case PBM_GETRANGE:
                    return wParam ? w.rangeMin : w.rangeMax;
                default:
                    return 0;
            }
        }
        if (w.className == "SysAnimate32") {
            switch (message) {
                case win::ACM_OPENA:
                    if (lParam == 0) {  // closes the clip
                        w.clip = 0;
                        w.playing = false;
                        return 1;
                    }
                    if (wParam != kResourceModule || lParam != kAnimationClip) return 0;
                    w.clip = static_cast<int>(lParam);
                    w.playing = (w.style & st::ACS_AUTOPLAY) != 0;
                    return 1;
                case win::ACM_PLAY:
                    if (!w.clip) return 0;
                    w.playing = true;
                    return 1;
                case win::ACM_STOP:
                    w.playing = false;
                    return 1;
                default:
                    return 0;
            }
        }
        return 0;
    }

    static std::string SelectedText(const Win& w) {
        return w.selection >= 0 && w.selection < static_cast<int>(w.items.size())
                   ? w.items[w.selection]
                   : std::string();
    }

    intptr_t ComboMessageLocked(Win& w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        const int count = static_cast<int>(w.items.size());
        const int index = static_cast<int>(static_cast<intptr_t>(wParam));
        switch (message) {
            case win::CB_ADDSTRING: {
                if (!lParam) return win::CB_ERR;
                std::string text = CString(lParam);
                size_t at = w.items.size();
                if (w.style & st::CBS_SORT) {
                    at = 0;
                    while (at < w.items.size() && CompareItems(w.items[at], text, codePage) < 0) {
                        ++at;
                    }
                }
                w.items.insert(w.items.begin() + static_cast<std::ptrdiff_t>(at), text);
                if (w.selection >= static_cast<int>(at)) ++w.selection;
                return static_cast<intptr_t>(at);
            }
            case win::CB_GETCOUNT:
                return count;
            case win::CB_GETCURSEL:
                return w.selection;
            case win::CB_SETCURSEL:
                if (index < 0 || index >= count) {
                    w.selection = -1;
                    return win::CB_ERR;
                }
                w.selection = index;
                return index;
            case win::CB_GETLBTEXT:
                if (index < 0 || index >= count) return win::CB_ERR;
                if (lParam) {  // the caller's buffer must hold the text: CB_GETLBTEXTLEN first
                    std::memcpy(reinterpret_cast<char*>(lParam), w.items[index].c_str(),
                                w.items[index].size() + 1);
                }
                return static_cast<intptr_t>(w.items[index].size());
            case win::CB_GETLBTEXTLEN:
                if (index < 0 || index >= count) return win::CB_ERR;
                return static_cast<intptr_t>(w.items[index].size());
            case win::CB_FINDSTRINGEXACT: {
                if (!lParam || count == 0) return win::CB_ERR;
                std::string want = FoldAnsi(CString(lParam), codePage);
                int start = (index < -1 || index >= count) ? -1 : index;
                for (int k = 1; k <= count; ++k) {
                    int i = (start + k) % count;
                    if (FoldAnsi(w.items[i], codePage) == want) return i;
                }
                return win::CB_ERR;
            }
            case win::CB_RESETCONTENT:
                w.items.clear();
                w.selection = -1;
                return 0;
            default:
                return 0;
        }
    }

    // ---- dialogs ----

    // Sends WM_INITDIALOG and shows a dialog whose template says visible.
    void InitDialog(uintptr_t id) {
        uintptr_t focus = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Win* d = FindLocked(id);
            if (!d) return;
            for (uintptr_t c : d->children) {
                Win* w = FindLocked(c);
                if (w && (w->style & st::WS_TABSTOP) && w->visible && w->enabled) {
                    focus = c;
                    break;
                }
            }
        }
        Dispatch(id, win::WM_INITDIALOG, focus, 0);
        std::lock_guard<std::mutex> lock(mutex);
        Win* d = FindLocked(id);
        if (d && (d->style & st::WS_VISIBLE) && !d->visible && !d->ended)
            SetVisibleLocked(*d, true);
    }

    void Destroy(uintptr_t id) {
        std::vector<uintptr_t> owned;
        plat::IDialogHost* host = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Win* w = FindLocked(id);
            if (!w || w->dying) return;
            w->dying = true;
            w->visible = false;
            if (!w->isDialog) {
                if (Win* d = FindLocked(w->parent)) {
                    auto& ch = d->children;
                    ch.erase(std::remove(ch.begin(), ch.end(), id), ch.end());
                }
                ForgetQueuedLocked(id);
                windows.erase(id);
                return;
            }
            for (auto& [other, win] : windows) {
                if (win.isDialog && win.parent == id && !win.dying) owned.push_back(other);
            }
            host = w->host;
            if (w->disabledOwner) {
                if (Win* o = FindLocked(w->parent)) o->enabled = true;
                w->disabledOwner = false;
            }
        }
        for (uintptr_t o : owned) Destroy(o);  // owned windows go first
        if (host) host->DialogProc(plat::Window{id}, win::WM_DESTROY, 0, 0);
        {
            std::lock_guard<std::mutex> lock(mutex);
            Win* w = FindLocked(id);
            if (w) {
                for (uintptr_t c : w->children) {
                    ForgetQueuedLocked(c);
                    windows.erase(c);
                }
                w->children.clear();
            }
            ForgetQueuedLocked(id);
        }
        // The window is still valid while its last message runs; the host may delete itself.
        if (host) host->DialogProc(plat::Window{id}, win::WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> lock(mutex);
        windows.erase(id);
        cv.notify_all();
    }

    // The modal loop of a dialog: serves sent and posted messages, lets the user act when
    // nothing is queued, and gives up (reporting a failure) when nothing can happen any more.
    void RunModal(uintptr_t id) {
        int idleRounds = 0;
        long idleCalls = 0;
        bool firstIdle = true;
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            Win* d = FindLocked(id);
            if (!d || d->ended || shutdown || aborted) return;
            Item item;
            if (PopLocked(item)) {
                lock.unlock();
                Serve(item);
                idleRounds = 0;
                continue;
            }
            if (firstIdle) {
                // A modal dialog is shown (normal size, activated) when its queue first runs
                // empty, even when the program has hidden it before.
                firstIdle = false;
                if (!d->visible) {
                    lock.unlock();
                    SetShown(id, true, false);
                    lock.lock();
                    d = FindLocked(id);
                    if (!d || d->ended || shutdown || aborted) return;
                    if (HasItemsLocked()) continue;
                }
            }
            IdleHandler handler = idle;
            acted = false;
            lock.unlock();
            if (handler) {
                if (++idleCalls > 100000) {
                    Fail("dialog " + std::to_string(TemplateOf(id)) +
                         ": the user's idle handler keeps acting without the dialog ending");
                    return;
                }
                UiView view = self.View();
                handler(view, self);
            }
            lock.lock();
            d = FindLocked(id);
            if (!d || d->ended || shutdown || aborted) return;
            if (acted || HasItemsLocked()) continue;
            uint64_t seq = wakeSeq;
            if (system.LiveThreads() > 0) {
                // Another thread may still send or post: sleep until it does or ends.
                bool woke = cv.wait_for(lock, maxThreadWait, [&] {
                    Win* w = FindLocked(id);
                    return !w || w->ended || shutdown || aborted || HasItemsLocked() ||
                           wakeSeq != seq || system.LiveThreads() == 0;
                });
                if (!woke) {
                    lock.unlock();
                    Fail("dialog " + std::to_string(TemplateOf(id)) +
                         ": a running thread neither sent, posted nor ended in time");
                    return;
                }
                continue;
            }
            if (++idleRounds >= maxIdleRounds) {
                lock.unlock();
                Fail("dialog " + std::to_string(TemplateOf(id)) +
                     " is waiting for the user, who did nothing (no idle handler acted and no "
                     "thread can post)");
                return;
            }
        }
    }

    int TemplateOf(uintptr_t id) {
        std::lock_guard<std::mutex> lock(mutex);
        Win* w = FindLocked(id);
        return w ? w->templateId : 0;
    }

    // ---- the user's side ----

    uintptr_t ResolveDialogLocked(plat::Window dialog) {
        if (dialog) {
            Win* w = FindLocked(dialog.id);
            return w && w->isDialog ? dialog.id : 0;
        }
        uintptr_t best = 0;
        uint64_t bestZ = 0;
        for (auto& [id, w] : windows) {
            if (w.isDialog && w.visible && w.enabled && !w.ended && !w.dying && w.z > bestZ) {
                best = id;
                bestZ = w.z;
            }
        }
        return best;
    }

    // A dialog the user can reach: it exists, shows and takes input.
    Win* ReachableLocked(plat::Window dialog) {
        Win* d = FindLocked(ResolveDialogLocked(dialog));
        if (!d || !d->visible || !d->enabled || d->ended || d->dying) return nullptr;
        return d;
    }

    void UserCommandLocked(uintptr_t dialog, int id, uintptr_t control) {
        acted = true;
        PostLocked(dialog, [this, dialog, id, control] {
            return Dispatch(dialog, win::WM_COMMAND, MakeLong(id, BN_CLICKED),
                            static_cast<intptr_t>(control));
        });
    }
};

// ---------------------------------------------------------------------------------------------
// Views.

const ControlView* DialogView::Control(int id) const {
    for (const auto& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

std::string DialogView::Text(int id) const {
    const ControlView* c = Control(id);
    return c ? c->text : std::string();
}

const DialogView* UiView::Find(int templateId) const {
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
        if (it->templateId == templateId) return &*it;
    }
    return nullptr;
}

const DialogView* UiView::Active() const {
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
        if (it->visible && it->enabled) return &*it;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------

SimUi::SimUi(SimSystem& system) : m_impl(std::make_unique<Impl>(*this, system)) {}

SimUi::~SimUi() = default;

void SimUi::OnIdle(IdleHandler handler) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->idle = std::move(handler);
}

void SimUi::OnMessageBox(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->messageBox = std::move(handler);
}

void SimUi::OnFailure(FailureHandler handler) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->failure = std::move(handler);
}

void SimUi::SetMaxIdleRounds(int rounds) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->maxIdleRounds = std::max(1, rounds);
}

void SimUi::SetMaxThreadWait(std::chrono::milliseconds wait) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->maxThreadWait = wait;
}

UiView SimUi::View() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::vector<const Impl::Win*> dialogs;
    for (const auto& [id, w] : m_impl->windows) {
        if (w.isDialog && !w.dying) dialogs.push_back(&w);
    }
    std::sort(dialogs.begin(), dialogs.end(),
              [](const Impl::Win* a, const Impl::Win* b) { return a->z < b->z; });
    UiView view;
    for (const Impl::Win* d : dialogs) {
        DialogView dv;
        dv.window = plat::Window{d->id};
        dv.templateId = d->templateId;
        dv.caption = d->text;
        dv.visible = d->visible;
        dv.enabled = d->enabled;
        dv.modal = d->modal;
        dv.iconic = d->iconic;
        dv.hasSystemMenu = (d->style & res::style::WS_SYSMENU) != 0;
        dv.rect = d->rect;
        for (uintptr_t c : d->children) {
            const Impl::Win* w = m_impl->FindLocked(c);
            if (!w) continue;
            ControlView cv;
            cv.window = plat::Window{w->id};
            cv.id = w->controlId;
            cv.className = w->className;
            cv.text = w->text;
            cv.style = w->style;
            cv.visible = w->visible;
            cv.enabled = w->enabled;
            cv.items = w->items;
            cv.selection = w->selection;
            cv.rangeMin = w->rangeMin;
            cv.rangeMax = w->rangeMax;
            cv.position = w->position;
            cv.animationId = w->clip;
            cv.animationPlaying = w->playing;
            dv.controls.push_back(std::move(cv));
        }
        view.dialogs.push_back(std::move(dv));
    }
    return view;
}

plat::Window SimUi::FindDialog(int templateId) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    uintptr_t best = 0;
    uint64_t bestZ = 0;
    for (const auto& [id, w] : m_impl->windows) {
        if (w.isDialog && !w.dying && w.templateId == templateId && w.z >= bestZ) {
            best = id;
            bestZ = w.z;
        }
    }
    return plat::Window{best};
}

bool SimUi::Click(int controlId, plat::Window dialog) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->ReachableLocked(dialog);
    if (!d) return false;
    Impl::Win* c = m_impl->FindLocked(m_impl->ChildLocked(*d, controlId));
    if (!c || c->className != "Button" || !c->visible || !c->enabled) return false;
    m_impl->UserCommandLocked(d->id, controlId, c->id);
    return true;
}

bool SimUi::ClickIn(int templateId, int controlId) {
    plat::Window d = FindDialog(templateId);
    return d && Click(controlId, d);
}

bool SimUi::PressEnter(plat::Window dialog) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->ReachableLocked(dialog);
    if (!d) return false;
    int defId = win::IDOK;
    for (uintptr_t c : d->children) {
        Impl::Win* w = m_impl->FindLocked(c);
        if (w && w->className == "Button" &&
            (w->style & res::style::BS_TYPEMASK) == res::style::BS_DEFPUSHBUTTON) {
            defId = w->controlId;
            break;
        }
    }
    uintptr_t button = m_impl->ChildLocked(*d, defId);
    Impl::Win* b = m_impl->FindLocked(button);
    if (b && !b->enabled) return false;
    m_impl->UserCommandLocked(d->id, defId, button);
    return true;
}

bool SimUi::PressEscape(plat::Window dialog) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->ReachableLocked(dialog);
    if (!d) return false;
    m_impl->UserCommandLocked(d->id, win::IDCANCEL, m_impl->ChildLocked(*d, win::IDCANCEL));
    return true;
}

bool SimUi::CloseBox(plat::Window dialog) { return SystemCommand(SC_CLOSE, dialog); }

bool SimUi::SystemCommand(uintptr_t id, plat::Window dialog) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->ReachableLocked(dialog);
    if (!d || !(d->style & res::style::WS_SYSMENU)) return false;
    uintptr_t target = d->id;
    Impl* impl = m_impl.get();
    m_impl->acted = true;
    m_impl->PostLocked(
        target, [impl, target, id] { return impl->Dispatch(target, win::WM_SYSCOMMAND, id, 0); });
    return true;
}

bool SimUi::SelectItem(int comboId, int index, plat::Window dialog) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->ReachableLocked(dialog);
    if (!d) return false;
    uintptr_t combo = m_impl->ChildLocked(*d, comboId);
    Impl::Win* c = m_impl->FindLocked(combo);
    if (!c || c->className != "ComboBox" || !c->visible || !c->enabled) return false;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return false;
    uintptr_t target = d->id;
    Impl* impl = m_impl.get();
    m_impl->acted = true;
    m_impl->PostLocked(target, [impl, target, combo, comboId, index] {
        {
            std::lock_guard<std::mutex> inner(impl->mutex);
            Impl::Win* w = impl->FindLocked(combo);
            if (!w) return intptr_t{0};
            w->selection = index;
        }
        return impl->Dispatch(target, win::WM_COMMAND, MakeLong(comboId, CBN_SELCHANGE),
                              static_cast<intptr_t>(combo));
    });
    return true;
}

bool SimUi::SelectItem(int comboId, const std::string& text, plat::Window dialog) {
    int index = -1;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        Impl::Win* d = m_impl->ReachableLocked(dialog);
        if (!d) return false;
        Impl::Win* c = m_impl->FindLocked(m_impl->ChildLocked(*d, comboId));
        if (!c) return false;
        auto it = std::find(c->items.begin(), c->items.end(), text);
        if (it == c->items.end()) return false;
        index = static_cast<int>(it - c->items.begin());
    }
    return SelectItem(comboId, index, dialog);
}

void SimUi::SetIconic(plat::Window window, bool iconic) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (Impl::Win* w = m_impl->FindLocked(window.id)) w->iconic = iconic;
}

// ---- records ----

std::vector<MessageBoxRecord> SimUi::MessageBoxes() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->boxes;
}

std::vector<MenuItem> SimUi::SystemMenuItems(plat::Window window) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    return w ? w->menu : std::vector<MenuItem>{};
}

std::vector<IconPaint> SimUi::IconPaints() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->paints;
}

uintptr_t SimUi::WindowIcon(plat::Window window, uintptr_t which) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    if (!w) return 0;
    return which == win::ICON_SMALL ? w->iconSmall : w->iconBig;
}

int SimUi::WaitCursorBegins() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->waitBegins;
}

int SimUi::WaitCursorRestores() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->waitRestores;
}

bool SimUi::ShutdownBlocked() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->shutdownBlocked;
}

std::vector<std::string> SimUi::ShutdownReasons() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->shutdownReasons;
}

std::vector<int> SimUi::DialogsCreated() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->created;
}

int SimUi::OpenDialogs() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    int n = 0;
    for (const auto& [id, w] : m_impl->windows) n += w.isDialog ? 1 : 0;
    return n;
}

std::vector<std::pair<plat::Window, plat::Rect>> SimUi::Moves() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->moves;
}

int SimUi::PaintPumps() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->paintPumps;
}

std::string SimUi::Ansi(const std::string& utf8) const {
    return Utf8ToAnsi(utf8, m_impl->codePage);
}

std::string SimUi::Utf8(const std::string& ansi) const {
    return AnsiToUtf8(ansi, m_impl->codePage);
}

void SimUi::Shutdown() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->shutdown = true;
    for (auto& [thread, q] : m_impl->queues) {
        for (auto& i : q.sent) {
            if (i.reply) i.reply->done = true;
        }
        q.sent.clear();
        q.posted.clear();
    }
    m_impl->cv.notify_all();
}

void SimUi::Wake() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    ++m_impl->wakeSeq;
    m_impl->cv.notify_all();
}

// ---------------------------------------------------------------------------------------------
// plat::IUi

std::string SimUi::LoadString(uint32_t id) {
    const res::Catalog* catalog = m_impl->Catalog();
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto cached = m_impl->stringCache.find(id);
    if (cached != m_impl->stringCache.end()) return cached->second;
    if (!catalog) return {};
    auto it = catalog->strings.find(id);
    if (it == catalog->strings.end()) return {};
    std::string text = Utf8ToAnsi(it->second, m_impl->codePage);
    m_impl->stringCache[id] = text;
    return text;
}

int SimUi::MessageBox(plat::Window owner, const std::string& text, const std::string& caption,
                      uint32_t type) {
    MessageBoxRecord box;
    box.owner = owner;
    box.text = text;
    box.caption = caption;
    box.type = type;
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (Impl::Win* w = m_impl->FindLocked(owner.id)) box.ownerTemplateId = w->templateId;
        handler = m_impl->messageBox;
    }
    // Unless a handler or a typed key says otherwise, the box is answered with its first button.
    int answer = Impl::ButtonsOf(type).front();
    if (int typed = m_impl->TypedAnswer(type)) {
        // A key typed before the box was shown answers it: the user never saw it.
        box.typedAhead = true;
        answer = typed;
    } else if (handler) {
        answer = handler(box);
    }
    box.answer = answer;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->boxes.push_back(box);
    return answer;
}

plat::Window SimUi::GetActiveWindow() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    uintptr_t best = 0;
    uint64_t bestZ = 0;
    auto me = std::this_thread::get_id();
    for (const auto& [id, w] : m_impl->windows) {
        if (w.isDialog && w.thread == me && w.visible && w.enabled && !w.ended && !w.dying &&
            w.z > bestZ) {
            best = id;
            bestZ = w.z;
        }
    }
    return plat::Window{best};
}

intptr_t SimUi::DialogBox(int templateId, plat::Window parent, plat::IDialogHost* host) {
    const res::Catalog* catalog = m_impl->Catalog();
    uintptr_t id;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (!host || !catalog || m_impl->shutdown || m_impl->aborted) return -1;
        if (m_impl->failCreate.count(templateId)) return -1;
        auto t = catalog->dialogs.find(templateId);
        if (t == catalog->dialogs.end()) return -1;
        Impl::Win* owner = m_impl->FindLocked(parent.id);
        id = m_impl->CreateLocked(t->second, owner ? parent.id : 0, host, true);
        // The owner takes no input while the modal dialog runs.
        if (owner && owner->enabled) {
            owner->enabled = false;
            m_impl->FindLocked(id)->disabledOwner = true;
        }
    }
    m_impl->InitDialog(id);
    m_impl->RunModal(id);
    intptr_t result = -1;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (Impl::Win* d = m_impl->FindLocked(id)) {
            result = d->ended ? d->result : -1;
            d->visible = false;
        }
    }
    m_impl->Destroy(id);
    return result;
}

void SimUi::FailCreateDialog(int templateId) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->failCreate.insert(templateId);
}

void SimUi::FailPostMessage(uint32_t message, int count) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->failPost[message] = count;
}

plat::Window SimUi::CreateDialog(int templateId, plat::Window parent, plat::IDialogHost* host) {
    const res::Catalog* catalog = m_impl->Catalog();
    uintptr_t id;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (!host || !catalog || m_impl->shutdown) return {};
        if (m_impl->failCreate.count(templateId)) return {};
        auto t = catalog->dialogs.find(templateId);
        if (t == catalog->dialogs.end()) return {};
        Impl::Win* owner = m_impl->FindLocked(parent.id);
        id = m_impl->CreateLocked(t->second, owner ? parent.id : 0, host, false);
    }
    m_impl->InitDialog(id);
    return plat::Window{id};
}

bool SimUi::EndDialog(plat::Window dialog, intptr_t result) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->FindLocked(dialog.id);
    if (!d || !d->isDialog) return false;
    d->ended = true;
    d->result = result;
    d->visible = false;
    // The owner takes input again at once.
    if (d->disabledOwner) {
        if (Impl::Win* o = m_impl->FindLocked(d->parent)) o->enabled = true;
        d->disabledOwner = false;
    }
    m_impl->cv.notify_all();
    return true;
}

bool SimUi::DestroyWindow(plat::Window window) {
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        Impl::Win* w = m_impl->FindLocked(window.id);
        // Only the owning thread may destroy a window.
        if (!w || w->dying || w->thread != std::this_thread::get_id()) return false;
    }
    m_impl->Destroy(window.id);
    return true;
}

bool SimUi::IsWindow(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->FindLocked(window.id) != nullptr;
}

plat::Window SimUi::GetDlgItem(plat::Window dialog, int id) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* d = m_impl->FindLocked(dialog.id);
    if (!d) return {};
    return plat::Window{m_impl->ChildLocked(*d, id)};
}

bool SimUi::SetWindowText(plat::Window window, const std::string& text) {
    return SendMessage(window, win::WM_SETTEXT, 0, reinterpret_cast<intptr_t>(text.c_str())) != 0;
}

std::string SimUi::GetWindowText(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    if (!w) return {};
    if (w->className == "ComboBox" && (w->style & 0x3) == res::style::CBS_DROPDOWNLIST) {
        return Impl::SelectedText(*w);
    }
    return w->text;
}

bool SimUi::EnableWindow(plat::Window window, bool enable) {
    Impl* impl = m_impl.get();
    uintptr_t id = window.id;
    return impl->OnOwner(id, [impl, id, enable]() -> intptr_t {
        std::lock_guard<std::mutex> lock(impl->mutex);
        Impl::Win* w = impl->FindLocked(id);
        if (!w) return 0;
        bool wasDisabled = !w->enabled;
        w->enabled = enable;
        return wasDisabled ? 1 : 0;
    }) != 0;
}

bool SimUi::IsWindowEnabled(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    return w && w->enabled;
}

bool SimUi::ShowWindow(plat::Window window, int command) {
    Impl* impl = m_impl.get();
    uintptr_t id = window.id;
    return impl->OnOwner(id, [impl, id, command]() -> intptr_t {
        const bool minimise = command == SW_SHOWMINIMIZED || command == SW_MINIMIZE ||
                              command == SW_SHOWMINNOACTIVE || command == SW_FORCEMINIMIZE;
        const bool restore = command == SW_RESTORE || command == win::SW_SHOWNORMAL;
        bool iconic = false;
        {
            std::lock_guard<std::mutex> lock(impl->mutex);
            Impl::Win* w = impl->FindLocked(id);
            if (!w) return 0;
            iconic = w->iconic;
        }
        return impl->SetShown(id, command != win::SW_HIDE, minimise || (iconic && !restore)) ? 1
                                                                                             : 0;
    }) != 0;
}

bool SimUi::IsWindowVisible(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    return w && m_impl->VisibleLocked(*w);
}

bool SimUi::IsIconic(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    return w && w->iconic;
}

bool SimUi::GetWindowRect(plat::Window window, plat::Rect& rect) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    if (!w) return false;
    if (w->isDialog) {
        rect = w->rect;
        return true;
    }
    Impl::Win* d = m_impl->FindLocked(w->parent);
    int ox = d ? d->rect.left + Impl::Border(*d) : 0;
    int oy = d ? d->rect.top + Impl::Caption(*d) : 0;
    rect = {w->rect.left + ox, w->rect.top + oy, w->rect.right + ox, w->rect.bottom + oy};
    return true;
}

bool SimUi::GetClientRect(plat::Window window, plat::Rect& rect) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    if (!w) return false;
    int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    if (w->isDialog) {
        width -= 2 * Impl::Border(*w);
        height -= Impl::Caption(*w) + Impl::Border(*w);
    }
    rect = {0, 0, std::max(0, width), std::max(0, height)};
    return true;
}

bool SimUi::MoveToTop(plat::Window window, int x, int y) {
    Impl* impl = m_impl.get();
    uintptr_t id = window.id;
    return impl->OnOwner(id, [impl, id, x, y]() -> intptr_t {
        std::lock_guard<std::mutex> lock(impl->mutex);
        Impl::Win* w = impl->FindLocked(id);
        if (!w) return 0;
        int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
        if (w->isDialog) {
            w->rect = {x, y, x + width, y + height};
            w->z = impl->nextZ++;
        } else {
            Impl::Win* d = impl->FindLocked(w->parent);
            int ox = d ? d->rect.left + Impl::Border(*d) : 0;
            int oy = d ? d->rect.top + Impl::Caption(*d) : 0;
            w->rect = {x - ox, y - oy, x - ox + width, y - oy + height};
        }
        impl->moves.push_back({plat::Window{id}, plat::Rect{x, y, x + width, y + height}});
        return 1;
    }) != 0;
}

intptr_t SimUi::SendMessage(plat::Window window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    Impl* impl = m_impl.get();
    uintptr_t id = window.id;
    return impl->OnOwner(id, [impl, id, message, wParam, lParam] {
        return impl->Dispatch(id, message, wParam, lParam);
    });
}

bool SimUi::PostMessage(plat::Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (!m_impl->FindLocked(window.id) || m_impl->shutdown) return false;
    auto refused = m_impl->failPost.find(message);
    if (refused != m_impl->failPost.end() && refused->second > 0) {
        --refused->second;
        return false;
    }
    Impl* impl = m_impl.get();
    uintptr_t id = window.id;
    m_impl->PostLocked(id, [impl, id, message, wParam, lParam] {
        return impl->Dispatch(id, message, wParam, lParam);
    });
    return true;
}

uintptr_t SimUi::GetSystemMenu(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Win* w = m_impl->FindLocked(window.id);
    if (!w || !w->isDialog || !(w->style & res::style::WS_SYSMENU)) return 0;
    return kMenuBase + window.id;
}

bool SimUi::AppendMenu(uintptr_t menu, uint32_t flags, uintptr_t id, const char* text) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (menu <= kMenuBase) return false;
    Impl::Win* w = m_impl->FindLocked(menu - kMenuBase);
    if (!w || !w->isDialog) return false;
    bool separator = (flags & win::MF_SEPARATOR) != 0;
    w->menu.push_back({flags, id, (!separator && text) ? std::string(text) : std::string()});
    return true;
}

uintptr_t SimUi::LoadIcon(int resourceId) {
    return resourceId == kProgramIcon ? 0x00020000u + static_cast<uintptr_t>(resourceId) : 0;
}

uintptr_t SimUi::ResourceModule() { return kResourceModule; }

int SimUi::GetSystemMetrics(uint32_t index) {
    switch (index) {
        case win::SM_CXICON:
        case win::SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case win::SM_CXSCREEN:
            return kScreenWidth;
        case win::SM_CYSCREEN:
            return kScreenHeight;
        default:
            return 0;
    }
}

void SimUi::PaintIcon(plat::Window window, uintptr_t icon, int x, int y) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->paints.push_back({window, icon, x, y});
}

uintptr_t SimUi::BeginWaitCursor() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    bool waiting = m_impl->waitBegins > m_impl->waitRestores;
    ++m_impl->waitBegins;
    return waiting ? kWaitCursor : kArrowCursor;
}

void SimUi::RestoreCursor(uintptr_t) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    ++m_impl->waitRestores;
}

bool SimUi::BlockShutdown(plat::Window window, uint32_t reasonId) {
    std::string reason = LoadString(reasonId);
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (!m_impl->FindLocked(window.id)) return false;
    m_impl->shutdownBlocked = true;
    m_impl->shutdownReasons.push_back(reason);
    return true;
}

bool SimUi::UnblockShutdown(plat::Window window) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (!m_impl->FindLocked(window.id) || !m_impl->shutdownBlocked) return false;
    m_impl->shutdownBlocked = false;
    return true;
}

void SimUi::TypeAhead(TypedKey key) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->typedAhead.push_back(key);
}

int SimUi::TypedAheadPending() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return static_cast<int>(m_impl->typedAhead.size());
}

void SimUi::DiscardTypedInput() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->typedAhead.clear();
}

void SimUi::PumpPaintMessages() {
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        ++m_impl->paintPumps;
    }
    // As the Windows layer's pump does, messages other threads sent to this thread's windows are
    // served, so that a sender is answered while the caller waits; posted ones stay queued.
    // Bounded as there, in case senders keep adding.
    Impl::Item item;
    for (int i = 0; i < 256; ++i) {
        {
            std::lock_guard<std::mutex> lock(m_impl->mutex);
            if (!m_impl->PopSentLocked(item)) break;
        }
        m_impl->Serve(item);
    }
}

}  // namespace sim
