#include "transfer/warningdlg.h"

#include "app/framework.h"
#include "res/resource.h"

CDlg_Warning::CDlg_Warning(plat::Window parent) : plat::CDialog(IDD_WARNING, parent) {}

CDlg_Warning::~CDlg_Warning() = default;

bool CDlg_Warning::OnInitDialog() {
    plat::CDialog::OnInitDialog();
    SetWindowText(app::FormatString(IDS_TITLE_FMT, {m_strMachineName}));
    SetDlgItemText(IDC_WARNING_TEXT, app::FormatString(IDS_WARNING_TEXT, {m_strMachineName}));
    return true;
}
