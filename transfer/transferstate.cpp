#include "transfer/transferstate.h"

std::atomic<uint32_t> g_nTotalBytes{0};
std::atomic<uint32_t> g_nDoneBytes{0};
std::atomic<uint32_t> g_nCurrentBytes{0};
std::atomic<CProgressDlg*> g_pProgressDlg{nullptr};
std::atomic<CDevProgDlg*> g_pDevProgDlg{nullptr};
std::atomic<int> g_bCancel{0};
std::atomic<int> g_nLastPercent{0};
std::atomic<TransferWorkerFn> g_pfnTransferWorker{nullptr};
std::atomic<void*> g_pTransferParam{nullptr};
CGuardedString g_strCurrentName;
std::atomic<int> g_bCancelEnabled{1};
std::atomic<int> g_nUnreadablePackage{-1};
std::atomic<int> g_bWorkerFinished{0};

void ResetTransferState() {
    g_nTotalBytes = 0;
    g_nDoneBytes = 0;
    g_nCurrentBytes = 0;
    g_pProgressDlg = nullptr;
    g_pDevProgDlg = nullptr;
    g_bCancel = 0;
    g_nLastPercent = 0;
    g_strCurrentName.Clear();
    g_nUnreadablePackage = -1;
    g_bWorkerFinished = 0;
}
