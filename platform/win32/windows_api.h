// The Windows API headers for the platform layer. The platform interfaces use the plain names of
// the calls they stand for (LoadString, MessageBox, SendMessage, ...), which the API headers
// define as macros: the interfaces are read first and those macros are removed afterwards, so the
// layer calls the explicit ...A / ...W functions.
#pragma once
#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/wintypes.h"

// The API itself, after every header that names its calls.
#include <windows.h>
// These need windows.h first.
#include <commctrl.h>
#include <winspool.h>

#undef AppendMenu
#undef CharNext
#undef CreateDialog
#undef CreateIC
#undef DeviceCapabilities
#undef DialogBox
#undef DocumentProperties
#undef EnumPrinters
#undef GetModuleFileName
#undef GetPrivateProfileString
#undef GetVersionEx
#undef GetWindowText
#undef LoadIcon
#undef LoadLibrary
#undef LoadString
#undef MessageBox
#undef OpenPrinter
#undef PostMessage
#undef SendDlgItemMessage
#undef SendMessage
#undef SetWindowText
