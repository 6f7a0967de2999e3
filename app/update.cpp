// The Update command of the main dialog: select the printer, check it, read its firmware
// version, ask the user, check the package and hand over to the transfer.
#include <memory>

#include "app/app.h"
#include "app/framework.h"
#include "app/maindlg.h"
#include "app/rawio.h"
#include "res/fixedtext.h"
#include "res/resource.h"
#include "transfer/kf7file.h"
#include "transfer/xmlink.h"

namespace {
constexpr int32_t kXmValue = 1000;
}  // namespace

void CulmaUpDateDlg::OnUpdate() {
    m_strPrinterName = GetSelectedPrinterName(m_cbPrinter);

    // Without the raw I/O library the printer's version cannot be read: nothing is sent.
    if (!IsRawIoReady()) {
        app::AfxMessageBox(app::LoadStr(IDS_RAWIO_UNAVAILABLE), win::MB_OK | win::MB_ICONERROR);
        return;
    }

    // The firmware must go to the printer the user confirms: a printer that cannot be made the
    // transfer target ends the command before anything is sent.
    if (!GetApp().SelectPrinter(m_strPrinterName)) {
        plat::Ui().DiscardTypedInput();
        app::AfxMessageBox(app::LoadStr(IDS_CANNOT_COMMUNICATE), win::MB_OK | win::MB_ICONWARNING);
        return;
    }

    XmCmdInit(kXmValue);

    if (!CheckPrinterStatus()) {
        plat::Ui().DiscardTypedInput();
        app::AfxMessageBox(app::LoadStr(IDS_CANNOT_COMMUNICATE), win::MB_OK | win::MB_ICONWARNING);
        return;
    }

    PrinterInfo info;
    QueryResult queried = QueryPrinterInfo(m_strPrinterName, info);
    // The dialog did not respond while the printer was asked: a key typed meanwhile must not
    // answer the question that follows before the user has read the versions.
    plat::Ui().DiscardTypedInput();
    switch (queried) {
        case QueryResult::WriteFailed:
            app::AfxMessageBox(app::LoadStr(IDS_CANNOT_COMMUNICATE),
                               win::MB_OK | win::MB_ICONERROR);
            return;
        case QueryResult::ReadFailed:
            app::AfxMessageBox(app::LoadStr(IDS_READ_FAILED), win::MB_OK | win::MB_ICONERROR);
            return;
        case QueryResult::Success:
            break;
    }

    std::string question =
        app::FormatString(IDS_CONFIRM_UPDATE, {info.strVersion, m_strNewVersion, m_strMachineName});
    if (app::AfxMessageBox(question, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON1) !=
        win::IDYES) {
        return;
    }

    // Looked at again after the answer: the question may have stood open while the queue was
    // made again for another model.
    if (!GetApp().IsOfModelNow(m_strPrinterName)) {
        app::AfxMessageBox(app::LoadStr(IDS_CANNOT_COMMUNICATE), win::MB_OK | win::MB_ICONWARNING);
        return;
    }

    if (!m_strCountry.empty() && m_strCountry != info.strSystemInfo) {
        app::AfxMessageBox(app::LoadStr(IDS_SYSINFO_DIFFERENT), win::MB_OK | win::MB_ICONWARNING);
        return;
    }

    try {
        CKf7File package(m_strKF7FilePath);
    } catch (const CFileException&) {
        app::AfxMessageBox(std::string(res::kFileNotFound) + m_strKF7FileName,
                           win::MB_OK | win::MB_ICONERROR);
        return;
    }

    if (RunTransfer()) OnExit();
}
