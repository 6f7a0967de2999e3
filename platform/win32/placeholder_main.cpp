// Linked only while the application's logic has no entry of its own yet.
#include "app/app.h"
#include "platform/win32/windows_api.h"

namespace app {

int UlmaMain() {
    ::MessageBoxA(nullptr, "The application is not built into this program yet.", "ulmaupdate",
                  MB_OK | MB_ICONERROR);
    return 1;
}

}  // namespace app
