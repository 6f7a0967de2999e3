#include "app/app.h"

#include <memory>
#include <vector>

#include "app/framework.h"
#include "app/maindlg.h"
#include "device/printer.h"
#include "printers/printerlist.h"
#include "res/fixedtext.h"
#include "res/resource.h"
#include "transfer/warningdlg.h"
#include "transfer/xmlink.h"

namespace {

// Private-profile values arrive through buffers of this size (at most 259 bytes survive).
constexpr uint32_t kValueBuffer = 260;

const char kSection[] = "UPDATE";
// One name for every copy of the tool, whatever its folder, model or user.
const char kOneCopyLock[] = "Global\\ulmaupdate.one-copy";

// Position of the last '\', '/' or ':' in path, stepping by the ANSI code page's characters so
// that the trail byte of a double-byte character is never taken for a separator; npos if none.
size_t LastSeparator(const std::string& path) {
    plat::ISystem& sys = plat::System();
    const char* begin = path.c_str();
    const char* end = begin + path.size();
    size_t last = std::string::npos;
    for (const char* p = begin; p < end && *p != '\0';) {
        uint8_t byte = static_cast<uint8_t>(*p);
        if (!sys.IsDBCSLeadByte(byte) && (*p == '\\' || *p == '/' || *p == ':')) {
            last = static_cast<size_t>(p - begin);
        }
        const char* next = sys.CharNext(p);
        if (next <= p) break;
        p = next;
    }
    return last;
}

// File name of the executable without its extension: the caption of message boxes until the
// program title is known.
std::string ExeBaseName() {
    std::string path;
    if (!plat::System().GetModuleFileName(path) || path.empty()) return std::string();
    size_t sep = LastSeparator(path);
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string ReadValue(const char* key, const std::string& iniPath) {
    std::vector<char> buffer(kValueBuffer, '\0');
    uint32_t got = plat::System().GetPrivateProfileString(kSection, key, "", buffer.data(),
                                                          kValueBuffer, iniPath.c_str());
    (void)got;
    // The value ends at its terminator, whatever bytes the file held.
    buffer[kValueBuffer - 1] = '\0';
    return std::string(buffer.data());
}

void ErrorBox(const std::string& text) { app::AfxMessageBox(text, win::MB_OK | win::MB_ICONHAND); }

}  // namespace

CulmaUpDateApp& GetApp() {
    static CulmaUpDateApp theApp;
    return theApp;
}

void CulmaUpDateApp::ResetForTest() { *this = CulmaUpDateApp(); }

bool CulmaUpDateApp::GetExeDirectory(std::string& dir) {
    std::string path;
    if (!plat::System().GetModuleFileName(path) || path.empty()) return false;
    size_t sep = LastSeparator(path);
    // A path without any separator names no directory.
    if (sep == std::string::npos) return false;
    dir = path.substr(0, sep);
    return true;
}

bool CulmaUpDateApp::CheckRequiredFiles() {
    plat::ISystem& sys = plat::System();
    // A directory where a file should be, or an empty package name, counts as missing.
    bool haveXmLink = sys.FileExists(m_strExeDir + "\\" + "xmlink.dll");
    bool haveQVFilo = sys.FileExists(m_strExeDir + "\\" + "qvfilo.dll");
    bool havePackage =
        !m_strKF7FileName.empty() && sys.FileExists(m_strExeDir + "\\" + m_strKF7FileName);
    if (haveXmLink && haveQVFilo && havePackage) return true;

    std::string text = res::kFilesMissing;
    if (!haveXmLink) text += "xmlink.dll";
    if (!haveQVFilo) text += "\nqvfilo.dll";
    if (!havePackage) text += "\n" + m_strKF7FileName;
    ErrorBox(text);
    return false;
}

bool CulmaUpDateApp::SelectPrinter(const std::string& printerName) {
    CPrinterList& list = GetPrinterList();
    if (!list.SelectPrinterByName(printerName.c_str())) return false;
    std::string current;
    if (!list.GetCurrentPrinterName(current) || current.empty()) return false;
    if (!IsOfModelNow(current)) return false;
    XmCheckSupportPrinter(current);
    return XmInitPrinter(current) == 0;
}

bool CulmaUpDateApp::IsOfModelNow(const std::string& printerName) const {
    // The list is filled once: a queue removed since and made again under the same name for
    // another model's driver must not get this model's commands or firmware.
    std::string driver;
    if (!ReadQueueDriverName(printerName.c_str(), driver) || driver.empty()) return false;
    return driver == m_strDriverName || driver == m_strInboxDriverName;
}

bool CulmaUpDateApp::InitInstance() {
    m_strRegistryKey = app::LoadStr(IDS_REGISTRY_KEY);
    // Without the executable's directory there is no configuration file to read.
    if (!GetExeDirectory(m_strExeDir)) {
        ErrorBox(res::kNoDataFile);
        return false;
    }
    m_strIniPath = m_strExeDir + "\\ulmaupdate.ini";
    if (!plat::System().FileExists(m_strIniPath)) {
        ErrorBox(res::kNoDataFile);
        return false;
    }

    m_strNewVersion = ReadValue("NewVersion", m_strIniPath);
    m_strCountry = ReadValue("Country", m_strIniPath);
    m_strDriverName = ReadValue("DriverName", m_strIniPath);
    m_strInboxDriverName = ReadValue("InboxDriverName", m_strIniPath);
    m_strMachineName = ReadValue("MachineName", m_strIniPath);
    m_strKF7FileName = ReadValue("KF7FileName", m_strIniPath);
    m_strKF7FileName2 = ReadValue("KF7FileName2", m_strIniPath);

    std::string title = app::FormatString(IDS_TITLE_FMT, {m_strMachineName});
    if (!title.empty()) app::DisplayName() = title;

    // A second copy would talk to a printer beside the first, even in the middle of its
    // transfer: it stops here, before any library is loaded or printer touched.
    std::unique_ptr<plat::IHeldLock> oneCopy = plat::System().HoldNamedLock(kOneCopyLock);
    if (!oneCopy) {
        app::AfxMessageBox(app::LoadStr(IDS_ALREADY_RUNNING), win::MB_OK | win::MB_ICONWARNING);
        return false;
    }

    if (!CheckRequiredFiles()) return false;

    if (!BindXmLink()) {
        ErrorBox(res::kTransferDllOpen);
        return false;
    }

    CDlg_Warning warning;
    warning.m_strMachineName = m_strMachineName;
    // Only the warning's Start leads on: Cancel, the close box, or a warning that could not be
    // shown at all end the program before any printer is touched.
    if (warning.DoModal() != win::IDOK) return false;

    CulmaUpDateDlg dlg;
    dlg.m_strNewVersion = m_strNewVersion;
    dlg.m_strCountry = m_strCountry;
    dlg.m_strDriverName = m_strDriverName;
    dlg.m_strInboxDriverName = m_strInboxDriverName;
    dlg.m_strMachineName = m_strMachineName;
    dlg.m_strKF7FileName = m_strKF7FileName;
    dlg.m_strKF7FilePath = m_strExeDir + "\\" + m_strKF7FileName;
    dlg.m_strKF7FileName2 = m_strKF7FileName2;
    dlg.m_strKF7FilePath2 =
        m_strKF7FileName2.empty() ? std::string() : m_strExeDir + "\\" + m_strKF7FileName2;
    dlg.DoModal();
    return false;
}

int CulmaUpDateApp::ExitInstance() {
    UnbindXmLink();
    app::MainWindow() = plat::Window{};
    return 0;
}

namespace app {

int UlmaMain() {
    // A library planted in the working folder must never be loaded in place of ours.
    plat::System().RemoveCurrentDirectoryFromDllSearch();
    DisplayName() = ExeBaseName();
    CulmaUpDateApp& theApp = GetApp();
    theApp.InitInstance();
    return theApp.ExitInstance();
}

}  // namespace app
