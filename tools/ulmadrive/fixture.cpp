// A small ANSI dialog program with the kinds of windows the tool shows (texts of several
// lines, a combo box, a disabled button, a message box), localised in English and Japanese.
// The end-to-end suite drives it to check the automation tool itself.
#include "tools/ulmadrive/fixture.h"

#include <windows.h>

#include <string>

namespace {

std::string Str(UINT id) {
    char buf[512] = {};
    LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof buf);
    return buf;
}

INT_PTR CALLBACK FixtureProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowTextA(dlg, Str(IDS_FIX_TITLE).c_str());
            SetDlgItemTextA(dlg, IDC_FIX_TEXT, Str(IDS_FIX_TEXT).c_str());
            HWND combo = GetDlgItem(dlg, IDC_FIX_COMBO);
            for (const char* item : {"Alpha", "Beta", "Gamma"})
                SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            SendMessageA(combo, CB_SETCURSEL, 1, 0);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(dlg, LOWORD(wp));
                    return TRUE;
                case IDC_FIX_MESSAGE: {
                    const int answer =
                        MessageBoxA(dlg, Str(IDS_FIX_BOX).c_str(), Str(IDS_FIX_TITLE).c_str(),
                                    MB_OKCANCEL | MB_ICONERROR);
                    SetDlgItemTextA(dlg, IDC_FIX_STATUS,
                                    ("answer " + std::to_string(answer)).c_str());
                    return TRUE;
                }
                case IDC_FIX_COMBO:
                    if (HIWORD(wp) == CBN_SELCHANGE) {
                        char text[64] = {};
                        HWND combo = GetDlgItem(dlg, IDC_FIX_COMBO);
                        const LRESULT sel = SendMessageA(combo, CB_GETCURSEL, 0, 0);
                        SendMessageA(combo, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(text));
                        SetDlgItemTextA(dlg, IDC_FIX_STATUS,
                                        (std::string("selected ") + text).c_str());
                    }
                    return TRUE;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    const INT_PTR r =
        DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_FIXTURE), nullptr, FixtureProc, 0);
    return static_cast<int>(r);
}
