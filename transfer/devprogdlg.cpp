#include "transfer/devprogdlg.h"

#include "app/framework.h"
#include "res/resource.h"
#include "transfer/transferstate.h"

CDevProgDlg::CDevProgDlg(plat::Window parent) : plat::CDialog(IDD_DEVPROG, parent) {
    if (Create(parent ? parent : app::MainWindow())) ShowWindow(win::SW_HIDE);
}

CDevProgDlg::~CDevProgDlg() = default;

bool CDevProgDlg::OnInitDialog() {
    plat::CDialog::OnInitDialog();
    plat::IUi& ui = plat::Ui();
    plat::Rect main, own;
    plat::Window mainWindow = app::MainWindow();
    if (mainWindow && ui.GetWindowRect(mainWindow, main) && ui.GetWindowRect(GetSafeHwnd(), own)) {
        int x = 0, y = 0;
        CentreOver(main, own, x, y);
        ui.MoveToTop(GetSafeHwnd(), x, y);
    }
    SetWindowText(app::DisplayName());
    return true;
}

void CDevProgDlg::PostNcDestroy() {
    // The window also goes with its owner, the main window: the transfer must not reach the
    // freed object afterwards.
    CDevProgDlg* self = this;
    g_pDevProgDlg.compare_exchange_strong(self, nullptr);
    delete this;
}
