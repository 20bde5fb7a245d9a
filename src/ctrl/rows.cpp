// The track rows: one row of six controls per listed track, under a track on several channels
// one channel row per channel, and the notifications that turn the user's changes into edits
// of the file image.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>

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

// Rows of the song now shown.
static int items;
// Track rows planned at the last load, built or not: the ones whose controls the next load
// destroys.
static int nPlannedRows;

static HWND* const rowControls[ROW_COLUMNS] = {hwndOn, hwndOnly, hwndName, hwndInstr, hwndVol, hwndBal};

// One channel of a track on several channels. Its label takes the name box's column.
struct ChannelRow {
    int row;                    // the track's row
    int channel;                // 0..15
    HWND hwnd[ROW_COLUMNS];
};
static ChannelRow chanRows[MAX_CHANNEL_ROWS];
static int nChanRows;
// Channel rows of track row r: firstChanRow[r] up to firstChanRow[r + 1].
static int firstChanRow[MAX_ROWS + 1];

// Every row of the song in view order, the channel rows shown or not: entry f is track row
// e when e >= 0, channel row -1 - e otherwise. Track row r stands at r + firstChanRow[r].
static int viewOrder[MAX_VIEW_ROWS];
static bool fChannelsShown = true;

// A row's controls are made when its line first comes into sight, and the rest in the
// background while the user is idle, since under a long list most of the load's time went
// into making controls nobody saw. Until a row has its controls, its marks live here; once
// they exist, the On box and the Solo button are the record, as they always were.
struct RowState {
    bool fBuilt;          // its controls exist
    bool fOn, fSolo;      // its marks while it has no controls
    bool fSoloDisabled;   // another row is solo
    bool fInstrFixed;     // its list holds "Standard Midi Drums" or "Mixed Music"
    bool fStale;          // its enabled states changed out of sight and wait to be shown
};
static RowState rowState[MAX_VIEW_ROWS];   // by view-order entry
static int nNextToBuild;                   // the background's place in view order

// What of each track's notes stands swapped in the image: the track's own switch (its On box
// and the solo, exactly as a track without channel rows) and, on top of it, the channels the
// channel rows swap to make up the difference.
static bool fTrackSwapped[MAX_ROWS];
static unsigned chanSwapped[MAX_ROWS];
static int nSoloEntry = -1;   // view-order entry that is solo, or -1

// The pane that carries every row control; it scrolls as one window. It holds the lines from
// nPaneBase on (PANE_LINES of them).
static HWND hwndRows;
static int nPaneBase;
static const char szRowPaneClass[] = "TrackRows";

int GetTrackViewRowCount(void)
{
    return items;
}

HWND GetChannelRowControl(int k, int column)
{
    return k >= 0 && k < nChanRows && column >= 0 && column < ROW_COLUMNS ? chanRows[k].hwnd[column] : NULL;
}

int GetTrackViewLineCount(void)
{
    return fChannelsShown ? items + nChanRows : items;
}

int GetChannelRowCount(void)
{
    return nChanRows;
}

HWND TrackViewRowPane(void)
{
    return hwndRows;
}

static int ChunkOfRow(int row)
{
    return MidiInfo.nTrackIndex[row];
}

// ---- Lines of the view -----------------------------------------------------------------

static int EntryOfTrackRow(int row)
{
    return row + firstChanRow[row];
}

static int EntryOfChannelRow(int k)
{
    return chanRows[k].row + 1 + k;
}

// The line a row stands on, or -1 for a channel row while channel rows are hidden.
static int LineOfTrackRow(int row)
{
    return fChannelsShown ? EntryOfTrackRow(row) : row;
}

static int LineOfChannelRow(int k)
{
    return fChannelsShown ? EntryOfChannelRow(k) : -1;
}

// The view-order entry on a line.
static int EntryOnLine(int line)
{
    return fChannelsShown ? viewOrder[line] : line;
}

static int IndexOfEntry(int entry)
{
    return entry >= 0 ? EntryOfTrackRow(entry) : EntryOfChannelRow(-1 - entry);
}

static int LineOfEntry(int entry)
{
    return entry >= 0 ? LineOfTrackRow(entry) : LineOfChannelRow(-1 - entry);
}

static RowState& StateOf(int entry)
{
    return rowState[IndexOfEntry(entry)];
}

static HWND EntryControl(int entry, int column)
{
    return entry >= 0 ? rowControls[column][entry] : chanRows[-1 - entry].hwnd[column];
}

static HWND LineControl(int line, int column)
{
    return EntryControl(EntryOnLine(line), column);
}

// Lines the view shows, the last one perhaps in part.
static int LinesInSight(void)
{
    return (chClient + ROW_PITCH - 1) / ROW_PITCH;
}

static bool LineInSight(int line)
{
    return line >= 0 && line >= nScrollPos && line < nScrollPos + LinesInSight();
}

static bool IsChecked(HWND hwnd)
{
    return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static bool IsOn(int entry)
{
    HWND hwnd = EntryControl(entry, COL_ON);
    return hwnd ? IsChecked(hwnd) : StateOf(entry).fOn;
}

static bool IsSolo(int entry)
{
    HWND hwnd = EntryControl(entry, COL_SOLO);
    return hwnd ? IsChecked(hwnd) : StateOf(entry).fSolo;
}

static void SetSoloMark(int entry, bool fSolo)
{
    StateOf(entry).fSolo = fSolo;
    if (HWND hwnd = EntryControl(entry, COL_SOLO))
        SendMessageA(hwnd, BM_SETCHECK, fSolo ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Whether a row's control can be used: a solo elsewhere disables the row but its Solo button,
// a fixed list is never enabled, and a track that is off grays its channel rows' On boxes.
static bool IsControlEnabled(int entry, int column)
{
    const RowState& st = StateOf(entry);
    switch (column) {
    case COL_SOLO:
        return true;
    case COL_ON:
        return !st.fSoloDisabled && (entry >= 0 || IsOn(chanRows[-1 - entry].row));
    case COL_INSTR:
        return !st.fSoloDisabled && !st.fInstrFixed;
    }
    return !st.fSoloDisabled;
}

static void ApplyEnabled(int entry)
{
    for (int column = 0; column < ROW_COLUMNS; column++)
        if (HWND hwnd = EntryControl(entry, column))
            EnableWindow(hwnd, IsControlEnabled(entry, column));
    StateOf(entry).fStale = false;
}

// Column and line of the row control a window belongs to (the control or a part of it).
static bool FindRowControl(HWND hwnd, int* column, int* line);

static bool HoldsFocus(int entry)
{
    int column, line;
    return FindRowControl(GetFocus(), &column, &line) && EntryOnLine(line) == entry;
}

// Enabled states are shown at once on the rows in sight (and the one with the focus); the
// rest are shown when they come into sight, so a solo costs what the view shows.
static void ShowEnabled(int entry)
{
    RowState& st = StateOf(entry);
    if (!st.fBuilt)
        return;
    if (LineInSight(LineOfEntry(entry)) || HoldsFocus(entry))
        ApplyEnabled(entry);
    else
        st.fStale = true;
}

// Place of a row's control in the pane. A hidden channel row, and a row beyond the lines the
// pane holds, wait above its top, out of sight.
static RowRect EntryControlRect(int entry, int column)
{
    int line = LineOfEntry(entry);
    int inPane = line - nPaneBase;
    if (line < 0 || inPane < 0 || inPane >= PANE_LINES)
        inPane = -20;
    return entry >= 0 ? RowControlRect(column, inPane) : ChannelRowControlRect(column, inPane);
}

// ---- Building the rows -----------------------------------------------------------------

static HWND CreateRowControl(HWND hwndPane, int column, int row, DWORD exStyle, const char* cls,
                             DWORD style, const char* title)
{
    RowRect rc = EntryControlRect(row, column);
    HWND hwnd = CreateWindowExA(exStyle, cls, title, style, rc.x, rc.y, rc.cx, rc.cy, hwndPane,
                                (HMENU)(INT_PTR)RowControlId(column, row), hInst, NULL);
    rowControls[column][row] = hwnd;
    return hwnd;
}

// Fills a box for an instrument code; a fixed single entry leaves it disabled.
static void FillInstrumentList(HWND hwndBox, int code)
{
    InstrumentList list = InstrumentListFor(code);
    if (list == INSTRLIST_PROGRAMS) {
        SendMessageA(hwndBox, CB_INITSTORAGE, 128, 128 * 24);
        for (int k = 0; k < 128; k++)
            SendMessageA(hwndBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)gmprogname[k]);
        SendMessageA(hwndBox, CB_SETCURSEL, (WPARAM)code, 0);
        return;
    }
    SendMessageA(hwndBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)FixedInstrumentEntry(list));
    EnableWindow(hwndBox, FALSE);
    SendMessageA(hwndBox, CB_SETCURSEL, 0, 0);
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

static bool FindRowControl(HWND hwnd, int* column, int* line)
{
    if (!hwndRows)
        return false;
    while (hwnd && GetParent(hwnd) != hwndRows)
        hwnd = GetParent(hwnd);
    if (!hwnd)
        return false;
    int id = GetDlgCtrlID(hwnd);
    *column = ControlColumnOfId(id);
    if (*column < 0 || *column >= ROW_COLUMNS)
        return false;
    if (IsChannelRowId(id)) {
        int k = ChannelRowOfId(id);
        *line = k < nChanRows ? LineOfChannelRow(k) : -1;
        return *line >= 0 && chanRows[k].hwnd[*column] == hwnd;
    }
    int row = RowOfId(id);
    *line = row < items ? LineOfTrackRow(row) : -1;
    return *line >= 0 && rowControls[*column][row] == hwnd;
}

// Asked of the rows' state, not of their controls: a row out of sight may have none yet.
static bool CanTakeFocus(int column, int line, void*)
{
    int entry = EntryOnLine(line);
    if (column == COL_NAME && entry < 0)
        return false;   // a channel row's label
    return IsControlEnabled(entry, column);
}

BOOL TranslateTrackViewKeys(const MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_TAB || items == 0 || !hwndRows)
        return FALSE;
    HWND hwndView = GetParent(hwndRows);
    int column = -1, line = -1;
    // From the main window or the view itself Tab enters the rows at their first control.
    if (msg->hwnd != hWndMain && msg->hwnd != hwndView && msg->hwnd != hwndRows &&
        !FindRowControl(msg->hwnd, &column, &line))
        return FALSE;
    if (column == COL_INSTR && SendMessageA(LineControl(line, COL_INSTR), CB_GETDROPPEDSTATE, 0, 0))
        return FALSE;   // an open list keeps its keys
    if (!IsWindowVisible(hwndRows))
        return TRUE;

    int nextColumn, nextLine;
    if (NextFocusTargetBy(column, line, GetKeyState(VK_SHIFT) < 0, GetTrackViewLineCount(), CanTakeFocus, nullptr,
                          &nextColumn, &nextLine)) {
        ShowTrackViewRow(nextLine);
        if (HWND target = LineControl(nextLine, nextColumn))
            SetFocus(target);
    }
    return TRUE;
}

// ---- Building the rows, continued --------------------------------------------------------

// Creates and sets up the six controls of one row; false as soon as one cannot be created.
static bool BuildRow(HWND hwndPane, int row)
{
    const RowState& st = StateOf(row);
    HWND hwnd = CreateRowControl(hwndPane, COL_ON, row, 0, "BUTTON",
                                 WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, NULL);
    if (!hwnd)
        return false;
    SendMessageA(hwnd, BM_SETCHECK, st.fOn ? BST_CHECKED : BST_UNCHECKED, 0);
    MarkFocusOf(hwnd);

    // A plain radio button never sets its own mark: the solo logic does.
    hwnd = CreateRowControl(hwndPane, COL_SOLO, row, 0, "BUTTON", WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON, NULL);
    if (!hwnd)
        return false;
    if (st.fSolo)
        SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    MarkFocusOf(hwnd);

    hwnd = CreateRowControl(hwndPane, COL_NAME, row, WS_EX_CLIENTEDGE, "EDIT",
                            WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, gettrackname(&MidiInfo, row));
    if (!hwnd)
        return false;
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwnd, EM_LIMITTEXT, 255, 0);

    hwnd = CreateRowControl(hwndPane, COL_INSTR, row, 0, "COMBOBOX",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST, NULL);
    if (!hwnd)
        return false;
    FillInstrumentList(hwnd, getinstr(&MidiInfo, row));
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwnd, CB_SETITEMHEIGHT, (WPARAM)-1, 14);

    hwnd = CreateRowControl(hwndPane, COL_VOL, row, 0, TRACKBAR_CLASSA,
                            WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getvol(&MidiInfo, row));

    hwnd = CreateRowControl(hwndPane, COL_BAL, row, 0, TRACKBAR_CLASSA,
                            WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getbal(&MidiInfo, row));
    return true;
}

static HWND CreateChannelRowControl(HWND hwndPane, int column, int k, DWORD exStyle, const char* cls,
                                    DWORD style, const char* title)
{
    RowRect rc = EntryControlRect(-1 - k, column);
    if (!fChannelsShown)
        style &= ~WS_VISIBLE;
    HWND hwnd = CreateWindowExA(exStyle, cls, title, style, rc.x, rc.y, rc.cx, rc.cy, hwndPane,
                                (HMENU)(INT_PTR)ChannelRowControlId(column, k), hInst, NULL);
    chanRows[k].hwnd[column] = hwnd;
    return hwnd;
}

// The controls of channel row k, as a track row's but with a label for the name.
static bool BuildChannelRow(HWND hwndPane, int k)
{
    ChannelRow& cr = chanRows[k];
    const RowState& st = StateOf(-1 - k);
    HWND hwnd = CreateChannelRowControl(hwndPane, COL_ON, k, 0, "BUTTON", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, NULL);
    if (!hwnd)
        return false;
    SendMessageA(hwnd, BM_SETCHECK, st.fOn ? BST_CHECKED : BST_UNCHECKED, 0);
    MarkFocusOf(hwnd);

    hwnd = CreateChannelRowControl(hwndPane, COL_SOLO, k, 0, "BUTTON", WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON, NULL);
    if (!hwnd)
        return false;
    if (st.fSolo)
        SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    MarkFocusOf(hwnd);

    char label[24];
    snprintf(label, sizeof label, "Channel %d", cr.channel + 1);
    hwnd = CreateChannelRowControl(hwndPane, COL_NAME, k, 0, "static", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, label);
    if (!hwnd)
        return false;
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);

    hwnd = CreateChannelRowControl(hwndPane, COL_INSTR, k, 0, "COMBOBOX",
                                   WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST, NULL);
    if (!hwnd)
        return false;
    FillInstrumentList(hwnd, getchannelinstr(&MidiInfo, cr.row, cr.channel));
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwnd, CB_SETITEMHEIGHT, (WPARAM)-1, 14);

    hwnd = CreateChannelRowControl(hwndPane, COL_VOL, k, 0, TRACKBAR_CLASSA, WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getchannelvol(&MidiInfo, cr.row, cr.channel));

    hwnd = CreateChannelRowControl(hwndPane, COL_BAL, k, 0, TRACKBAR_CLASSA, WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getchannelbal(&MidiInfo, cr.row, cr.channel));
    return true;
}

static bool DestroyWindows(HWND* hwnds)
{
    for (int column = 0; column < ROW_COLUMNS; column++) {
        HWND& hwnd = hwnds[column];
        if (hwnd && IsWindow(hwnd) && !DestroyWindow(hwnd))
            return false;
        hwnd = NULL;
    }
    return true;
}

// Destroys a row's controls and forgets them; false when one cannot be destroyed (the rest
// are kept).
static bool DestroyEntryWindows(int entry)
{
    if (entry < 0)
        return DestroyWindows(chanRows[-1 - entry].hwnd);
    HWND hwnds[ROW_COLUMNS];
    for (int column = 0; column < ROW_COLUMNS; column++)
        hwnds[column] = rowControls[column][entry];
    bool ok = DestroyWindows(hwnds);
    for (int column = 0; column < ROW_COLUMNS; column++)
        rowControls[column][entry] = hwnds[column];
    return ok;
}

// Makes a row's controls from its state; false when one cannot be made.
static bool BuildEntry(int entry)
{
    RowState& st = StateOf(entry);
    if (st.fBuilt)
        return true;
    if (!(entry >= 0 ? BuildRow(hwndRows, entry) : BuildChannelRow(hwndRows, -1 - entry))) {
        DestroyEntryWindows(entry);   // what was made goes, so a later try leaves nothing behind
        return false;
    }
    st.fBuilt = true;
    if (st.fSoloDisabled || (entry < 0 && !IsOn(chanRows[-1 - entry].row)))
        ApplyEnabled(entry);
    return true;
}

// Gives every line in sight its controls, and its enabled states where they changed out of
// sight; false when a control cannot be made.
static bool BuildLinesInSight(void)
{
    int lines = GetTrackViewLineCount();
    int last = nScrollPos + LinesInSight();
    // The first line always: the keyboard starts there, even in a view too low to show it.
    for (int line = nScrollPos > 0 ? nScrollPos : 0; line < lines && (line < last || line == 0); line++) {
        int entry = EntryOnLine(line);
        if (!BuildEntry(entry))
            return false;
        if (StateOf(entry).fStale)
            ApplyEnabled(entry);
    }
    return true;
}

static void MoveBuiltRows(void)
{
    int n = items + nChanRows;
    HDWP defer = BeginDeferWindowPos(ROW_COLUMNS * n);
    for (int f = 0; f < n; f++) {
        if (!rowState[f].fBuilt)
            continue;
        int entry = viewOrder[f];
        UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
        if (entry < 0)
            flags |= fChannelsShown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
        for (int column = 0; column < ROW_COLUMNS; column++) {
            HWND hwnd = EntryControl(entry, column);
            RowRect rc = EntryControlRect(entry, column);
            if (hwnd && defer)
                defer = DeferWindowPos(defer, hwnd, NULL, rc.x, rc.y, 0, 0, flags);
        }
    }
    if (defer)
        EndDeferWindowPos(defer);
}

void PlaceTrackViewRows(void)
{
    if (!hwndRows)
        return;
    int base = PaneBaseFor(nPaneBase, nScrollPos, LinesInSight(), GetTrackViewLineCount());
    if (base != nPaneBase) {
        nPaneBase = base;
        MoveBuiltRows();
    }
    SetWindowPos(hwndRows, NULL, 0, ROW_PITCH * (nPaneBase - nScrollPos), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    BuildLinesInSight();
}

static LARGE_INTEGER Now(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

bool BuildTrackViewRowsInBackground(void)
{
    LARGE_INTEGER freq, start = Now();
    QueryPerformanceFrequency(&freq);
    // A slice short enough that a click waiting behind it is not felt.
    LONGLONG slice = freq.QuadPart / 125;
    int n = items + nChanRows;
    while (nNextToBuild < n) {
        if (!BuildEntry(viewOrder[nNextToBuild]))
            return false;   // what could not be made is made when it comes into sight, or not at all
        nNextToBuild++;
        if (Now().QuadPart - start.QuadPart >= slice)
            break;
    }
    return nNextToBuild < n;
}


// Destroys the controls of rows 0..nRows-1 and of every channel row, in row order and, within
// a row, column order. Handles of controls already gone (destroyed with their parent) are
// only forgotten.
static bool DestroyRows(int nRows)
{
    for (int row = 0; row < nRows; row++)
        if (!DestroyEntryWindows(row))
            return false;
    for (int k = 0; k < nChanRows; k++)
        if (!DestroyEntryWindows(-1 - k))
            return false;
    nChanRows = 0;
    nPlannedRows = 0;
    return true;
}

// Lays out the rows of the song record: the channel rows there are, the view order, and each
// row's state as a load leaves it (on, no solo, everything enabled but a fixed list).
static void PlanRows(int nRows)
{
    nChanRows = 0;
    nSoloEntry = -1;
    nNextToBuild = 0;
    for (int row = 0; row < nRows; row++) {
        firstChanRow[row] = nChanRows;
        fTrackSwapped[row] = false;
        chanSwapped[row] = 0;
        int f = row + nChanRows;
        viewOrder[f] = row;
        rowState[f] = RowState{false, true, false, false, InstrumentListFor(getinstr(&MidiInfo, row)) != INSTRLIST_PROGRAMS, false};
        unsigned channels = getchannels(&MidiInfo, row);
        for (int ch = 0; ch < 16; ch++) {
            if (!(channels & (1u << ch)) || nChanRows >= MAX_CHANNEL_ROWS)
                continue;
            ChannelRow& cr = chanRows[nChanRows];
            cr.row = row;
            cr.channel = ch;
            for (HWND& h : cr.hwnd)
                h = NULL;
            f = row + 1 + nChanRows;
            viewOrder[f] = -1 - nChanRows;
            bool fixed = InstrumentListFor(getchannelinstr(&MidiInfo, row, ch)) != INSTRLIST_PROGRAMS;
            rowState[f] = RowState{false, true, false, false, fixed, false};
            nChanRows++;
        }
    }
    firstChanRow[nRows] = nChanRows;
    nPlannedRows = nRows;
}

// The pane's only work is to pass its controls' notifications on to the view.
static LRESULT CALLBACK TrackRowsWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_NOTIFY:
        return SendMessageA(GetParent(hwnd), msg, wParam, lParam);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static bool CreateRowPane(HWND hwndTrackView)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TrackRowsWndProc;
    wc.hInstance = hInst;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);   // as the view's own
    wc.lpszClassName = szRowPaneClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // Wide enough for any view; the view clips it.
    hwndRows = CreateWindowExA(0, szRowPaneClass, NULL, WS_CHILD | WS_VISIBLE, 0, 0, 4096, PANE_LINES * ROW_PITCH,
                               hwndTrackView, NULL, hInst, NULL);
    return hwndRows != NULL;
}

int InsertTrackViewItems(HWND hwndTrackView)
{
    ShowWindow(hwndTrackView, SW_HIDE);
    KillTimer(hwndTrackView, TRACKVIEW_BUILD_TIMER);
    if (!DestroyRows(nPlannedRows))
        return 0;
    items = 0;
    if (hwndRows && !IsWindow(hwndRows))
        hwndRows = NULL;
    if (!hwndRows && !CreateRowPane(hwndTrackView))
        return 0;

    int n = getnumtracks(&MidiInfo);
    if (n > MAX_ROWS)
        n = MAX_ROWS;
    PlanRows(n);
    items = n;
    nPaneBase = 0;
    ResetTrackViewScroll(hwndTrackView);
    SetWindowPos(hwndRows, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!BuildLinesInSight()) {
        // Rows of a failed build are not counted, so no later load would remove them.
        DestroyRows(n);
        items = 0;
        return 0;
    }
    if (items + nChanRows > 0)
        SetTimer(hwndTrackView, TRACKVIEW_BUILD_TIMER, 20, NULL);

    ShowWindow(hwndTrackView, SW_SHOWNORMAL);
    ShowWindow(hwndTrackViewSt, SW_SHOWNORMAL);
    InvalidateRect(hwndTrackViewSt, NULL, TRUE);
    // Ready for the keyboard: Tab goes on from here.
    if (n > 0 && hwndOn[0])
        SetFocus(hwndOn[0]);
    return 1;
}

// Shows or hides the channel rows; the rows below move up or down, and the row at the top of
// the view stays there (its track's row, when it was a channel row now hidden).
void ShowTrackViewChannels(HWND hwndTrackView, bool fShow)
{
    if (fShow == fChannelsShown)
        return;
    int topEntry = nScrollPos >= 0 && nScrollPos < GetTrackViewLineCount() ? EntryOnLine(nScrollPos) : 0;
    fChannelsShown = fShow;
    int topLine = topEntry >= 0 ? LineOfTrackRow(topEntry) : fShow ? EntryOfChannelRow(-1 - topEntry)
                                                                   : chanRows[-1 - topEntry].row;
    SetTrackViewTop(hwndTrackView, topLine);
    MoveBuiltRows();
    PlaceTrackViewRows();
    // A channel row's control that had the focus gives it to its track's On box.
    HWND focus = GetFocus();
    if (!fShow && focus && hwndRows && IsChild(hwndRows, focus)) {
        while (GetParent(focus) != hwndRows)
            focus = GetParent(focus);
        int id = GetDlgCtrlID(focus);
        if (IsChannelRowId(id) && ChannelRowOfId(id) < nChanRows) {
            int row = chanRows[ChannelRowOfId(id)].row;
            ShowTrackViewRow(LineOfTrackRow(row));
            if (hwndOn[row])
                SetFocus(hwndOn[row]);
        }
    }
    InvalidateRect(hwndTrackView, NULL, TRUE);
}

bool TrackViewChannelsShown(void)
{
    return fChannelsShown;
}

// ---- Reading back ----------------------------------------------------------------------

int GetRowName(int row, char* buf, int size)
{
    if (!buf || size <= 0)
        return 0;
    buf[0] = '\0';
    if (row < 0 || row >= items)
        return 0;
    if (!hwndName[row]) {
        // Not made yet, so not typed in: the song's own name.
        lstrcpynA(buf, gettrackname(&MidiInfo, row), size);
        return lstrlenA(buf);
    }

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
    fTrackSwapped[row] = !fTrackSwapped[row];
}

// Channels of track row `row` that the solo leaves audible.
static unsigned AudibleBySolo(int row)
{
    if (nSoloEntry < 0 || nSoloEntry == EntryOfTrackRow(row))
        return 0xFFFF;
    int entry = viewOrder[nSoloEntry];
    if (entry < 0 && chanRows[-1 - entry].row == row)
        return 1u << chanRows[-1 - entry].channel;
    return 0;
}

// Brings the notes of a track with channel rows in line with its row, its channel rows and
// the solo: the channels the track's own switch leaves wrong are swapped in one pass.
static void SyncChannels(int row)
{
    unsigned notes = getchannels(&MidiInfo, row);
    if (!notes || firstChanRow[row] == firstChanRow[row + 1])
        return;
    unsigned on = 0;
    for (int k = firstChanRow[row]; k < firstChanRow[row + 1]; k++)
        if (IsOn(-1 - k))
            on |= 1u << chanRows[k].channel;
    unsigned silenced = SilencedChannels(notes, IsOn(row), on, AudibleBySolo(row));
    unsigned wanted = silenced ^ (fTrackSwapped[row] ? notes : 0);
    bool whole;
    unsigned swap = ChannelsToSwap(notes, chanSwapped[row], wanted, &whole);
    if (swap)
        setchannelmute(pFileBuf, ChunkOfRow(row), (WORD)swap);
    chanSwapped[row] = wanted;
}

// A track that is off grays its channel rows' On boxes; they keep their marks.
static void EnableChannelOnBoxes(int row)
{
    for (int k = firstChanRow[row]; k < firstChanRow[row + 1]; k++)
        ShowEnabled(-1 - k);
}

// A row's controls but its Solo button, as a solo elsewhere leaves them.
static void EnableRowControls(int entry, bool fEnable)
{
    StateOf(entry).fSoloDisabled = !fEnable;
    ShowEnabled(entry);
}

// A click on the Solo button of view-order entry `clicked`: track rows and channel rows take
// part alike. The track rows' switches follow the plan; the channels then follow their tracks.
static void OnSoloClicked(int clicked)
{
    static SoloRow rows[MAX_VIEW_ROWS];
    static SoloPlan plan;
    int n = items + nChanRows;
    for (int f = 0; f < n; f++) {
        rows[f].fOn = IsOn(viewOrder[f]);
        rows[f].fSolo = IsSolo(viewOrder[f]);
    }
    PlanSolo(rows, n, clicked, &plan);

    SetSoloMark(viewOrder[clicked], plan.fClickedSolo);
    if (plan.nUnchecked >= 0)
        SetSoloMark(viewOrder[plan.nUnchecked], false);
    nSoloEntry = plan.fClickedSolo ? clicked : -1;
    for (int i = 0; i < plan.nSteps; i++) {
        const SoloStep& step = plan.steps[i];
        int entry = viewOrder[step.row];
        if (step.enable != ROW_KEEP)
            EnableRowControls(entry, step.enable == ROW_ENABLE);
        if (entry >= 0 && step.fToggle)
            ToggleTrack(entry);
    }
    for (int row = 0; row < items; row++)
        SyncChannels(row);
}

static void OnInstrumentChosen(int row, HWND hwndBox)
{
    if (StateOf(row).fInstrFixed)
        return;
    LRESULT sel = SendMessageA(hwndBox, CB_GETCURSEL, 0, 0);
    if (!IsApplicableValue((long)sel))
        return;
    MidiInfo.Track[ChunkOfRow(row)].bProgram = (BYTE)sel;
    settrack(pFileBuf, ChunkOfRow(row), EV_PROGRAM, (int)sel);
    mcimidiChange();
}

// A row without controls yet keeps its mark itself: what the box would do on a click.
static void FlipUnbuiltOnMark(int entry)
{
    if (!EntryControl(entry, COL_ON))
        StateOf(entry).fOn = !StateOf(entry).fOn;
}

static void OnChannelRowCommand(int k, int column, int code, HWND hwndCtl)
{
    if (k >= nChanRows)
        return;
    ChannelRow& cr = chanRows[k];
    switch (column) {
    case COL_ON:
        FlipUnbuiltOnMark(-1 - k);
        SyncChannels(cr.row);
        mcimidiChange();
        break;
    case COL_SOLO:
        OnSoloClicked(EntryOfChannelRow(k));
        mcimidiChange();
        break;
    case COL_INSTR:
        if (code == CBN_SELCHANGE && !StateOf(-1 - k).fInstrFixed) {
            LRESULT sel = SendMessageA(hwndCtl, CB_GETCURSEL, 0, 0);
            if (!IsApplicableValue((long)sel))
                return;
            setchannel(&pFileBuf, &MidiInfo, ChunkOfRow(cr.row), cr.channel, EV_PROGRAM, (int)sel);
            mcimidiChange();
        }
        break;
    }
}

void OnRowCommand(HWND, int id, int code, HWND hwndCtl)
{
    if (!pFileBuf)
        return;
    if (IsChannelRowId(id)) {
        OnChannelRowCommand(ChannelRowOfId(id), ControlColumnOfId(id), code, hwndCtl);
        return;
    }
    int row = RowOfId(id);
    if (row >= items)
        return;
    switch (ColumnOfId(id)) {
    case COL_ON:
        // The box flips its own mark; each message swaps the track between muted and not.
        FlipUnbuiltOnMark(row);
        ToggleTrack(row);
        SyncChannels(row);
        EnableChannelOnBoxes(row);
        mcimidiChange();
        break;
    case COL_SOLO:
        OnSoloClicked(EntryOfTrackRow(row));
        mcimidiChange();
        break;
    case COL_INSTR:
        if (code == CBN_SELCHANGE)
            OnInstrumentChosen(row, hwndCtl);
        break;
    }
}

static void OnChannelSlider(HWND hwndSlider, int pos)
{
    int id = GetDlgCtrlID(hwndSlider);
    int k = ChannelRowOfId(id);
    if (k >= nChanRows || chanRows[k].hwnd[ControlColumnOfId(id)] != hwndSlider)
        return;
    const ChannelRow& cr = chanRows[k];
    int column = ControlColumnOfId(id);
    if (column != COL_VOL && column != COL_BAL)
        return;
    setchannel(&pFileBuf, &MidiInfo, ChunkOfRow(cr.row), cr.channel, column == COL_VOL ? EV_VOLUME : EV_PAN, pos);
    mcimidiChange();
}

void OnRowSlider(HWND, int request, HWND hwndSlider)
{
    // Applied once per drag, click or key press, never while the thumb moves.
    if (request != TB_ENDTRACK || !hwndSlider || !pFileBuf)
        return;
    LRESULT pos = SendMessageA(hwndSlider, TBM_GETPOS, 0, 0);
    if (!IsApplicableValue((long)pos))
        return;
    if (IsChannelRowId(GetDlgCtrlID(hwndSlider))) {
        OnChannelSlider(hwndSlider, (int)pos);
        return;
    }
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
