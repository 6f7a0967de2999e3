// Dialogs, controls, message boxes and resources over the Windows user interface API.
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace plat::win32 {

namespace {

Rect ToRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

// A string resource in the thread's language as wide characters; empty when there is none.
std::wstring LoadWideString(HINSTANCE instance, UINT id) {
    std::vector<wchar_t> buffer(512);
    for (;;) {
        int length = ::LoadStringW(instance, id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) return std::wstring();
        // A string that fills the buffer may have been cut: try again with more room.
        if (static_cast<size_t>(length) + 1 < buffer.size() || buffer.size() >= 65536) {
            return std::wstring(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 4);
    }
}

}  // namespace

Ui::Ui(HINSTANCE instance) : m_instance(instance) {}

Ui::~Ui() = default;

std::string Ui::LoadString(uint32_t id) {
    std::vector<char> buffer(1024);
    for (;;) {
        int length = ::LoadStringA(m_instance, id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) return std::string();
        // A string resource holds at most 65535 UTF-16 units, so a big enough buffer ends this.
        if (static_cast<size_t>(length) + 1 < buffer.size() || buffer.size() >= 262144) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 4);
    }
}

int Ui::MessageBox(Window owner, const std::string& text, const std::string& caption,
                   uint32_t type) {
    return ::MessageBoxA(ToHwnd(owner), text.c_str(), caption.c_str(), type);
}

Window Ui::GetActiveWindow() { return FromHwnd(::GetActiveWindow()); }

INT_PTR CALLBACK Ui::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    IDialogHost* host = nullptr;
    if (message == WM_INITDIALOG) {
        host = reinterpret_cast<IDialogHost*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(host));
    } else {
        host = reinterpret_cast<IDialogHost*>(::GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages that come before WM_INITDIALOG (the font, the frame) get the default handling.
    if (!host) return FALSE;
    // The host may delete itself while handling the last message: forget it first.
    if (message == WM_NCDESTROY) ::SetWindowLongPtrA(window, DWLP_USER, 0);
    try {
        return host->DialogProc(FromHwnd(window), message, wParam, lParam);
    } catch (...) {
        return FALSE;  // IDialogHost::DialogProc promises not to throw; never let one through
    }
}

intptr_t Ui::DialogBox(int templateId, Window parent, IDialogHost* host) {
    return ::DialogBoxParamA(m_instance, MAKEINTRESOURCEA(templateId), ToHwnd(parent),
                             &Ui::DialogProc, reinterpret_cast<LPARAM>(host));
}

Window Ui::CreateDialog(int templateId, Window parent, IDialogHost* host) {
    return FromHwnd(::CreateDialogParamA(m_instance, MAKEINTRESOURCEA(templateId), ToHwnd(parent),
                                         &Ui::DialogProc, reinterpret_cast<LPARAM>(host)));
}

bool Ui::EndDialog(Window dialog, intptr_t result) {
    return ::EndDialog(ToHwnd(dialog), result) != 0;
}

bool Ui::DestroyWindow(Window window) { return ::DestroyWindow(ToHwnd(window)) != 0; }

bool Ui::IsWindow(Window window) { return window && ::IsWindow(ToHwnd(window)) != 0; }

Window Ui::GetDlgItem(Window dialog, int id) { return FromHwnd(::GetDlgItem(ToHwnd(dialog), id)); }

bool Ui::SetWindowText(Window window, const std::string& text) {
    return ::SetWindowTextA(ToHwnd(window), text.c_str()) != 0;
}

std::string Ui::GetWindowText(Window window) {
    HWND hwnd = ToHwnd(window);
    int length = ::GetWindowTextLengthA(hwnd);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = ::GetWindowTextA(hwnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

// Like the call it wraps: true when the window was disabled before.
bool Ui::EnableWindow(Window window, bool enable) {
    return ::EnableWindow(ToHwnd(window), enable ? TRUE : FALSE) != 0;
}

bool Ui::IsWindowEnabled(Window window) { return ::IsWindowEnabled(ToHwnd(window)) != 0; }

// Like the call it wraps: true when the window was visible before.
bool Ui::ShowWindow(Window window, int command) {
    return ::ShowWindow(ToHwnd(window), command) != 0;
}

bool Ui::IsWindowVisible(Window window) { return ::IsWindowVisible(ToHwnd(window)) != 0; }

bool Ui::IsIconic(Window window) { return ::IsIconic(ToHwnd(window)) != 0; }

bool Ui::GetWindowRect(Window window, Rect& rect) {
    RECT r;
    if (!::GetWindowRect(ToHwnd(window), &r)) return false;
    rect = ToRect(r);
    return true;
}

bool Ui::GetClientRect(Window window, Rect& rect) {
    RECT r;
    if (!::GetClientRect(ToHwnd(window), &r)) return false;
    rect = ToRect(r);
    return true;
}

bool Ui::MoveToTop(Window window, int x, int y) {
    return ::SetWindowPos(ToHwnd(window), HWND_TOP, x, y, 0, 0, SWP_NOSIZE) != 0;
}

intptr_t Ui::SendMessage(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_SETICON && wParam == ICON_SMALL) {
        std::lock_guard<std::mutex> lock(m_iconsLock);
        // An icon from LoadIcon set as the small icon: give the one drawn at the small size.
        for (const auto& entry : m_icons) {
            if (reinterpret_cast<intptr_t>(entry.second.big.get()) == lParam &&
                entry.second.small) {
                lParam = reinterpret_cast<intptr_t>(entry.second.small.get());
                break;
            }
        }
    }
    return ::SendMessageA(ToHwnd(window), message, wParam, lParam);
}

bool Ui::PostMessage(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return ::PostMessageA(ToHwnd(window), message, wParam, lParam) != 0;
}

uintptr_t Ui::GetSystemMenu(Window window) {
    return reinterpret_cast<uintptr_t>(::GetSystemMenu(ToHwnd(window), FALSE));
}

bool Ui::AppendMenu(uintptr_t menu, uint32_t flags, uintptr_t id, const char* text) {
    return ::AppendMenuA(reinterpret_cast<HMENU>(menu), flags, id, text) != 0;
}

uintptr_t Ui::LoadIcon(int resourceId) {
    std::lock_guard<std::mutex> lock(m_iconsLock);
    auto found = m_icons.find(resourceId);
    if (found != m_icons.end()) return reinterpret_cast<uintptr_t>(found->second.big.get());
    auto load = [&](int cx, int cy) {
        return IconHandle(static_cast<HICON>(::LoadImageA(m_instance, MAKEINTRESOURCEA(resourceId),
                                                          IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
    };
    IconPair pair;
    pair.big = load(::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    if (!pair.big) return 0;
    pair.small = load(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON));
    uintptr_t result = reinterpret_cast<uintptr_t>(pair.big.get());
    m_icons.emplace(resourceId, std::move(pair));
    return result;
}

uintptr_t Ui::ResourceModule() { return reinterpret_cast<uintptr_t>(m_instance); }

int Ui::GetSystemMetrics(uint32_t index) { return ::GetSystemMetrics(static_cast<int>(index)); }

void Ui::PaintIcon(Window window, uintptr_t icon, int x, int y) {
    HWND hwnd = ToHwnd(window);
    PaintScope paint(hwnd);
    if (!paint.dc()) return;
    ::SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    ::DrawIcon(paint.dc(), x, y, reinterpret_cast<HICON>(icon));
}

uintptr_t Ui::BeginWaitCursor() {
    return reinterpret_cast<uintptr_t>(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT)));
}

void Ui::RestoreCursor(uintptr_t previous) { ::SetCursor(reinterpret_cast<HCURSOR>(previous)); }

bool Ui::BlockShutdown(Window window, uint32_t reasonId) {
    // Looked up at run time: older Windows versions lack the call.
    using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
    auto create = GetProcAs<CreateFn>(::GetModuleHandleA("user32"), "ShutdownBlockReasonCreate");
    if (!create) return false;
    std::wstring reason = LoadWideString(m_instance, reasonId);
    return create(ToHwnd(window), reason.c_str()) != 0;
}

bool Ui::UnblockShutdown(Window window) {
    using DestroyFn = BOOL(WINAPI*)(HWND);
    auto destroy = GetProcAs<DestroyFn>(::GetModuleHandleA("user32"), "ShutdownBlockReasonDestroy");
    if (!destroy) return false;
    return destroy(ToHwnd(window)) != 0;
}

void Ui::PumpPaintMessages() {
    // Serves only paint messages and messages sent by other threads, never input, so the
    // windows stay drawn and a sending thread is answered while the caller waits. Windows
    // serves sent messages under a PM_QS_ filter only when it names them. Bounded in case a
    // window never validates.
    MSG msg;
    constexpr UINT kPaintAndSent = PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE;
    for (int i = 0; i < 256 && ::PeekMessageA(&msg, nullptr, 0, 0, kPaintAndSent); ++i) {
        ::DispatchMessageA(&msg);
    }
}

void Ui::DiscardTypedInput() {
    // Input only: posted commands and the quit message stay queued. Bounded, as a key held down
    // keeps adding input.
    MSG msg;
    for (int i = 0; i < 4096 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT); ++i) {
    }
}

}  // namespace plat::win32
