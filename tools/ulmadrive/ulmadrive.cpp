// ulmadrive: drives the tool's windows from another process of the same Wine (or Windows)
// session, for end-to-end tests and the unattended demo.
//
// Usage: ulmadrive [--exe NAME] [--poll MS] COMMAND [ARGS] [COMMAND [ARGS]]...
// The commands run in order on one "current window"; the first failing command ends the run.
// Exit status: 0 success, 1 usage or failed action, 2 time-out.
//
// Finding windows (only visible top-level windows of the watched process, default
// ulmaupdate.exe):
//   wait-title TITLE MS   a window with exactly this caption
//   wait-dialog MS        the dialog the user would work in: an enabled #32770 window
//   wait-next MS          as wait-dialog, but not the current window
//   wait-control ID MS    a window that has a visible control with this id (e.g. a dialog that
//                         shares its caption with another)
//   use HWND              a window printed earlier becomes the current one
//   list                  every window, one "top" line each
// Reading the current window: dump (caption, every control, combo items, progress, the colour
//   of an icon as it is on the screen: red, yellow, blue or unknown), caption, text ID.
// Acting (all posted, so a modal window the action opens cannot block the driver):
//   click ID, command ID, cancel (IDCANCEL), escape (the key), close (the close box),
//   select ID INDEX, select-text ID TEXT.
// Waiting: wait-gone MS (current window destroyed or hidden), wait-exit MS (process ended),
//   sleep MS.
// Asking: end-session asks the current window, as Windows does before a shutdown, whether the
//   session may end, and prints "end-session<TAB>ANSWER" (0: refused).
// Timing: clock prints "clock<TAB>ms since 1970" (the system clock, as `date +%s%3N` reads it).
//
// Output is one record per line, fields separated by a tab, texts in UTF-8 with backslash,
// tab, carriage return, line feed and other control characters escaped (\\ \t \r \n \xHH), so
// that a shell test can compare whole lines with grep -Fx.
#include <windows.h>
// (windows.h first: the headers below need its types)
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "tools/ulmadrive/textutil.h"

namespace {

// How often a wait looks again; --poll MS changes it (finer for timing).
DWORD g_pollMs = 50;

struct Options {
    std::wstring exeName = L"ulmaupdate.exe";  // process whose windows count; empty: any
};

void Out(const std::string& line) {
    std::string s = line + "\n";
    fwrite(s.data(), 1, s.size(), stdout);
    fflush(stdout);
}

void Err(const std::string& line) {
    std::string s = "ulmadrive: " + line + "\n";
    fwrite(s.data(), 1, s.size(), stderr);
    fflush(stderr);
}

std::string Hex(uintptr_t v) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string Esc(const std::wstring& w) { return drive::EscapeText(drive::WideToUtf8(w)); }

// Process ids of every running process whose image name equals `name` (case-insensitive).
std::vector<DWORD> ProcessesNamed(const std::wstring& name) {
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (_wcsicmp(pe.szExeFile, name.c_str()) == 0) ids.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return ids;
}

// Messages to the target's windows go with a time-out, so that a target thread that is busy
// (the program sleeps on its user-interface thread at times) never blocks the driver for long.
// Once a thread has not answered, its windows are read without messages for the rest of the
// run.
constexpr UINT kAnswerMs = 1500;
std::vector<DWORD> g_busyThreads;

bool Ask(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    const DWORD thread = GetWindowThreadProcessId(h, nullptr);
    for (DWORD t : g_busyThreads)
        if (t == thread) return false;
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerMs, &r)) {
        g_busyThreads.push_back(thread);
        return false;
    }
    result = static_cast<LRESULT>(r);
    return true;
}

// The window text as WM_GETTEXT gives it (a drop-down list answers its selected item); for a
// busy thread the text the window manager keeps, which buttons and static texts share.
std::wstring TextOf(HWND h) {
    LRESULT len = 0;
    if (Ask(h, WM_GETTEXTLENGTH, 0, 0, len) && len >= 0) {
        std::vector<wchar_t> buf(len + 2, L'\0');
        LRESULT got = 0;
        if (Ask(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), got))
            return std::wstring(buf.data(), wcsnlen(buf.data(), buf.size()));
    }
    std::vector<wchar_t> buf(32768, L'\0');
    const int n = InternalGetWindowText(h, buf.data(), static_cast<int>(buf.size()));
    return std::wstring(buf.data(), n > 0 ? n : 0);
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

struct TopWindow {
    HWND hwnd;
    DWORD pid;
};

struct TopWindowSearch {
    const std::vector<DWORD>* pids;
    bool any;
    std::vector<TopWindow> out;
};

BOOL CALLBACK CollectTopWindow(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<TopWindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(h)) return TRUE;
    bool match = c->any;
    for (DWORD p : *c->pids) match = match || p == pid;
    if (match) c->out.push_back({h, pid});
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND c, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(c);
    return TRUE;
}

// Visible top-level windows of the watched process (or of every process but ours).
std::vector<TopWindow> TopWindows(const Options& opt) {
    std::vector<DWORD> pids;
    if (!opt.exeName.empty()) pids = ProcessesNamed(opt.exeName);
    TopWindowSearch search{&pids, opt.exeName.empty(), {}};
    EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.out;
}

// The window the user would be working in: the topmost visible, enabled dialog of the watched
// process (a modal dialog or message box disables its owner and lies above it).
HWND ActiveDialog(const Options& opt) {
    for (const TopWindow& w : TopWindows(opt)) {
        if (ClassOf(w.hwnd) == L"#32770" && IsWindowEnabled(w.hwnd)) return w.hwnd;
    }
    return nullptr;
}

// Between two windows (one closed, the next not yet open) an owner may be on top for a moment:
// a dialog counts once it has stayed on top this long.
constexpr DWORD kSettleMs = 300;

// Whether the window's thread reads its messages: a dialog that waits for the user does, while an
// owner left on top as the program works towards its next window (on a slow machine for longer
// than kSettleMs) does not until it has opened that window.
bool ReadsMessages(HWND h) {
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerMs, &r) != 0;
}

HWND WindowTitled(const Options& opt, const std::wstring& title) {
    for (const TopWindow& w : TopWindows(opt)) {
        if (TextOf(w.hwnd) == title) return w.hwnd;
    }
    return nullptr;
}

// The colour that dominates an icon control as it is on the screen: a message box's error icon
// is red, its warning icon yellow, its information and question icons blue. Icon handles belong
// to their process, so the pixels are the only thing another process can compare.
std::string IconColour(HWND c) {
    RECT r{};
    if (!GetWindowRect(c, &r) || r.right <= r.left || r.bottom <= r.top) return "unknown";
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    if (!screen) return "unknown";
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    long red = 0, yellow = 0, blue = 0;
    if (mem && bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        if (BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY)) {
            GdiFlush();
            const auto* px = static_cast<const unsigned char*>(bits);  // B, G, R, unused
            for (long i = 0; i < static_cast<long>(w) * h; ++i) {
                const int b = px[4 * i], g = px[4 * i + 1], rd = px[4 * i + 2];
                if (rd > 150 && g < 110 && b < 110)
                    ++red;
                else if (rd > 170 && g > 140 && b < 110)
                    ++yellow;
                else if (b > 140 && rd < 130 && b > g)
                    ++blue;
            }
        }
        SelectObject(mem, old);
    }
    if (bmp) DeleteObject(bmp);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    const long most = red > yellow ? (red > blue ? red : blue) : (yellow > blue ? yellow : blue);
    if (most < 10) return "unknown";
    return most == red ? "red" : most == yellow ? "yellow" : "blue";
}

void DumpWindow(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    Out("window\t" + Hex(reinterpret_cast<uintptr_t>(h)) + "\t" + Esc(ClassOf(h)) +
        "\tenabled=" + std::to_string(IsWindowEnabled(h) ? 1 : 0) +
        "\tvisible=" + std::to_string(IsWindowVisible(h) ? 1 : 0) + "\tpid=" + Hex(pid));
    Out("caption\t" + Esc(TextOf(h)));
    std::vector<HWND> children;
    EnumChildWindows(h, CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND c : children) {
        const unsigned id = static_cast<unsigned>(GetDlgCtrlID(c)) & 0xFFFFu;
        const std::wstring cls = ClassOf(c);
        const std::wstring text = TextOf(c);
        Out("control\t" + std::to_string(id) + "\t" + Esc(cls) + "\t" +
            std::to_string(IsWindowEnabled(c) ? 1 : 0) + "\t" +
            std::to_string(IsWindowVisible(c) ? 1 : 0) + "\t" + Esc(text));
        // The text of a message box is its static control 0xFFFF.
        if (id == 0xFFFF && _wcsicmp(cls.c_str(), L"Static") == 0 && !text.empty())
            Out("message\t" + Esc(text));
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && IsWindowVisible(c) &&
            (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            Out("icon\t" + std::to_string(id) + "\t" + IconColour(c));
        if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
            LRESULT count = 0;
            if (!Ask(c, CB_GETCOUNT, 0, 0, count)) count = 0;
            for (LRESULT i = 0; i < count; ++i) {
                LRESULT len = 0;
                if (!Ask(c, CB_GETLBTEXTLEN, i, 0, len)) len = 0;
                std::vector<wchar_t> buf(len > 0 ? len + 1 : 1, L'\0');
                LRESULT ignored = 0;
                if (len > 0) Ask(c, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf.data()), ignored);
                Out("item\t" + std::to_string(id) + "\t" + std::to_string(i) + "\t" +
                    Esc(buf.data()));
            }
            LRESULT sel = CB_ERR;
            Ask(c, CB_GETCURSEL, 0, 0, sel);
            Out("selected\t" + std::to_string(id) + "\t" + std::to_string(static_cast<long>(sel)));
        }
        LRESULT pos = 0;
        if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0 && Ask(c, PBM_GETPOS, 0, 0, pos))
            Out("progress\t" + std::to_string(id) + "\t" + std::to_string(static_cast<long>(pos)));
    }
    Out("end");
}

struct Runner {
    Options opt;
    HWND current = nullptr;

    bool NeedWindow() {
        if (current && IsWindow(current)) return true;
        Err("no current window (use wait-title or wait-dialog first)");
        return false;
    }

    HWND Control(unsigned id) {
        HWND c = GetDlgItem(current, static_cast<int>(id));
        if (!c) Err("window has no control " + std::to_string(id));
        return c;
    }

    template <typename Pred>
    static bool WaitFor(DWORD timeoutMs, Pred pred) {
        const DWORD start = GetTickCount();
        for (;;) {
            if (pred()) return true;
            if (GetTickCount() - start >= timeoutMs) return false;
            Sleep(g_pollMs);
        }
    }

    // Runs one command with its arguments taken from args[i...]; returns the exit status
    // (0 to go on) and advances i past what it used.
    int Run(const std::vector<std::wstring>& args, size_t& i) {
        const std::wstring cmd = args[i++];
        auto need = [&](size_t n) {
            if (i + n > args.size()) {
                Err("missing argument for " + drive::WideToUtf8(cmd));
                return false;
            }
            return true;
        };
        auto number = [](const std::wstring& s) {
            return static_cast<unsigned long>(wcstoul(s.c_str(), nullptr, 0));
        };

        if (cmd == L"wait-title") {  // TITLE TIMEOUT_MS
            if (!need(2)) return 1;
            const std::wstring& title = args[i];
            const DWORD ms = number(args[i + 1]);
            i += 2;
            if (!WaitFor(ms, [&] { return (current = WindowTitled(opt, title)) != nullptr; })) {
                Err("time-out waiting for window \"" + drive::WideToUtf8(title) + "\"");
                return 2;
            }
            Out("found\t" + Hex(reinterpret_cast<uintptr_t>(current)));
            return 0;
        }
        if (cmd == L"wait-control") {  // ID TIMEOUT_MS
            if (!need(2)) return 1;
            const int id = static_cast<int>(number(args[i]));
            const DWORD ms = number(args[i + 1]);
            i += 2;
            auto found = [&] {
                for (const TopWindow& w : TopWindows(opt)) {
                    HWND c = GetDlgItem(w.hwnd, id);
                    if (c && IsWindowVisible(c)) {
                        current = w.hwnd;
                        return true;
                    }
                }
                return false;
            };
            if (!WaitFor(ms, found)) {
                Err("time-out waiting for a window with control " + std::to_string(id));
                return 2;
            }
            Out("found\t" + Hex(reinterpret_cast<uintptr_t>(current)));
            return 0;
        }
        if (cmd == L"clock") {  // milliseconds since 1970, to time the watched program
            FILETIME ft{};
            GetSystemTimeAsFileTime(&ft);
            const unsigned long long t =
                (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
            Out("clock\t" + std::to_string((t - 116444736000000000ULL) / 10000ULL));
            return 0;
        }
        if (cmd == L"wait-dialog" || cmd == L"wait-next") {  // TIMEOUT_MS
            if (!need(1)) return 1;
            const DWORD ms = number(args[i++]);
            // wait-next skips the current window (which may be gone by now): the dialog that
            // follows it.
            HWND except = cmd == L"wait-next" ? current : nullptr;
            HWND candidate = nullptr;
            DWORD since = 0;
            auto settled = [&] {
                HWND top = ActiveDialog(opt);
                if (!top || top == except) {
                    candidate = nullptr;
                    return false;
                }
                if (top != candidate) {
                    candidate = top;
                    since = GetTickCount();
                    return false;
                }
                if (GetTickCount() - since < kSettleMs) return false;
                // Still on top once its thread has answered: the program waits in it.
                if (ReadsMessages(top) && ActiveDialog(opt) == top) return true;
                candidate = nullptr;
                return false;
            };
            if (!WaitFor(ms, settled)) {
                Err("time-out waiting for a dialog");
                return 2;
            }
            current = candidate;
            Out("found\t" + Hex(reinterpret_cast<uintptr_t>(current)));
            return 0;
        }
        if (cmd == L"use") {  // HWND: make a window printed earlier the current one again
            if (!need(1)) return 1;
            current = reinterpret_cast<HWND>(
                static_cast<uintptr_t>(wcstoull(args[i++].c_str(), nullptr, 0)));
            return 0;
        }
        if (cmd == L"dump") {
            if (!NeedWindow()) return 1;
            DumpWindow(current);
            return 0;
        }
        if (cmd == L"caption") {
            if (!NeedWindow()) return 1;
            Out(Esc(TextOf(current)));
            return 0;
        }
        if (cmd == L"text") {  // ID
            if (!need(1) || !NeedWindow()) return 1;
            HWND c = Control(number(args[i++]));
            if (!c) return 1;
            Out(Esc(TextOf(c)));
            return 0;
        }
        if (cmd == L"click") {  // ID: posted, so a modal dialog it opens cannot block us
            if (!need(1) || !NeedWindow()) return 1;
            HWND c = Control(number(args[i++]));
            if (!c) return 1;
            if (!IsWindowEnabled(c)) {
                Err("button is disabled");
                return 1;
            }
            PostMessageW(c, BM_CLICK, 0, 0);
            return 0;
        }
        if (cmd == L"command") {  // ID: WM_COMMAND as a button or menu would send it
            if (!need(1) || !NeedWindow()) return 1;
            const unsigned id = number(args[i++]);
            PostMessageW(current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(current, static_cast<int>(id))));
            return 0;
        }
        if (cmd == L"cancel") {  // IDCANCEL, as the Escape key gives it
            if (!NeedWindow()) return 1;
            PostMessageW(current, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return 0;
        }
        if (cmd == L"escape") {  // the Escape key, through the dialog's own keyboard handling
            if (!NeedWindow()) return 1;
            PostMessageW(current, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(current, WM_KEYUP, VK_ESCAPE, 0xC0010001);
            return 0;
        }
        if (cmd == L"close") {  // the close box
            if (!NeedWindow()) return 1;
            PostMessageW(current, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        if (cmd == L"end-session") {  // sent, as Windows sends it, and answered within 5 s
            if (!NeedWindow()) return 1;
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutW(current, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                     &answer)) {
                Err("no answer to the end-session question");
                return 1;
            }
            Out("end-session\t" + std::to_string(answer));
            return 0;
        }
        if (cmd == L"select" || cmd == L"select-text") {  // ID INDEX | ID TEXT
            if (!need(2) || !NeedWindow()) return 1;
            const unsigned id = number(args[i]);
            HWND c = Control(id);
            const std::wstring& what = args[i + 1];
            i += 2;
            if (!c) return 1;
            LRESULT index = cmd == L"select"
                                ? static_cast<LRESULT>(number(what))
                                : SendMessageW(c, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(what.c_str()));
            if (index < 0 || SendMessageW(c, CB_SETCURSEL, index, 0) == CB_ERR) {
                Err("no such combo item: " + drive::WideToUtf8(what));
                return 1;
            }
            // CB_SETCURSEL sends no notification; the dialog learns of it as from the user.
            PostMessageW(current, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(c));
            return 0;
        }
        if (cmd == L"wait-gone") {  // TIMEOUT_MS: the current window is destroyed or hidden
            if (!need(1) || !NeedWindow()) return 1;
            const DWORD ms = number(args[i++]);
            if (!WaitFor(ms, [&] { return !IsWindow(current) || !IsWindowVisible(current); })) {
                Err("time-out waiting for the window to go");
                return 2;
            }
            current = nullptr;
            return 0;
        }
        if (cmd == L"wait-exit") {  // TIMEOUT_MS: no process of the watched name is left
            if (!need(1)) return 1;
            const DWORD ms = number(args[i++]);
            if (!WaitFor(ms, [&] { return ProcessesNamed(opt.exeName).empty(); })) {
                Err("time-out waiting for the process to end");
                return 2;
            }
            return 0;
        }
        if (cmd == L"list") {  // every visible top-level window of the watched process
            for (const TopWindow& w : TopWindows(opt)) {
                Out("top\t" + Hex(reinterpret_cast<uintptr_t>(w.hwnd)) + "\t" +
                    Esc(ClassOf(w.hwnd)) + "\t" + std::to_string(IsWindowEnabled(w.hwnd) ? 1 : 0) +
                    "\t" + Esc(TextOf(w.hwnd)));
            }
            return 0;
        }
        if (cmd == L"sleep") {  // MS
            if (!need(1)) return 1;
            Sleep(number(args[i++]));
            return 0;
        }
        Err("unknown command " + drive::WideToUtf8(cmd));
        return 1;
    }
};

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 1;
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);

    Runner r;
    size_t i = 0;
    for (;;) {
        if (i + 1 < args.size() && args[i] == L"--exe") {
            r.opt.exeName = args[i + 1];
            i += 2;
        } else if (i + 1 < args.size() && args[i] == L"--poll") {
            g_pollMs = static_cast<DWORD>(wcstoul(args[i + 1].c_str(), nullptr, 10));
            i += 2;
        } else {
            break;
        }
    }
    if (i >= args.size()) {
        Err("usage: ulmadrive [--exe NAME] [--poll MS] COMMAND [ARGS]...");
        return 1;
    }
    while (i < args.size()) {
        const int rc = r.Run(args, i);
        if (rc != 0) return rc;
    }
    return 0;
}
