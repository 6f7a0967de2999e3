// The main dialog: the printer choice, Update and Exit.
#pragma once
#include <cstdint>
#include <string>

#include "platform/dialog.h"
#include "platform/platform.h"

// A combo box control of a dialog, reached through its window.
class CComboBox {
  public:
    void Attach(plat::Window window) { m_window = window; }

    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int AddString(const std::string& text);
    // The item's text; empty when the index is not valid.
    std::string GetLBText(int index) const;
    // Whole-text search from the top, ignoring letter case; -1 when none matches.
    int FindStringExact(const std::string& text) const;
    void EnableWindow(bool enable);

  private:
    intptr_t Send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) const;

    plat::Window m_window;
};

class CulmaUpDateDlg : public plat::CDialog {
  public:
    explicit CulmaUpDateDlg(plat::Window parent = plat::Window{});
    ~CulmaUpDateDlg() override;

    // The Update command (button 1001).
    void OnUpdate();
    // Sends the package(s) to the printer m_strPrinterName; non-zero when the firmware was
    // transferred. Shows its own messages.
    int RunTransfer();
    // Exit button: ends the dialog with the Cancel result.
    void OnExit();

    // Adds the supported printers to the combo box and preselects one; shows message 1919 and
    // disables the choice when there is none.
    void FillPrinterCombo(CComboBox& combo, const std::string& driverName,
                          const std::string& inboxDriverName);
    // Text of the combo's current item; empty when none is selected.
    std::string GetSelectedPrinterName(CComboBox& combo);
    // True when the raw I/O library was bound while the dialog opened: only then may the
    // Update command reach the printer through it.
    bool IsRawIoReady() const;

    CComboBox m_cbPrinter;
    std::string m_strPrinterName;
    std::string m_strNewVersion;
    std::string m_strCountry;
    std::string m_strDriverName;
    std::string m_strInboxDriverName;
    std::string m_strMachineName;
    std::string m_strKF7FileName;
    std::string m_strKF7FilePath;
    std::string m_strKF7FileName2;
    std::string m_strKF7FilePath2;
    uintptr_t m_hIcon = 0;

  protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;
    bool OnSysCommand(uintptr_t id, intptr_t lParam) override;
    bool OnPaint() override;
    uintptr_t OnQueryDragIcon() override;
    void OnDestroy() override;

  private:
    // True while the Update command runs.
    bool m_bUpdateRunning = false;
};
