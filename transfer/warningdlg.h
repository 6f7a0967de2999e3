// The warning shown before the main dialog: do not operate or unplug the printer.
#pragma once
#include <string>

#include "platform/dialog.h"

class CDlg_Warning : public plat::CDialog {
  public:
    explicit CDlg_Warning(plat::Window parent = plat::Window{});
    ~CDlg_Warning() override;

    // The model name shown in the title and the text.
    std::string m_strMachineName;

  protected:
    bool OnInitDialog() override;
};
