// The program's entry point: installs the Windows platform and runs the tool.
#include "app/app.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    plat::win32::Platform platform(hInstance);
    return app::UlmaMain();
}
