// minimalflow: shows a first dialog and, after its OK, a second one whose list holds the names of
// the installed printers. It does nothing else, so its start-up time is what any program built
// this way pays to reach a printer list behind a first window.
#include "tools/minimaldlg/minimalflow.h"

#include <windows.h>
#include <winspool.h>

namespace {

// Fills the list with the local printers' names, asking the spooler for the size first.
void ListPrinters(HWND list) {
    DWORD needed = 0, count = 0;
    ::EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return;
    // The process heap rather than the C++ library, which would make the program many times larger.
    struct Buffer {
        BYTE* bytes;
        ~Buffer() {
            if (bytes) ::HeapFree(::GetProcessHeap(), 0, bytes);
        }
    } buffer{static_cast<BYTE*>(::HeapAlloc(::GetProcessHeap(), 0, needed))};
    if (!buffer.bytes ||
        !::EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.bytes, needed, &needed, &count))
        return;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.bytes);
    for (DWORD i = 0; i < count; ++i)
        if (info[i].pPrinterName)
            ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(info[i].pPrinterName));
    ::SendMessageA(list, CB_SETCURSEL, 0, 0);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            if (HWND list = ::GetDlgItem(dlg, IDC_FLOW_PRINTERS)) ListPrinters(list);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                ::EndDialog(dlg, LOWORD(wp));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    const INT_PTR first =
        DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_FLOW_FIRST), nullptr, DialogProc, 0);
    if (first != IDOK) return first == IDCANCEL ? 0 : 1;
    const INT_PTR second =
        DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_FLOW_PRINTERS), nullptr, DialogProc, 0);
    return second == IDOK || second == IDCANCEL ? 0 : 1;
}
