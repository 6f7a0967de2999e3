#include "platform/dialog.h"

#include <algorithm>

namespace plat {

CDialog::CDialog(int templateId, Window parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    // A modeless dialog still on screen when its object goes is destroyed with it.
    if (m_window && Ui().IsWindow(m_window)) {
        Ui().DestroyWindow(m_window);
    }
}

intptr_t CDialog::DoModal() {
    intptr_t result = Ui().DialogBox(m_templateId, m_parent, this);
    m_window = Window{};
    return result;
}

bool CDialog::Create(Window parent) {
    m_parent = parent;
    Window w = Ui().CreateDialog(m_templateId, parent, this);
    if (!w) return false;
    m_window = w;
    return true;
}

void CDialog::EndDialog(int result) {
    if (m_window) Ui().EndDialog(m_window, result);
}

bool CDialog::DestroyWindow() {
    if (!m_window) return false;
    return Ui().DestroyWindow(m_window);
}

Window CDialog::GetDlgItem(int id) const { return Ui().GetDlgItem(m_window, id); }

void CDialog::SetWindowText(const std::string& text) { Ui().SetWindowText(m_window, text); }

std::string CDialog::GetWindowText() const { return Ui().GetWindowText(m_window); }

void CDialog::SetDlgItemText(int id, const std::string& text) {
    Ui().SetWindowText(GetDlgItem(id), text);
}

bool CDialog::ShowWindow(int command) { return Ui().ShowWindow(m_window, command); }

bool CDialog::IsWindowVisible() const { return m_window && Ui().IsWindowVisible(m_window); }

intptr_t CDialog::SendDlgItemMessage(int id, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return Ui().SendMessage(GetDlgItem(id), message, wParam, lParam);
}

// As the framework does: a dialog that has no visible owner and did not place itself while it was
// set up opens in the middle of the screen, where Windows puts the message boxes too, and not in
// the screen's corner where its template's position would leave it.
void CDialog::CentreIfUnowned(const Rect& before) {
    IUi& ui = Ui();
    if (!m_window || ui.IsWindowVisible(m_window)) return;
    if (m_parent && ui.IsWindowVisible(m_parent)) return;
    Rect now;
    if (!ui.GetWindowRect(m_window, now) || now.left != before.left || now.top != before.top)
        return;
    const int screenWidth = ui.GetSystemMetrics(win::SM_CXSCREEN);
    const int screenHeight = ui.GetSystemMetrics(win::SM_CYSCREEN);
    if (screenWidth <= 0 || screenHeight <= 0) return;
    int x = 0, y = 0;
    CentreOver(Rect{0, 0, screenWidth, screenHeight}, now, x, y);
    ui.MoveToTop(m_window, std::max(0, x), std::max(0, y));
}

void CDialog::CentreOver(const Rect& m, const Rect& w, int& x, int& y) {
    x = (m.left + m.right - (w.right - w.left)) / 2;
    y = (m.top + m.bottom - (w.bottom - w.top)) / 2;
}

intptr_t CDialog::DialogProc(Window window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) noexcept {
    try {
        switch (message) {
            case win::WM_INITDIALOG: {
                m_window = window;
                Rect before;
                const bool placed = Ui().GetWindowRect(window, before);
                const bool focus = OnInitDialog();
                if (placed) CentreIfUnowned(before);
                return focus ? 1 : 0;
            }
            case win::WM_COMMAND: {
                int id = static_cast<int>(wParam & 0xFFFF);
                int code = static_cast<int>((wParam >> 16) & 0xFFFF);
                if (id == win::IDOK) {
                    OnOK();
                    return 1;
                }
                if (id == win::IDCANCEL) {
                    OnCancel();
                    return 1;
                }
                return OnCommand(id, code) ? 1 : 0;
            }
            case win::WM_SYSCOMMAND:
                return OnSysCommand(wParam, lParam) ? 1 : 0;
            case win::WM_PAINT:
                return OnPaint() ? 1 : 0;
            case win::WM_QUERYDRAGICON:
                return static_cast<intptr_t>(OnQueryDragIcon());
            case win::WM_DESTROY:
                OnDestroy();
                return 0;
            case win::WM_NCDESTROY:
                m_window = Window{};
                PostNcDestroy();  // may delete this object: nothing may follow
                return 0;
            default:
                return 0;
        }
    } catch (...) {
        // No exception crosses a dialog procedure: a failed handler counts as unhandled.
        return 0;
    }
}

}  // namespace plat
