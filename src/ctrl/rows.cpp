// The track rows: one row of six controls per listed track, and the notifications that turn
// the user's changes into edits of the file image.
#include <windows.h>
#include <commctrl.h>

#include "ctrl/ctrl.h"
#include "ctrl/ctrl_logic.h"
#include "main/main.h"
#include "mmio/mmio.h"

static_assert(MAX_ROWS == MAX_TRACKS, "one row per listed track of the song record");

HWND hwndOn[MAX_ROWS];
HWND hwndOnly[MAX_ROWS];
HWND hwndName[MAX_ROWS];
HWND hwndInstr[MAX_ROWS];
HWND hwndVol[MAX_ROWS];
HWND hwndBal[MAX_ROWS];

// Rows built for the song now shown: the ones destroyed at the next load.
static int items;
// Instrument boxes built with a single fixed entry ("Standard Midi Drums" or "Mixed Music").
// They stay disabled whatever the solo does: their entry 0 is no program to apply.
static bool fInstrFixed[MAX_ROWS];

static HWND* const rowControls[ROW_COLUMNS] = {hwndOn, hwndOnly, hwndName, hwndInstr, hwndVol, hwndBal};

int GetTrackViewRowCount(void)
{
    return items;
}

static int ChunkOfRow(int row)
{
    return MidiInfo.nTrackIndex[row];
}

// ---- Building the rows -----------------------------------------------------------------

static HWND CreateRowControl(HWND hwndView, int column, int row, DWORD exStyle, const char* cls,
                             DWORD style, const char* title)
{
    RowRect rc = RowControlRect(column, row);
    HWND hwnd = CreateWindowExA(exStyle, cls, title, style, rc.x, rc.y, rc.cx, rc.cy, hwndView,
                                (HMENU)(INT_PTR)RowControlId(column, row), hInst, NULL);
    rowControls[column][row] = hwnd;
    return hwnd;
}

static void FillInstrumentBox(HWND hwndBox, int row)
{
    int code = getinstr(&MidiInfo, row);
    InstrumentList list = InstrumentListFor(code);
    if (list == INSTRLIST_PROGRAMS) {
        for (int k = 0; k < 128; k++)
            SendMessageA(hwndBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)gmprogname[k]);
        SendMessageA(hwndBox, CB_SETCURSEL, (WPARAM)code, 0);
        fInstrFixed[row] = false;
    } else {
        SendMessageA(hwndBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)FixedInstrumentEntry(list));
        EnableWindow(hwndBox, FALSE);
        SendMessageA(hwndBox, CB_SETCURSEL, 0, 0);
        fInstrFixed[row] = true;
    }
}

static void SetUpSlider(HWND hwndSlider, int pos)
{
    SendMessageA(hwndSlider, TBM_SETRANGE, TRUE, MAKELPARAM(0, 127));
    SendMessageA(hwndSlider, TBM_SETTICFREQ, 64, 0);
    SendMessageA(hwndSlider, TBM_SETPOS, TRUE, pos);
}

// ---- The keyboard ----------------------------------------------------------------------

static WNDPROC lpfnDefRowButton;   // the platform's button procedure, under On and Solo

// A dotted frame round the whole control: the box and button have no text, and the
// platform draws its focus mark round a control's text.
static void DrawFocusMark(HWND hwnd)
{
    HDC hdc = GetDC(hwnd);
    if (!hdc)
        return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
    for (int x = rc.left; x < rc.right; x += 2) {
        SetPixel(hdc, x, rc.top, ink);
        SetPixel(hdc, x, rc.bottom - 1, ink);
    }
    for (int y = rc.top; y < rc.bottom; y += 2) {
        SetPixel(hdc, rc.left, y, ink);
        SetPixel(hdc, rc.right - 1, y, ink);
    }
    ReleaseDC(hwnd, hdc);
}

// The button paints itself at once on these; the mark is drawn over whatever it painted, and
// a lost focus repaints the whole control without it.
static LRESULT CALLBACK RowButtonWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcA(lpfnDefRowButton, hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(hwnd, NULL, TRUE);
        break;
    case WM_PAINT:
    case BM_SETCHECK:
    case BM_SETSTATE:
    case WM_ENABLE:
        if (GetFocus() == hwnd)
            DrawFocusMark(hwnd);
        break;
    }
    return result;
}

static void MarkFocusOf(HWND hwndButton)
{
    WNDPROC previous = (WNDPROC)SetWindowLongPtrA(hwndButton, GWLP_WNDPROC, (LONG_PTR)RowButtonWndProc);
    if (!lpfnDefRowButton)
        lpfnDefRowButton = previous;
}

// Column and row of the row control a window belongs to (the control or a part of it).
static bool FindRowControl(HWND hwnd, HWND hwndView, int* column, int* row)
{
    while (hwnd && GetParent(hwnd) != hwndView)
        hwnd = GetParent(hwnd);
    if (!hwnd)
        return false;
    int id = GetDlgCtrlID(hwnd);
    *column = ColumnOfId(id);
    *row = RowOfId(id);
    return *column >= 0 && *column < ROW_COLUMNS && *row < items && rowControls[*column][*row] == hwnd;
}

BOOL TranslateTrackViewKeys(const MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_TAB || items == 0 || !hwndOn[0])
        return FALSE;
    HWND hwndView = GetParent(hwndOn[0]);
    int column = -1, row = -1;
    // From the main window or the view itself Tab enters the rows at their first control.
    if (msg->hwnd != hWndMain && msg->hwnd != hwndView && !FindRowControl(msg->hwnd, hwndView, &column, &row))
        return FALSE;
    if (column == COL_INSTR && SendMessageA(hwndInstr[row], CB_GETDROPPEDSTATE, 0, 0))
        return FALSE;   // an open list keeps its keys

    static bool enabled[MAX_ROWS * ROW_COLUMNS];
    for (int r = 0; r < items; r++)
        for (int c = 0; c < ROW_COLUMNS; c++)
            enabled[r * ROW_COLUMNS + c] = IsWindowEnabled(rowControls[c][r]) && IsWindowVisible(rowControls[c][r]);
    int nextColumn, nextRow;
    if (NextFocusTarget(column, row, GetKeyState(VK_SHIFT) < 0, items, enabled, &nextColumn, &nextRow)) {
        ShowTrackViewRow(nextRow);
        SetFocus(rowControls[nextColumn][nextRow]);
    }
    return TRUE;
}

// ---- Building the rows, continued --------------------------------------------------------

// Creates and sets up the six controls of one row; false as soon as one cannot be created.
static bool BuildRow(HWND hwndView, int row)
{
    HWND hwnd = CreateRowControl(hwndView, COL_ON, row, 0, "BUTTON",
                                 WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, NULL);
    if (!hwnd)
        return false;
    SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    MarkFocusOf(hwnd);

    // A plain radio button never sets its own mark: the solo logic does.
    hwnd = CreateRowControl(hwndView, COL_SOLO, row, 0, "BUTTON", WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON, NULL);
    if (!hwnd)
        return false;
    MarkFocusOf(hwnd);

    hwnd = CreateRowControl(hwndView, COL_NAME, row, WS_EX_CLIENTEDGE, "EDIT",
                            WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, gettrackname(&MidiInfo, row));
    if (!hwnd)
        return false;
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwnd, EM_LIMITTEXT, 255, 0);

    hwnd = CreateRowControl(hwndView, COL_INSTR, row, 0, "COMBOBOX",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST, NULL);
    if (!hwnd)
        return false;
    FillInstrumentBox(hwnd, row);
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwnd, CB_SETITEMHEIGHT, (WPARAM)-1, 14);

    hwnd = CreateRowControl(hwndView, COL_VOL, row, 0, TRACKBAR_CLASSA,
                            WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getvol(&MidiInfo, row));

    hwnd = CreateRowControl(hwndView, COL_BAL, row, 0, TRACKBAR_CLASSA,
                            WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getbal(&MidiInfo, row));
    return true;
}

// Destroys the controls of rows 0..nRows-1, in row order and, within a row, column order.
// Handles of controls already gone (destroyed with their parent) are only forgotten.
static bool DestroyRows(int nRows)
{
    for (int row = 0; row < nRows; row++) {
        for (int column = 0; column < ROW_COLUMNS; column++) {
            HWND& hwnd = rowControls[column][row];
            if (hwnd && IsWindow(hwnd) && !DestroyWindow(hwnd))
                return false;
            hwnd = NULL;
        }
        fInstrFixed[row] = false;
    }
    return true;
}

int InsertTrackViewItems(HWND hwndTrackView)
{
    ShowWindow(hwndTrackView, SW_HIDE);
    if (!DestroyRows(items))
        return 0;
    items = 0;

    int n = getnumtracks(&MidiInfo);
    if (n > MAX_ROWS)
        n = MAX_ROWS;
    for (int row = 0; row < n; row++) {
        if (!BuildRow(hwndTrackView, row)) {
            // Rows of a failed build are not counted, so no later load would remove them.
            DestroyRows(row + 1);
            return 0;
        }
    }

    ResetTrackViewScroll(hwndTrackView);
    ShowWindow(hwndTrackView, SW_SHOWNORMAL);
    ShowWindow(hwndTrackViewSt, SW_SHOWNORMAL);
    InvalidateRect(hwndTrackViewSt, NULL, TRUE);
    items = n;
    // Ready for the keyboard: Tab goes on from here.
    if (n > 0)
        SetFocus(hwndOn[0]);
    return 1;
}

// ---- Reading back ----------------------------------------------------------------------

int GetRowName(int row, char* buf, int size)
{
    if (!buf || size <= 0)
        return 0;
    buf[0] = '\0';
    if (row < 0 || row >= items || !hwndName[row])
        return 0;

    // EM_GETLINE takes the buffer's capacity in its first word and does not terminate.
    char line[1024];
    WORD capacity = (WORD)(sizeof line - 1);
    CopyMemory(line, &capacity, sizeof capacity);
    int len = (int)SendMessageA(hwndName[row], EM_GETLINE, 0, (LPARAM)line);
    if (len < 0)
        len = 0;
    if (len > (int)capacity)
        len = capacity;
    if (len > size - 1)
        len = size - 1;
    CopyMemory(buf, line, len);
    buf[len] = '\0';
    return len;
}

// ---- Notifications ---------------------------------------------------------------------

// Swaps the track's note events: mutes it or lifts its mute.
static void ToggleTrack(int row)
{
    settrack(pFileBuf, ChunkOfRow(row), EV_NOTEOFF, 0);
}

static void EnableRowControls(int row, bool fEnable)
{
    EnableWindow(hwndOn[row], fEnable);
    EnableWindow(hwndName[row], fEnable);
    if (!fInstrFixed[row])
        EnableWindow(hwndInstr[row], fEnable);
    EnableWindow(hwndVol[row], fEnable);
    EnableWindow(hwndBal[row], fEnable);
}

static void OnSoloClicked(int row)
{
    SoloRow rows[MAX_ROWS];
    for (int j = 0; j < items; j++) {
        rows[j].fOn = SendMessageA(hwndOn[j], BM_GETCHECK, 0, 0) == BST_CHECKED;
        rows[j].fSolo = SendMessageA(hwndOnly[j], BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    SoloPlan plan;
    PlanSolo(rows, items, row, &plan);

    SendMessageA(hwndOnly[row], BM_SETCHECK, plan.fClickedSolo ? BST_CHECKED : BST_UNCHECKED, 0);
    if (plan.nUnchecked >= 0)
        SendMessageA(hwndOnly[plan.nUnchecked], BM_SETCHECK, BST_UNCHECKED, 0);
    for (int i = 0; i < plan.nSteps; i++) {
        const SoloStep& step = plan.steps[i];
        if (step.enable != ROW_KEEP)
            EnableRowControls(step.row, step.enable == ROW_ENABLE);
        if (step.fToggle)
            ToggleTrack(step.row);
    }
}

static void OnInstrumentChosen(int row, HWND hwndBox)
{
    if (fInstrFixed[row])
        return;
    LRESULT sel = SendMessageA(hwndBox, CB_GETCURSEL, 0, 0);
    if (!IsApplicableValue((long)sel))
        return;
    MidiInfo.Track[ChunkOfRow(row)].bProgram = (BYTE)sel;
    settrack(pFileBuf, ChunkOfRow(row), EV_PROGRAM, (int)sel);
    mcimidiChange();
}

void OnRowCommand(HWND, int id, int code, HWND hwndCtl)
{
    int row = RowOfId(id);
    if (row >= items || !pFileBuf)
        return;
    switch (ColumnOfId(id)) {
    case COL_ON:
        // The box flips its own mark; each message swaps the track between muted and not.
        ToggleTrack(row);
        mcimidiChange();
        break;
    case COL_SOLO:
        OnSoloClicked(row);
        mcimidiChange();
        break;
    case COL_INSTR:
        if (code == CBN_SELCHANGE)
            OnInstrumentChosen(row, hwndCtl);
        break;
    }
}

void OnRowSlider(HWND, int request, HWND hwndSlider)
{
    // Applied once per drag, click or key press, never while the thumb moves.
    if (request != TB_ENDTRACK || !hwndSlider || !pFileBuf)
        return;
    LRESULT pos = SendMessageA(hwndSlider, TBM_GETPOS, 0, 0);
    if (!IsApplicableValue((long)pos))
        return;
    for (int row = 0; row < items; row++) {
        if (hwndVol[row] == hwndSlider) {
            MidiInfo.Track[ChunkOfRow(row)].bVolume = (BYTE)pos;
            settrack(pFileBuf, ChunkOfRow(row), EV_VOLUME, (int)pos);
            mcimidiChange();
            return;
        }
    }
    for (int row = 0; row < items; row++) {
        if (hwndBal[row] == hwndSlider) {
            MidiInfo.Track[ChunkOfRow(row)].bPan = (BYTE)pos;
            settrack(pFileBuf, ChunkOfRow(row), EV_PAN, (int)pos);
            mcimidiChange();
            return;
        }
    }
}
