// The dialog base class of the tool (the role the framework's CDialog plays): a dialog object
// bound to one window built from a resource template, with virtual handlers the dialog classes
// override. It reaches the window only through plat::IUi.
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace plat {

class CDialog : public IDialogHost {
  public:
    CDialog(int templateId, Window parent);
    ~CDialog() override;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns the result given to EndDialog, or -1.
    intptr_t DoModal();
    // Creates the dialog modeless; false when the window cannot be created.
    bool Create(Window parent);
    void EndDialog(int result);
    bool DestroyWindow();

    Window GetSafeHwnd() const { return m_window; }

    // Top-left corner that centres a window rectangle w over m (truncating toward zero).
    static void CentreOver(const Rect& m, const Rect& w, int& x, int& y);
    int TemplateId() const { return m_templateId; }
    Window Parent() const { return m_parent; }

    Window GetDlgItem(int id) const;
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    void SetDlgItemText(int id, const std::string& text);
    bool ShowWindow(int command);
    bool IsWindowVisible() const;
    intptr_t SendDlgItemMessage(int id, uint32_t message, uintptr_t wParam = 0,
                                intptr_t lParam = 0);

    intptr_t DialogProc(Window window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) noexcept override;

  protected:
    // Handlers; the defaults do what the framework's defaults do.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(win::IDOK); }
    virtual void OnCancel() { EndDialog(win::IDCANCEL); }
    // A WM_COMMAND other than IDOK/IDCANCEL; true when handled.
    virtual bool OnCommand(int id, int notifyCode) {
        (void)id;
        (void)notifyCode;
        return false;
    }
    // WM_SYSCOMMAND; true when handled (false lets the default handling run).
    virtual bool OnSysCommand(uintptr_t id, intptr_t lParam) {
        (void)id;
        (void)lParam;
        return false;
    }
    // WM_PAINT; true when the handler painted.
    virtual bool OnPaint() { return false; }
    // WM_QUERYDRAGICON; 0 for the default.
    virtual uintptr_t OnQueryDragIcon() { return 0; }
    virtual void OnDestroy() {}
    // The last call once the window is gone (a modeless dialog may delete itself here).
    virtual void PostNcDestroy() {}

  private:
    void CentreIfUnowned(const Rect& before);

    int m_templateId;
    Window m_parent;
    Window m_window;
};

}  // namespace plat
