// The operating-system family, which the print option flags depend on.
#pragma once

namespace options {
constexpr int kOsOther = 1;
constexpr int kOsWindows9x = 2;
constexpr int kOsWindowsNT = 3;
constexpr int kOsWin32s = 4;
}  // namespace options

// 1 (unknown or older), 2 (Windows 95/98/Me), 3 (Windows NT family) or 4 (version 3.51).
int GetOSVersionClass();
