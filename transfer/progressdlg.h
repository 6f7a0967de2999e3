// The modal progress dialog of a firmware transfer: animation, "Transferring" line, overall
// percentage and progress bar. It starts the transfer's worker thread when it opens and closes
// when the worker posts the OK command.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/dialog.h"
#include "platform/wintypes.h"

class CProgressDlg : public plat::CDialog {
  public:
    // Resets the transfer state for a new transfer.
    explicit CProgressDlg(plat::Window parent = plat::Window{});
    ~CProgressDlg() override;

    // Message through which the progress callback, on any thread, has the dialog's own thread
    // apply a progress report (wParam: percent). Its result does not reach the sender on Windows
    // (a dialog procedure only says whether it handled a message): see ReportIgnored.
    static constexpr uint32_t WM_TRANSFER_PROGRESS = 0x8000 + 0x71;  // WM_APP + 0x71
    // Posted to itself when the dialog is shown while the busy window stands in for it.
    static constexpr uint32_t WM_KEEP_REPLACED = 0x8000 + 0x72;
    // Length in bytes above which a package's display name is cut.
    static constexpr size_t kMaxNameBytes = 32;
    // Slice of the wait after the transfer in which the windows are repainted.
    static constexpr uint32_t kWaitSliceMs = 100;
    static constexpr uint32_t kDeviceBusyWaitMs = 12000;

    intptr_t DialogProc(plat::Window window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) noexcept override;

    // True when the last report found the device-busy window showing and changed nothing.
    bool ReportIgnored() const { return m_bReportIgnored.load(); }
    // The window to which the progress callback sends its reports; kept after the window has
    // gone, when such a send is refused.
    plat::Window ReportWindow() const { return m_reportWindow.load(); }

    // Called once the modal loop has ended. A loop ended by something other than the worker's
    // OK command (the window destroyed with its owner, a quit message another program posted)
    // leaves the library still sending: waits until the worker has finished and gives the
    // printer its time, as the OK command does, so that the outcome is the library's own.
    void WaitForWorker();

    plat::Window m_animate;
    plat::Window m_progress;
    int m_nAnimationId;

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

  private:
    // The windows, the system hold and the worker; throws when the system cannot provide them.
    void SetUp();
    // Ends the dialog as a failed transfer when no worker runs that would end it.
    void EndWithoutWorker();
    // Steps of a progress report that change the windows; runs on the dialog's thread.
    intptr_t ApplyProgress(uint32_t percent);
    // Keeps the computer awake and holds a shutdown while the transfer runs.
    void HoldSystem();
    void ReleaseSystem();
    // Lets a shutdown go on again; the computer may still be kept awake.
    void UnblockShutdown();
    void DestroyDeviceBusyWindow();
    // The wait after the transfer in which the printer takes the firmware in.
    void LetThePrinterWork();
    // Hides the dialog again when it has been shown while the busy window stands in for it.
    void StayReplaced();

    // True once the busy window has taken the dialog's place at 100 %. The modal loop still
    // shows the dialog when its queue first runs empty, which may come after that.
    bool m_bReplaced = false;
    bool m_bHoldingSystem = false;
    bool m_bBlockingShutdown = false;
    std::atomic<bool> m_bReportIgnored{false};
    // True once a worker thread was started: the dialog then closes only after it has finished.
    bool m_bWorkerStarted = false;
    // True once the transfer's end has been waited for (or there was nothing to wait for).
    bool m_bEndWaited = false;
    std::atomic<plat::Window> m_reportWindow{plat::Window{}};
};

// The progress callback handed to XMSendFile: percent of the current package. Returns non-zero
// to go on, 0 to stop the transfer.
int32_t ULMA_WINAPI TransferProgress(uint32_t percent);

// Overall percentage of the transfer: ((current * percent) / 100 + done) * 100 / total, in
// 64-bit unsigned arithmetic, each division truncating. total must not be 0.
uint64_t OverallPercent(uint32_t currentBytes, uint32_t percent, uint32_t doneBytes,
                        uint32_t totalBytes);
// A display name cut to at most maxBytes bytes at a character boundary of the ANSI code page,
// followed by "..." when it was cut.
std::string CutDisplayName(const std::string& name, size_t maxBytes);
