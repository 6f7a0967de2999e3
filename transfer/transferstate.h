// The process-wide state of one firmware transfer, shared by the transfer run on the
// user-interface thread, its worker thread and the progress dialog's progress callback. Every
// value that both threads touch is an atomic or guarded by a lock.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

class CProgressDlg;
class CDevProgDlg;
class CKf7File;

// A text written by one thread and read by another.
class CGuardedString {
  public:
    void Set(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_text = text;
    }
    std::string Get() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_text;
    }
    void Clear() { Set(std::string()); }

  private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

// Work that the progress dialog runs on its worker thread.
using TransferWorkerFn = int (*)(void* param);

// One package of a transfer: its path and the data length its header stated when the sizes of
// the transfer were added up.
struct PackageEntry {
    std::string path;
    int32_t length = 0;
};

// Sum of the data lengths of all packages of the transfer.
extern std::atomic<uint32_t> g_nTotalBytes;
// Sum of the data lengths of the packages already sent.
extern std::atomic<uint32_t> g_nDoneBytes;
// Data length of the package being sent.
extern std::atomic<uint32_t> g_nCurrentBytes;
// The open progress dialog, or null.
extern std::atomic<CProgressDlg*> g_pProgressDlg;
// The device-busy window, or null.
extern std::atomic<CDevProgDlg*> g_pDevProgDlg;
// 1 once the user has given the Cancel command.
extern std::atomic<int> g_bCancel;
// Overall percentage last shown.
extern std::atomic<int> g_nLastPercent;
// Work for the worker thread; null means no thread is started.
extern std::atomic<TransferWorkerFn> g_pfnTransferWorker;
// Argument of that work: the package list.
extern std::atomic<void*> g_pTransferParam;
// Display name of the package being sent.
extern CGuardedString g_strCurrentName;
// Whether the Cancel control is enabled at the next progress report; 1 when the program starts.
extern std::atomic<int> g_bCancelEnabled;
// Index in the package list of a package the worker could not open; -1 when none.
extern std::atomic<int> g_nUnreadablePackage;
// 1 once the worker thread has done its work and is about to post the OK command; only then may
// the progress dialog act on an OK command (Enter gives one as well).
extern std::atomic<int> g_bWorkerFinished;

// Result stored in g_nLastResult when a package fails on our side (no data, no memory, short
// read, cannot be opened) or the worker thread cannot be started.
constexpr int32_t kTransferLocalFailure = -2;

// Puts the transfer state back to its start-of-transfer values (the progress dialog's
// constructor does this for every transfer).
void ResetTransferState();

// Entry of the worker thread: runs g_pfnTransferWorker with g_pTransferParam, then posts the
// OK command to the progress dialog's window. Returns the worker's result.
uint32_t TransferThreadProc(plat::Window progressWindow);
// Sends every package of the package list (a std::vector<PackageEntry>*). A package whose data
// length is no longer the one added up fails the transfer unsent. Always returns 0; the outcome
// is in g_nLastResult.
int TransferWorker(void* packageList);
// Sends one open package; 1 on success, 0 on failure.
int SendPackageFile(CKf7File& file);
// The file-name part of a path without directory and extension ("C:\fw\main.bin" -> "main").
std::string PackageDisplayName(const std::string& path);
