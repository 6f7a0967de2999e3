#include "app/aboutdlg.h"

#include "app/framework.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg(plat::Window parent) : plat::CDialog(IDD_ABOUTBOX, parent) {}

bool CAboutDlg::OnInitDialog() {
    plat::CDialog::OnInitDialog();
    SetDlgItemText(IDC_ABOUT_NAME, app::FormatString(IDS_TITLE_FMT, {m_strName}));
    SetDlgItemText(IDC_ABOUT_VERSION, app::FormatString(IDS_VERSION_FMT, {m_strVersion}));
    return true;
}
