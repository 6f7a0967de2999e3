// Numeric values of the Windows constants the tool's logic uses, so that portable code can speak
// the Windows vocabulary without including <windows.h>. Values are those of the Windows SDK.
#pragma once
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define ULMA_WINAPI __attribute__((stdcall))
#else
#define ULMA_WINAPI
#endif

namespace win {

// Window messages.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SETTEXT = 0x000C;
constexpr uint32_t WM_GETTEXT = 0x000D;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_SHOWWINDOW = 0x0018;
constexpr uint32_t WM_ICONERASEBKGND = 0x0027;
constexpr uint32_t WM_QUERYDRAGICON = 0x0037;
constexpr uint32_t WM_SETICON = 0x0080;
constexpr uint32_t WM_NCDESTROY = 0x0082;
constexpr uint32_t WM_INITDIALOG = 0x0110;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;
constexpr uint32_t WM_QUERYENDSESSION = 0x0011;
constexpr uint32_t WM_USER = 0x0400;

// Combo box messages.
constexpr uint32_t CB_ADDSTRING = 0x0143;
constexpr uint32_t CB_GETCOUNT = 0x0146;
constexpr uint32_t CB_GETCURSEL = 0x0147;
constexpr uint32_t CB_GETLBTEXT = 0x0148;
constexpr uint32_t CB_GETLBTEXTLEN = 0x0149;
constexpr uint32_t CB_RESETCONTENT = 0x014B;
constexpr uint32_t CB_SETCURSEL = 0x014E;
constexpr uint32_t CB_FINDSTRINGEXACT = 0x0158;
constexpr intptr_t CB_ERR = -1;

// Button, progress bar and animation messages.
constexpr uint32_t BM_CLICK = 0x00F5;
constexpr uint32_t PBM_SETRANGE = WM_USER + 1;
constexpr uint32_t PBM_SETPOS = WM_USER + 2;
constexpr uint32_t ACM_OPENA = WM_USER + 100;
constexpr uint32_t ACM_PLAY = WM_USER + 101;
constexpr uint32_t ACM_STOP = WM_USER + 102;

// Dialog messages.
constexpr uint32_t DM_SETDEFID = WM_USER + 1;

constexpr uintptr_t ICON_SMALL = 0;
constexpr uintptr_t ICON_BIG = 1;

// Dialog results and command ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message box types.
constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_OKCANCEL = 0x1;
constexpr uint32_t MB_YESNOCANCEL = 0x3;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_TYPEMASK = 0xF;
constexpr uint32_t MB_ICONHAND = 0x10;  // the error icon
constexpr uint32_t MB_ICONERROR = MB_ICONHAND;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONEXCLAMATION = 0x30;  // the warning icon
constexpr uint32_t MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr uint32_t MB_ICONASTERISK = 0x40;  // the information icon
constexpr uint32_t MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr uint32_t MB_ICONMASK = 0xF0;
constexpr uint32_t MB_DEFBUTTON1 = 0x000;
constexpr uint32_t MB_DEFBUTTON2 = 0x100;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// Menus and system commands.
constexpr uint32_t MF_STRING = 0x0000;
constexpr uint32_t MF_SEPARATOR = 0x0800;
constexpr uint32_t SM_CXSCREEN = 0;
constexpr uint32_t SM_CYSCREEN = 1;
constexpr uint32_t SM_CXICON = 11;
constexpr uint32_t SM_CYICON = 12;

// Printer spooler.
constexpr uint32_t PRINTER_ENUM_LOCAL = 0x2;
constexpr uint32_t DM_OUT_BUFFER = 2;
constexpr uint32_t DM_IN_BUFFER = 8;
constexpr uint16_t DC_FIELDS = 1;
constexpr uint16_t DC_PAPERS = 2;
constexpr uint16_t DC_PAPERSIZE = 3;
constexpr uint16_t DC_MINEXTENT = 4;
constexpr uint16_t DC_MAXEXTENT = 5;
constexpr uint16_t DC_ENUMRESOLUTIONS = 13;
constexpr uint16_t DC_PAPERNAMES = 16;
constexpr uint16_t DC_ORIENTATION = 17;
constexpr uint16_t DC_COPIES = 18;

// DEVMODE fields bits.
constexpr uint32_t DM_ORIENTATION = 0x1;
constexpr uint32_t DM_PAPERSIZE = 0x2;
constexpr uint32_t DM_PAPERLENGTH = 0x4;
constexpr uint32_t DM_PAPERWIDTH = 0x8;
constexpr uint32_t DM_SCALE = 0x10;
constexpr uint32_t DM_COPIES = 0x100;
constexpr uint32_t DM_PRINTQUALITY = 0x400;
constexpr uint32_t DM_COLOR = 0x800;
constexpr uint32_t DM_YRESOLUTION = 0x2000;

// GDI escapes.
constexpr int QUERYESCSUPPORT = 8;
constexpr int GETPHYSPAGESIZE = 12;
constexpr int GETPRINTINGOFFSET = 13;

// Registry.
constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_MORE_DATA = 234;
constexpr long ERROR_NO_MORE_ITEMS = 259;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WOW64_64KEY = 0x0100;
constexpr uint32_t REG_SZ = 1;

// Power and session.
constexpr uint32_t ES_SYSTEM_REQUIRED = 0x00000001;
constexpr uint32_t ES_CONTINUOUS = 0x80000000;

}  // namespace win
