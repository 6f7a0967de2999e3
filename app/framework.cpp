#include "app/framework.h"

namespace app {

namespace {
std::string g_displayName;
plat::Window g_mainWindow;
}  // namespace

std::string& DisplayName() { return g_displayName; }

plat::Window& MainWindow() { return g_mainWindow; }

std::string LoadStr(uint32_t id) { return plat::Ui().LoadString(id); }

std::string FormatText(const std::string& fmt, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size()) {
            if (fmt[i + 1] == 's') {
                if (next != args.end()) out += *next++;
                ++i;
                continue;
            }
            if (fmt[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += fmt[i];
    }
    return out;
}

std::string FormatString(uint32_t id, std::initializer_list<std::string> args) {
    return FormatText(LoadStr(id), args);
}

int AfxMessageBox(const std::string& text, uint32_t type) {
    if ((type & win::MB_ICONMASK) == 0) {
        uint32_t buttons = type & win::MB_TYPEMASK;
        if (buttons == win::MB_OK || buttons == win::MB_OKCANCEL) {
            type |= win::MB_ICONEXCLAMATION;
        } else if (buttons == win::MB_YESNO || buttons == win::MB_YESNOCANCEL) {
            type |= win::MB_ICONQUESTION;
        }
    }
    plat::IUi& ui = plat::Ui();
    // The box belongs to the active window; right after a modal dialog has closed Windows may
    // have no active window yet, and then the main window owns it so it stays modal to it.
    plat::Window owner = ui.GetActiveWindow();
    if (!owner) owner = g_mainWindow;
    return ui.MessageBox(owner, text, g_displayName, type);
}

void ResetFramework() {
    g_displayName.clear();
    g_mainWindow = plat::Window{};
}

}  // namespace app
