// The About box reached from the main dialog's system menu.
#pragma once
#include <string>

#include "platform/dialog.h"

// The tool's version label shown in the About box.
constexpr char kVersionLabel[] = "1.30RZ";

class CAboutDlg : public plat::CDialog {
  public:
    explicit CAboutDlg(plat::Window parent = plat::Window{});

    std::string m_strName;     // the name line: the configuration's driver name
    std::string m_strVersion;  // the version label

  protected:
    bool OnInitDialog() override;
};
