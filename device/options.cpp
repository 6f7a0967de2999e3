#include "device/options.h"

#include "platform/platform.h"

int GetOSVersionClass() {
    plat::OsVersion version;
    if (!plat::System().GetVersionEx(version)) return options::kOsOther;
    if (version.major == 3 && version.minor == 51) return options::kOsWin32s;
    if (version.major <= 3) return options::kOsOther;
    if (version.platformId == 1) return options::kOsWindows9x;
    if (version.platformId == 2) return options::kOsWindowsNT;
    return options::kOsOther;
}
