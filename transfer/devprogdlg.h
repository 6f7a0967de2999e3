// The modeless device-busy window "The unit is operating...", shown in place of the progress
// dialog once the whole transfer has been handed to the printer.
#pragma once
#include "platform/dialog.h"

class CDevProgDlg : public plat::CDialog {
  public:
    // Creates the window at once, modeless and hidden. With no parent the application's main
    // window owns it. The object deletes itself when its window is destroyed; a caller that
    // finds no window after construction (GetSafeHwnd() empty) deletes it instead.
    explicit CDevProgDlg(plat::Window parent = plat::Window{});
    ~CDevProgDlg() override;

  protected:
    bool OnInitDialog() override;
    // The window tells the user not to touch the printer while it works: the keyboard's OK and
    // cancel commands (Enter, Escape, Alt+F4) leave it standing. Only the transfer closes it.
    void OnOK() override {}
    void OnCancel() override {}
    void PostNcDestroy() override;
};
