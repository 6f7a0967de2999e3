// The application object and the program's entry into its own logic.
#pragma once
#include <string>

// The one application object: reads the update settings beside the executable, checks the
// delivered files, binds the transfer-driver library and runs the warning and the main dialog.
class CulmaUpDateApp {
  public:
    CulmaUpDateApp() = default;

    // Start-up. Always returns false: the program does not go on running once it returns,
    // whether the main dialog ran or a check failed.
    bool InitInstance();
    // Exit step: frees the transfer-driver library; returns the exit status.
    int ExitInstance();

    // Directory of the executable without its trailing separator; false (dir unchanged) when
    // the executable's path cannot be had.
    bool GetExeDirectory(std::string& dir);
    // True when xmlink.dll, qvfilo.dll and the package exist beside the executable; otherwise
    // shows which are missing and returns false.
    bool CheckRequiredFiles();
    // Makes the named printer current in the printer list and the transfer target of the
    // transfer-driver library; true on success.
    bool SelectPrinter(const std::string& printerName);
    // True when the queue of this name has, at this moment, one of the model's two drivers.
    bool IsOfModelNow(const std::string& printerName) const;

    // Name of the application's registry key (string resource 1010), set by start-up.
    const std::string& RegistryKey() const { return m_strRegistryKey; }

    // Puts the object back into its state before start-up (tests run the program repeatedly).
    void ResetForTest();

    std::string m_strNewVersion;
    std::string m_strCountry;
    std::string m_strDriverName;
    std::string m_strInboxDriverName;
    std::string m_strMachineName;
    std::string m_strKF7FileName;
    std::string m_strIniPath;
    std::string m_strKF7FileName2;
    std::string m_strExeDir;

  private:
    std::string m_strRegistryKey;
};

// The process-wide application object.
CulmaUpDateApp& GetApp();

namespace app {

// Runs the program once: start-up (which runs the warning and the main dialog) and the exit step.
// Returns the exit status. The platform must be installed before.
int UlmaMain();

}  // namespace app
