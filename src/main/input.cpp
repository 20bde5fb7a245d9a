// Files dropped on the main window, and the keyboard shortcuts of its commands.
#include "main/main.h"

#include "mmio/mmio.h"

static HACCEL hAccel;

static BOOL CALLBACK FindShownDialog(HWND hwnd, LPARAM lParam)
{
    char cls[16];
    if (IsWindowVisible(hwnd) && GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpA(cls, "#32770") == 0) {
        *(BOOL*)lParam = TRUE;
        return FALSE;
    }
    return TRUE;
}

// A message box, a file dialog or the export's progress: the main window waits for it.
static BOOL IsDialogShown(void)
{
    BOOL shown = FALSE;
    EnumThreadWindows(GetCurrentThreadId(), FindShownDialog, (LPARAM)&shown);
    return shown;
}

LRESULT OnDropFiles(HWND hwnd, HDROP drop)
{
    char path[MAX_PATH];
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0);
    UINT length = count ? DragQueryFileA(drop, 0, NULL, 0) : 0;
    path[0] = '\0';
    if (count && length < sizeof path)
        DragQueryFileA(drop, 0, path, sizeof path);
    DragFinish(drop);
    if (!count || !IsWindowEnabled(hwnd) || IsDialogShown())
        return 0;   // refused: the dialog or the export goes on
    if (!path[0]) {
        Report(nullptr, "File open failed.", nullptr, MB_OK);   // a name no path buffer holds
        return 0;
    }
    lstrcpynA(szFileName, path, sizeof szFileName);
    SendMessageA(hwnd, WM_COMMAND, IDM_OPEN, CMDLINE_OPEN);   // opened and played, as named at start-up
    return 0;
}

void LoadShortcuts(HINSTANCE hInstance)
{
    hAccel = LoadAcceleratorsA(hInstance, MAKEINTRESOURCEA(IDA_MAIN));
}

// Space belongs to a focused control that takes it: a button or check box, a name box,
// an instrument list.
static BOOL FocusTakesSpace(void)
{
    HWND focus = GetFocus();
    if (!focus || focus == hWndMain)
        return FALSE;
    MSG probe = {};
    probe.hwnd = focus;
    probe.message = WM_KEYDOWN;
    probe.wParam = VK_SPACE;
    LRESULT code = SendMessageA(focus, WM_GETDLGCODE, VK_SPACE, (LPARAM)&probe);
    return (code & (DLGC_WANTCHARS | DLGC_BUTTON | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0;
}

// Escape closes an open instrument list first.
static BOOL FocusListDropped(void)
{
    for (HWND w = GetFocus(); w && w != hWndMain; w = GetParent(w)) {
        char cls[16];
        if (GetClassNameA(w, cls, sizeof cls) && lstrcmpiA(cls, "ComboBox") == 0)
            return SendMessageA(w, CB_GETDROPPEDSTATE, 0, 0) != 0;
    }
    return FALSE;
}

BOOL TranslateShortcut(MSG* msg)
{
    if (!hAccel || !hWndMain || (msg->hwnd != hWndMain && !IsChild(hWndMain, msg->hwnd)))
        return FALSE;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_SPACE && FocusTakesSpace())
        return FALSE;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE && FocusListDropped())
        return FALSE;
    return TranslateAcceleratorA(hWndMain, hAccel, msg);
}

// Grayed in the menu, or a disabled toolbar button.
static BOOL IsCommandEnabled(HWND hwnd, int id)
{
    HMENU menu = GetMenu(hwnd);
    UINT state = menu ? GetMenuState(menu, id, MF_BYCOMMAND) : (UINT)-1;
    if (state != (UINT)-1 && (state & (MF_GRAYED | MF_DISABLED)))
        return FALSE;
    if (hWndToolbar && SendMessageA(hWndToolbar, TB_COMMANDTOINDEX, id, 0) >= 0 &&
        !SendMessageA(hWndToolbar, TB_ISBUTTONENABLED, id, 0))
        return FALSE;
    return TRUE;
}

BOOL TakeShortcutCommand(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) != 1 || lParam != 0)
        return FALSE;   // not from a shortcut key
    const int id = LOWORD(wParam);
    if (!IsCommandEnabled(hwnd, id))
        return TRUE;
    if (id == IDM_LOOP) {
        // The toolbar's check button is the command's state: the key toggles it.
        BOOL checked = SendMessageA(hWndToolbar, TB_ISBUTTONCHECKED, IDM_LOOP, 0) != 0;
        SendMessageA(hWndToolbar, TB_CHECKBUTTON, IDM_LOOP, MAKELONG(!checked, 0));
        return TRUE;
    }
    return FALSE;
}
