// The About box and the record notice share one dialog procedure.
#include "main/main.h"

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;   // the focus goes to the default button
    case WM_COMMAND:
        // wParam taken whole: a notification code in the high word is not a close request.
        if (wParam == IDOK || wParam == IDCANCEL)
            EndDialog(hDlg, 1);
        return TRUE;
    }
    return FALSE;
}
