// Installs the real Windows implementations as the process's platform.
#include "platform/win32/win32_platform.h"

namespace plat::win32 {

Platform::Platform(HINSTANCE instance) : ui(instance) {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS;
    ::InitCommonControlsEx(&controls);

    plat::Platform installed;
    installed.system = &system;
    installed.modules = &modules;
    installed.spooler = &spooler;
    installed.gdi = &gdi;
    installed.registry = &registry;
    installed.ui = &ui;
    plat::Install(installed);
}

Platform::~Platform() { plat::Install(plat::Platform{}); }

}  // namespace plat::win32
