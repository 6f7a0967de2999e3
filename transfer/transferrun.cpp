// The transfer run: readies the printer, adds up the package sizes, runs the progress dialog
// whose worker thread sends the packages, and reports the outcome.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/framework.h"
#include "app/maindlg.h"
#include "app/rawio.h"
#include "res/fixedtext.h"
#include "res/resource.h"
#include "transfer/kf7file.h"
#include "transfer/progressdlg.h"
#include "transfer/transferstate.h"
#include "transfer/xmlink.h"

namespace {

// The packages of the current transfer, in sending order; kept for the program's life and
// emptied at the start of every run.
std::vector<PackageEntry>& PackageList() {
    static std::vector<PackageEntry> s_packages = [] {
        std::vector<PackageEntry> v;
        v.reserve(10);
        return v;
    }();
    return s_packages;
}

constexpr int32_t kXmValue = 1000;
constexpr int32_t kXmSendValue = 500000;
// Pause before the worker posts its OK command again after the queue refused it.
constexpr uint32_t kPostRetryMs = 50;

}  // namespace

std::string PackageDisplayName(const std::string& path) {
    // Step whole characters: the second byte of a double-byte character may equal a separator.
    plat::ISystem& sys = plat::System();
    const char* begin = path.c_str();
    const char* end = begin + path.size();
    const char* start = begin;
    for (const char* p = begin; p < end && *p != '\0';) {
        if (*p == '\\' || *p == '/' || *p == ':') start = p + 1;
        const char* next = sys.CharNext(p);
        if (next <= p) break;
        p = next;
    }
    std::string name(start, static_cast<size_t>(end - start));
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

namespace {

// True when the package states a data length above 0 and the file holds that many bytes after
// its header. Moves the file position.
bool HoldsData(CKf7File& file, int32_t length) {
    if (length <= 0) return false;
    uint8_t last = 0;
    return file.Seek(tagQvXmFileHeader::kSize + static_cast<uint64_t>(length) - 1) &&
           file.Read(&last, 1) == 1;
}

}  // namespace

int SendPackageFile(CKf7File& file) {
    int32_t length = file.m_header.DataLength();
    // A header that announces more data than the file holds fails before the buffer is taken:
    // a damaged package must not claim up to 2 GB of memory only to fail the read afterwards.
    if (!HoldsData(file, length)) {
        g_nLastResult = kTransferLocalFailure;
        return 0;
    }
    // Left uninitialised: every byte is read from the file before the buffer is sent.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
    if (!buffer) {
        g_nLastResult = kTransferLocalFailure;
        return 0;
    }
    uint32_t want = static_cast<uint32_t>(length);
    uint32_t got = 0;
    if (file.Seek(tagQvXmFileHeader::kSize)) {
        while (got < want) {
            uint32_t n = file.Read(buffer.get() + got, want - got);
            if (n == 0) break;
            got += n;
        }
    }
    if (got < want) {
        g_nLastResult = kTransferLocalFailure;
        return 0;
    }
    uint32_t sendLength = want;
    int32_t result =
        XmSendFile(file.m_header.bytes, buffer.get(), &sendLength, kXmSendValue, TransferProgress);
    return result == 0 ? 1 : 0;
}

int TransferWorker(void* packageList) {
    const auto* packages = static_cast<const std::vector<PackageEntry>*>(packageList);
    g_nLastResult = 0;
    if (XmCmdInit(kXmValue) != 0) return 0;
    if (packages == nullptr) return 0;
    for (size_t i = 0; i < packages->size(); ++i) {
        const std::string& path = (*packages)[i].path;
        std::unique_ptr<CKf7File> file;
        try {
            file = std::make_unique<CKf7File>(path);
        } catch (const CFileException&) {
            // A package that has gone since the sizes were added up: send nothing further.
            g_nUnreadablePackage = static_cast<int>(i);
            g_nLastResult = kTransferLocalFailure;
            return 0;
        }
        // A package changed since the sizes were added up would take the progress past 100 %
        // before its end, or never to it: it is not sent.
        if (file->m_header.DataLength() != (*packages)[i].length) {
            g_nLastResult = kTransferLocalFailure;
            return 0;
        }
        g_strCurrentName.Set(PackageDisplayName(path));
        uint32_t length = static_cast<uint32_t>((*packages)[i].length);
        g_nCurrentBytes = length;
        uint32_t limit = g_nCancelLimit;
        g_bCancelEnabled = (limit != 0 && length < limit) ? 1 : 0;
        if (!SendPackageFile(*file)) return 0;
        g_nDoneBytes += length;
    }
    return 0;
}

uint32_t TransferThreadProc(plat::Window progressWindow) {
    int result = 0;
    TransferWorkerFn worker = g_pfnTransferWorker;
    if (worker) {
        try {
            result = worker(g_pTransferParam);
        } catch (...) {
            g_nLastResult = kTransferLocalFailure;
        }
    }
    g_bWorkerFinished = 1;
    // Only this command closes the progress dialog: a post refused because the queue is full is
    // made again until it is taken, or until the window has gone.
    plat::IUi& ui = plat::Ui();
    while (!ui.PostMessage(progressWindow, win::WM_COMMAND, win::IDOK, 0) &&
           ui.IsWindow(progressWindow)) {
        plat::System().Sleep(kPostRetryMs);
    }
    return static_cast<uint32_t>(result);
}

int CulmaUpDateDlg::RunTransfer() {
    std::vector<PackageEntry>& packages = PackageList();
    packages.clear();

    if (!IsQVFiloBound()) {
        app::AfxMessageBox(app::LoadStr(IDS_RAWIO_UNAVAILABLE), win::MB_OK | win::MB_ICONERROR);
        return 0;
    }
    // Every text that can end the run is made before the printer is told to take firmware:
    // once it has been, how the run ended must reach the user even if memory then runs short.
    const std::string unansweredText = app::LoadStr(IDS_CANNOT_COMMUNICATE);
    const std::string failedText = app::LoadStr(IDS_TRANSFER_FAILED);
    const std::string cancelledText = app::LoadStr(IDS_TRANSFER_CANCELLED);
    const std::string completedText = app::FormatString(IDS_COMPLETED, {m_strMachineName});
    const std::string notFoundText[] = {std::string(res::kFileNotFound) + m_strKF7FileName,
                                        std::string(res::kFileNotFound) + m_strKF7FileName2};

    const bool answered = SendPreamble(m_strPrinterName);
    // The main dialog did not respond while the printer took the command: a key typed meanwhile
    // must not answer the failure message, nor reach the progress dialog as a cancel.
    plat::Ui().DiscardTypedInput();
    if (!answered) {
        app::AfxMessageBox(unansweredText, win::MB_OK | win::MB_ICONERROR);
        return 0;
    }

    // The sum is kept in 64 bits: two large packages do not wrap it around.
    int64_t sum = 0;
    bool unusable = false;
    try {
        packages.push_back({m_strKF7FilePath, 0});
        if (!m_strKF7FilePath2.empty()) packages.push_back({m_strKF7FilePath2, 0});
        for (size_t i = 0; i < packages.size(); ++i) {
            try {
                CKf7File file(packages[i].path);
                int32_t length = file.m_header.DataLength();
                packages[i].length = length;
                sum += length;
                if (!HoldsData(file, length)) unusable = true;
            } catch (const CFileException&) {
                app::AfxMessageBox(notFoundText[i], win::MB_OK | win::MB_ICONERROR);
                return 0;
            }
        }
    } catch (const std::bad_alloc&) {
        // Nothing has been sent after the command: the run ends as a failed transfer.
        app::AfxMessageBox(failedText, win::MB_OK | win::MB_ICONERROR);
        return 0;
    }
    if (packages.empty() || sum <= 0) return 0;
    // A package that cannot be sent whole fails the transfer before any package goes out: the
    // printer must not be left with only part of an update.
    if (unusable) {
        app::AfxMessageBox(failedText, win::MB_OK | win::MB_ICONERROR);
        return 0;
    }

    {
        CProgressDlg dlg(app::MainWindow());
        g_nTotalBytes = static_cast<uint32_t>(sum);
        g_pfnTransferWorker = &TransferWorker;
        g_pTransferParam = &packages;
        dlg.m_nAnimationId = IDR_AVI_TRANSFER;
        // The worker clears this when it starts: a dialog that never opened is a failure.
        g_nLastResult = kTransferLocalFailure;
        dlg.DoModal();
        dlg.WaitForWorker();
    }

    int unreadable = g_nUnreadablePackage;
    if (unreadable >= 0 && static_cast<size_t>(unreadable) < packages.size()) {
        app::AfxMessageBox(notFoundText[unreadable], win::MB_OK | win::MB_ICONERROR);
        return 0;
    }
    int32_t result = g_nLastResult;
    if (result == maker::XM_RESULT_STOPPED) {
        app::AfxMessageBox(cancelledText, win::MB_OK | win::MB_ICONWARNING);
        return 0;
    }
    if (result != 0) {
        app::AfxMessageBox(failedText, win::MB_OK | win::MB_ICONERROR);
        return 0;
    }
    app::AfxMessageBox(completedText, win::MB_OK | win::MB_ICONINFORMATION);
    return 1;
}
