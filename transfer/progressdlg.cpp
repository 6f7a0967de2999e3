#include "transfer/progressdlg.h"

#include <cstdio>
#include <memory>

#include "app/framework.h"
#include "res/resource.h"
#include "transfer/devprogdlg.h"
#include "transfer/transferstate.h"
#include "transfer/xmlink.h"

uint64_t OverallPercent(uint32_t currentBytes, uint32_t percent, uint32_t doneBytes,
                        uint32_t totalBytes) {
    uint64_t current = static_cast<uint64_t>(currentBytes) * percent / 100;
    return (current + doneBytes) * 100 / totalBytes;
}

std::string CutDisplayName(const std::string& name, size_t maxBytes) {
    if (name.size() <= maxBytes) return name;
    plat::ISystem& sys = plat::System();
    const char* begin = name.c_str();
    const char* end = begin + name.size();
    const char* p = begin;
    // Step whole characters so that a double-byte character is never split.
    while (p < end) {
        const char* next = sys.CharNext(p);
        if (next <= p || next > end || static_cast<size_t>(next - begin) > maxBytes) break;
        p = next;
    }
    return std::string(begin, p) + "...";
}

CProgressDlg::CProgressDlg(plat::Window parent)
    : plat::CDialog(IDD_PROGRESS, parent), m_nAnimationId(IDR_AVI_TRANSFER) {
    ResetTransferState();
}

CProgressDlg::~CProgressDlg() {
    DestroyDeviceBusyWindow();
    ReleaseSystem();
    CProgressDlg* self = this;
    g_pProgressDlg.compare_exchange_strong(self, nullptr);
}

bool CProgressDlg::OnInitDialog() {
    plat::CDialog::OnInitDialog();
    try {
        SetUp();
    } catch (...) {
        // Out of memory or window resources part-way: with no worker running nothing would
        // ever close the dialog, so it ends at once as a failed transfer.
        if (!m_bWorkerStarted && g_pfnTransferWorker.load() != nullptr) EndWithoutWorker();
    }
    return true;
}

void CProgressDlg::EndWithoutWorker() {
    m_bWorkerStarted = true;
    g_nLastResult = kTransferLocalFailure;
    g_bWorkerFinished = 1;
    // With the queue full the dialog ends at once: nothing was sent to wait for.
    if (!plat::Ui().PostMessage(GetSafeHwnd(), win::WM_COMMAND, win::IDOK, 0)) {
        m_bEndWaited = true;
        EndDialog(win::IDOK);
    }
}

void CProgressDlg::SetUp() {
    plat::IUi& ui = plat::Ui();
    m_animate = GetDlgItem(IDC_ANIMATE);
    m_progress = GetDlgItem(IDC_PROGRESS_BAR);

    // The device-busy window, hidden until the whole transfer has been handed over.
    // Once its window exists the window owns the object and deletes it as it goes; an object
    // whose window could not be made is freed here.
    auto dev = std::make_unique<CDevProgDlg>();
    g_pDevProgDlg = dev->GetSafeHwnd() ? dev.release() : nullptr;

    SetWindowText(app::DisplayName());
    g_bCancel = 0;
    ui.SendMessage(m_animate, win::ACM_OPENA, ui.ResourceModule(), m_nAnimationId);
    m_reportWindow = GetSafeHwnd();
    g_pProgressDlg = this;
    ui.SendMessage(m_progress, win::PBM_SETRANGE, 0, static_cast<intptr_t>(100u << 16));
    ui.SendMessage(m_progress, win::PBM_SETPOS, 0, 0);
    TransferProgress(0);
    HoldSystem();

    if (g_pfnTransferWorker.load() != nullptr) {
        plat::Window window = GetSafeHwnd();
        bool started = plat::System().StartThread([window]() -> uint32_t {
            try {
                return TransferThreadProc(window);
            } catch (...) {
                return 0;
            }
        });
        // Without a worker nothing would ever close the dialog: report a failed transfer.
        if (!started) {
            EndWithoutWorker();
            return;
        }
        m_bWorkerStarted = true;
    }
}

intptr_t CProgressDlg::DialogProc(plat::Window window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam) noexcept {
    if (message == WM_TRANSFER_PROGRESS) {
        try {
            return ApplyProgress(static_cast<uint32_t>(wParam));
        } catch (...) {
            return 0;
        }
    }
    if (message == win::WM_SHOWWINDOW && wParam != 0 && m_bReplaced) {
        // Shown again (by the modal loop) after the busy window took its place: hidden again
        // once the showing is over, as it cannot be refused here.
        plat::Ui().PostMessage(window, WM_KEEP_REPLACED, 0, 0);
        return 0;
    }
    if (message == WM_KEEP_REPLACED) {
        StayReplaced();
        return 1;
    }
    if (message == win::WM_QUERYENDSESSION && m_bHoldingSystem) {
        // Handled with the message result left at 0: the session does not end mid-transfer.
        return 1;
    }
    return plat::CDialog::DialogProc(window, message, wParam, lParam);
}

intptr_t CProgressDlg::ApplyProgress(uint32_t percent) {
    CDevProgDlg* dev = g_pDevProgDlg;
    bool ignored = dev && dev->IsWindowVisible();
    m_bReportIgnored = ignored;
    if (ignored) return 1;

    plat::IUi& ui = plat::Ui();
    ui.EnableWindow(GetDlgItem(win::IDCANCEL), g_bCancelEnabled.load() != 0);

    std::string name = CutDisplayName(g_strCurrentName.Get(), kMaxNameBytes);
    SetDlgItemText(IDC_TRANSFER_TEXT, app::FormatString(IDS_TRANSFERRING, {name}));

    uint32_t total = g_nTotalBytes;
    if (total == 0) return 1;
    uint64_t overall = OverallPercent(g_nCurrentBytes, percent, g_nDoneBytes, total);
    if (overall <= 100) {
        g_nLastPercent = static_cast<int>(overall);
        ui.SendMessage(m_progress, win::PBM_SETPOS, static_cast<uintptr_t>(overall), 0);
        char text[32];
        std::snprintf(text, sizeof text, "%d %%", g_nLastPercent.load());
        SetDlgItemText(IDC_PERCENT_TEXT, text);
    }
    // Without a busy window the progress dialog stays up at 100 % in its place, so the user
    // still sees that the printer is at work. It is shown here, as a modal dialog shows itself
    // only once its queue first runs empty, which a quick transfer may not have let happen yet.
    if (overall >= 100) {
        if (dev) {
            m_bReplaced = true;
            ShowWindow(win::SW_HIDE);
            dev->ShowWindow(win::SW_SHOW);
        } else {
            ShowWindow(win::SW_SHOW);
        }
    }
    return 1;
}

int32_t ULMA_WINAPI TransferProgress(uint32_t percent) {
    try {
        CProgressDlg* dlg = g_pProgressDlg;
        if (dlg == nullptr || g_nTotalBytes.load() == 0) return 0;
        if (percent > 100) return 0;
        // The windows belong to the user-interface thread: have it apply the report.
        plat::Ui().SendMessage(dlg->ReportWindow(), CProgressDlg::WM_TRANSFER_PROGRESS, percent, 0);
        if (dlg->ReportIgnored()) return 1;
        // A package the printer does not let us cancel is sent whole, even after a cancel
        // request made while an earlier package could still be cancelled.
        return g_bCancel.load() != 0 && g_bCancelEnabled.load() != 0 ? 0 : 1;
    } catch (...) {
        return 0;
    }
}

void CProgressDlg::OnCancel() {
    // Escape and the close command arrive as the cancel command even while the Cancel control
    // is disabled; stopping a package then could leave the printer without working firmware.
    if (!plat::Ui().IsWindowEnabled(GetDlgItem(win::IDCANCEL))) return;
    g_bCancel = 1;
}

void CProgressDlg::OnOK() {
    // An OK command from the keyboard while the worker still sends is ignored: the dialog must
    // not close, and the outcome must not be judged, before the library has returned.
    if (m_bWorkerStarted && g_bWorkerFinished.load() == 0) return;
    LetThePrinterWork();
    ReleaseSystem();
    EndDialog(win::IDOK);
}

void CProgressDlg::LetThePrinterWork() {
    m_bEndWaited = true;
    // A show by the modal loop not yet taken back (the note still queued, or refused).
    StayReplaced();
    // Let the printer take the firmware in; the windows keep being painted meanwhile. The
    // printer needs the time whether or not the busy window could be made.
    for (uint32_t waited = 0; waited < kDeviceBusyWaitMs; waited += kWaitSliceMs) {
        plat::Ui().PumpPaintMessages();
        plat::System().Sleep(kWaitSliceMs);
    }
    // Keys and clicks given to the windows that did not respond meanwhile would otherwise
    // answer the outcome message before it could be read, and reach the main dialog after it.
    plat::Ui().DiscardTypedInput();
    CDevProgDlg* dev = g_pDevProgDlg;
    if (dev && plat::Ui().IsWindow(dev->GetSafeHwnd())) DestroyDeviceBusyWindow();
}

void CProgressDlg::StayReplaced() {
    CDevProgDlg* dev = g_pDevProgDlg;
    if (m_bReplaced && dev && dev->IsWindowVisible()) ShowWindow(win::SW_HIDE);
}

void CProgressDlg::WaitForWorker() {
    if (!m_bWorkerStarted || m_bEndWaited) return;
    // The worker sends only to the progress dialog's window, which is gone: its sends return
    // at once, so this thread may wait for it.
    while (g_bWorkerFinished.load() == 0) {
        plat::Ui().PumpPaintMessages();
        plat::System().Sleep(kWaitSliceMs);
    }
    LetThePrinterWork();
    ReleaseSystem();
}

void CProgressDlg::OnDestroy() {
    if (m_bWorkerStarted && !m_bEndWaited) {
        // The library still sends: the computer stays awake until WaitForWorker has seen the
        // end; only the shutdown block, which belongs to the window, goes with it.
        UnblockShutdown();
        return;
    }
    ReleaseSystem();
}

void CProgressDlg::HoldSystem() {
    if (m_bHoldingSystem) return;
    m_bHoldingSystem = true;
    m_bBlockingShutdown = true;
    plat::System().SetThreadExecutionState(win::ES_CONTINUOUS | win::ES_SYSTEM_REQUIRED);
    plat::Ui().BlockShutdown(GetSafeHwnd(), IDS_SHUTDOWN_REASON);
}

void CProgressDlg::UnblockShutdown() {
    if (!m_bBlockingShutdown) return;
    m_bBlockingShutdown = false;
    plat::Ui().UnblockShutdown(GetSafeHwnd());
}

void CProgressDlg::ReleaseSystem() {
    if (!m_bHoldingSystem) return;
    m_bHoldingSystem = false;
    UnblockShutdown();
    plat::System().SetThreadExecutionState(win::ES_CONTINUOUS);
}

void CProgressDlg::DestroyDeviceBusyWindow() {
    CDevProgDlg* dev = g_pDevProgDlg.exchange(nullptr);
    // Destroying the window makes the object delete itself.
    if (dev) dev->DestroyWindow();
}
