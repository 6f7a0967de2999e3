// minimaldlg: shows one modal dialog from a template and ends when it is closed. It does nothing
// else, so its start-up time is what any dialog program built this way pays.
#include "tools/minimaldlg/minimaldlg.h"

#include <windows.h>

namespace {

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                EndDialog(dlg, LOWORD(wp));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    const INT_PTR result =
        DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_MINIMAL), nullptr, DialogProc, 0);
    return result == IDOK || result == IDCANCEL ? 0 : 1;
}
