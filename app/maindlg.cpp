#include "app/maindlg.h"

#include <new>
#include <vector>

#include "app/aboutdlg.h"
#include "app/framework.h"
#include "app/rawio.h"
#include "printers/printerlist.h"
#include "res/resource.h"

// ---------------------------------------------------------------------------------------------
// CComboBox

intptr_t CComboBox::Send(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
    if (!m_window) return win::CB_ERR;
    return plat::Ui().SendMessage(m_window, message, wParam, lParam);
}

int CComboBox::GetCount() const { return static_cast<int>(Send(win::CB_GETCOUNT)); }

int CComboBox::GetCurSel() const { return static_cast<int>(Send(win::CB_GETCURSEL)); }

int CComboBox::SetCurSel(int index) {
    return static_cast<int>(Send(win::CB_SETCURSEL, static_cast<uintptr_t>(index)));
}

int CComboBox::AddString(const std::string& text) {
    return static_cast<int>(Send(win::CB_ADDSTRING, 0, reinterpret_cast<intptr_t>(text.c_str())));
}

std::string CComboBox::GetLBText(int index) const {
    if (index < 0) return std::string();
    intptr_t length = Send(win::CB_GETLBTEXTLEN, static_cast<uintptr_t>(index));
    if (length < 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    intptr_t got = Send(win::CB_GETLBTEXT, static_cast<uintptr_t>(index),
                        reinterpret_cast<intptr_t>(buffer.data()));
    if (got < 0) return std::string();
    buffer.back() = '\0';
    return std::string(buffer.data());
}

int CComboBox::FindStringExact(const std::string& text) const {
    // wParam -1: search the whole list from the top.
    return static_cast<int>(Send(win::CB_FINDSTRINGEXACT, static_cast<uintptr_t>(-1),
                                 reinterpret_cast<intptr_t>(text.c_str())));
}

void CComboBox::EnableWindow(bool enable) {
    if (m_window) plat::Ui().EnableWindow(m_window, enable);
}

// ---------------------------------------------------------------------------------------------
// CulmaUpDateDlg

CulmaUpDateDlg::CulmaUpDateDlg(plat::Window parent)
    : plat::CDialog(IDD_ULMAUPDATE_DIALOG, parent), m_hIcon(plat::Ui().LoadIcon(IDR_MAINFRAME)) {}

CulmaUpDateDlg::~CulmaUpDateDlg() = default;

bool CulmaUpDateDlg::IsRawIoReady() const { return IsQVFiloBound(); }

bool CulmaUpDateDlg::OnInitDialog() {
    plat::CDialog::OnInitDialog();
    m_cbPrinter.Attach(GetDlgItem(IDC_COMBO_PRINTER));
    app::MainWindow() = GetSafeHwnd();

    plat::IUi& ui = plat::Ui();
    if (uintptr_t menu = ui.GetSystemMenu(GetSafeHwnd())) {
        // The About entry is a convenience: without memory for its text the dialog goes on
        // without it, instead of stopping before the printer library and the printers.
        std::string about;
        try {
            about = app::LoadStr(IDS_ABOUTBOX);
        } catch (const std::bad_alloc&) {  // left empty: no entry
        }
        if (!about.empty()) {
            ui.AppendMenu(menu, win::MF_SEPARATOR, 0, nullptr);
            ui.AppendMenu(menu, win::MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    ui.SendMessage(GetSafeHwnd(), win::WM_SETICON, win::ICON_BIG, static_cast<intptr_t>(m_hIcon));
    ui.SendMessage(GetSafeHwnd(), win::WM_SETICON, win::ICON_SMALL, static_cast<intptr_t>(m_hIcon));

    // Without the raw I/O library the dialog opens with its template caption and no printers;
    // the Update command checks IsRawIoReady before it reaches the printer.
    if (!BindQVFilo()) return false;

    FillPrinterCombo(m_cbPrinter, m_strDriverName, m_strInboxDriverName);
    SetWindowText(app::FormatString(IDS_TITLE_FMT, {m_strMachineName}));
    return true;
}

void CulmaUpDateDlg::FillPrinterCombo(CComboBox& combo, const std::string& driverName,
                                      const std::string& inboxDriverName) {
    CPrinterList& list = GetPrinterList();
    list.EnumeratePrinters(driverName.c_str(), inboxDriverName.c_str());
    // Nothing responded while the printers were gathered: a key typed meanwhile must neither
    // dismiss the message below unread nor press Update for a printer nobody has chosen yet.
    plat::Ui().DiscardTypedInput();
    if (list.GetCount() <= 0) {
        app::AfxMessageBox(app::LoadStr(IDS_NO_PRINTER), win::MB_OK | win::MB_ICONHAND);
        combo.EnableWindow(false);
        if (plat::Window update = GetDlgItem(IDC_UPDATE)) plat::Ui().EnableWindow(update, false);
        // Exit, where the focus goes, becomes the button Enter presses: left on the disabled
        // Update, the key would do nothing.
        plat::Ui().SendMessage(GetSafeHwnd(), win::DM_SETDEFID, IDC_EXIT, 0);
        return;
    }
    for (const auto& printer : list.Printers()) {
        if (printer) combo.AddString(CPrinterList::GetPrinterText(*printer));
    }
    int found = combo.FindStringExact(driverName);
    combo.SetCurSel(found >= 0 ? found : 0);
}

std::string CulmaUpDateDlg::GetSelectedPrinterName(CComboBox& combo) {
    int index = combo.GetCurSel();
    if (index < 0) return std::string();
    return combo.GetLBText(index);
}

void CulmaUpDateDlg::OnExit() { OnCancel(); }

bool CulmaUpDateDlg::OnCommand(int id, int notifyCode) {
    (void)notifyCode;
    switch (id) {
        case IDC_UPDATE: {
            // The Update command's message boxes and progress dialog run loops that still serve
            // commands posted to this disabled dialog: an Update arriving through them would
            // query the printer and start a transfer in the middle of the running one.
            if (m_bUpdateRunning) return true;
            struct Running {
                bool& flag;
                explicit Running(bool& f) : flag(f) { flag = true; }
                ~Running() { flag = false; }
            } running(m_bUpdateRunning);
            OnUpdate();
            return true;
        }
        case IDC_EXIT:
            OnExit();
            return true;
        default:
            return false;
    }
}

bool CulmaUpDateDlg::OnSysCommand(uintptr_t id, intptr_t lParam) {
    (void)lParam;
    if ((id & ~static_cast<uintptr_t>(0xF)) != IDM_ABOUTBOX) return false;
    CAboutDlg about(GetSafeHwnd());
    about.m_strName = m_strDriverName;
    about.m_strVersion = kVersionLabel;
    about.DoModal();
    return true;
}

bool CulmaUpDateDlg::OnPaint() {
    plat::IUi& ui = plat::Ui();
    if (!ui.IsIconic(GetSafeHwnd())) return false;
    plat::Rect rect;
    ui.GetClientRect(GetSafeHwnd(), rect);
    int cxIcon = ui.GetSystemMetrics(win::SM_CXICON);
    int cyIcon = ui.GetSystemMetrics(win::SM_CYICON);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ui.PaintIcon(GetSafeHwnd(), m_hIcon, x, y);
    return true;
}

uintptr_t CulmaUpDateDlg::OnQueryDragIcon() { return m_hIcon; }

void CulmaUpDateDlg::OnDestroy() {
    plat::CDialog::OnDestroy();
    if (g_hQVFilo) UnbindQVFilo();
    if (app::MainWindow() == GetSafeHwnd()) app::MainWindow() = plat::Window{};
}
