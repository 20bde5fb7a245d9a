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

// Rows built for the song now shown: the ones destroyed at the next load.
static int items;
// Instrument boxes built with a single fixed entry ("Standard Midi Drums" or "Mixed Music").
// They stay disabled whatever the solo does: their entry 0 is no program to apply.
static bool fInstrFixed[MAX_ROWS];

static HWND* const rowControls[ROW_COLUMNS] = {hwndOn, hwndOnly, hwndName, hwndInstr, hwndVol, hwndBal};

// One channel of a track on several channels. Its label takes the name box's column.
struct ChannelRow {
    int row;                    // the track's row
    int channel;                // 0..15
    HWND hwnd[ROW_COLUMNS];
    bool fInstrFixed;           // "Standard Midi Drums"
    bool fSoloDisabled;         // another row is solo
};
static ChannelRow chanRows[MAX_CHANNEL_ROWS];
static int nChanRows;
// Channel rows of track row r: firstChanRow[r] up to firstChanRow[r + 1].
static int firstChanRow[MAX_ROWS + 1];

// Every row of the song in view order, the channel rows shown or not: entry f is track row
// e when e >= 0, channel row -1 - e otherwise. Track row r stands at r + firstChanRow[r].
static int viewOrder[MAX_VIEW_ROWS];
static bool fChannelsShown = true;

// What of each track's notes stands swapped in the image: the track's own switch (its On box
// and the solo, exactly as a track without channel rows) and, on top of it, the channels the
// channel rows swap to make up the difference.
static bool fTrackSwapped[MAX_ROWS];
static unsigned chanSwapped[MAX_ROWS];
static int nSoloEntry = -1;   // view-order entry that is solo, or -1

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

static HWND EntryControl(int entry, int column)
{
    return entry >= 0 ? rowControls[column][entry] : chanRows[-1 - entry].hwnd[column];
}

static HWND LineControl(int line, int column)
{
    return EntryControl(EntryOnLine(line), column);
}

// ---- Building the rows -----------------------------------------------------------------

static HWND CreateRowControl(HWND hwndView, int column, int row, DWORD exStyle, const char* cls,
                             DWORD style, const char* title)
{
    RowRect rc = RowControlRect(column, LineOfTrackRow(row));
    HWND hwnd = CreateWindowExA(exStyle, cls, title, style, rc.x, rc.y, rc.cx, rc.cy, hwndView,
                                (HMENU)(INT_PTR)RowControlId(column, row), hInst, NULL);
    rowControls[column][row] = hwnd;
    return hwnd;
}

// Fills a box for an instrument code; true when it holds a single fixed entry.
static bool FillInstrumentList(HWND hwndBox, int code)
{
    InstrumentList list = InstrumentListFor(code);
    if (list == INSTRLIST_PROGRAMS) {
        SendMessageA(hwndBox, CB_INITSTORAGE, 128, 128 * 24);
        for (int k = 0; k < 128; k++)
            SendMessageA(hwndBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)gmprogname[k]);
        SendMessageA(hwndBox, CB_SETCURSEL, (WPARAM)code, 0);
        return false;
    }
    SendMessageA(hwndBox, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)FixedInstrumentEntry(list));
    EnableWindow(hwndBox, FALSE);
    SendMessageA(hwndBox, CB_SETCURSEL, 0, 0);
    return true;
}

static void FillInstrumentBox(HWND hwndBox, int row)
{
    fInstrFixed[row] = FillInstrumentList(hwndBox, getinstr(&MidiInfo, row));
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

// Column and line of the row control a window belongs to (the control or a part of it).
static bool FindRowControl(HWND hwnd, HWND hwndView, int* column, int* line)
{
    while (hwnd && GetParent(hwnd) != hwndView)
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

static bool CanTakeFocus(int column, int line, void*)
{
    if (column == COL_NAME && EntryOnLine(line) < 0)
        return false;   // a channel row's label
    HWND hwnd = LineControl(line, column);
    return hwnd && IsWindowEnabled(hwnd) && IsWindowVisible(hwnd);
}

BOOL TranslateTrackViewKeys(const MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_TAB || items == 0 || !hwndOn[0])
        return FALSE;
    HWND hwndView = GetParent(hwndOn[0]);
    int column = -1, line = -1;
    // From the main window or the view itself Tab enters the rows at their first control.
    if (msg->hwnd != hWndMain && msg->hwnd != hwndView && !FindRowControl(msg->hwnd, hwndView, &column, &line))
        return FALSE;
    if (column == COL_INSTR && SendMessageA(LineControl(line, COL_INSTR), CB_GETDROPPEDSTATE, 0, 0))
        return FALSE;   // an open list keeps its keys

    int nextColumn, nextLine;
    if (NextFocusTargetBy(column, line, GetKeyState(VK_SHIFT) < 0, GetTrackViewLineCount(), CanTakeFocus, nullptr,
                          &nextColumn, &nextLine)) {
        ShowTrackViewRow(nextLine);
        SetFocus(LineControl(nextLine, nextColumn));
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

static HWND CreateChannelRowControl(HWND hwndView, int column, int k, DWORD exStyle, const char* cls,
                                    DWORD style, const char* title)
{
    RowRect rc = ChannelRowControlRect(column, EntryOfChannelRow(k));
    if (!fChannelsShown)
        style &= ~WS_VISIBLE;
    HWND hwnd = CreateWindowExA(exStyle, cls, title, style, rc.x, rc.y, rc.cx, rc.cy, hwndView,
                                (HMENU)(INT_PTR)ChannelRowControlId(column, k), hInst, NULL);
    chanRows[k].hwnd[column] = hwnd;
    return hwnd;
}

// The controls of channel row k, as a track row's but with a label for the name.
static bool BuildChannelRow(HWND hwndView, int k)
{
    ChannelRow& cr = chanRows[k];
    HWND hwnd = CreateChannelRowControl(hwndView, COL_ON, k, 0, "BUTTON", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, NULL);
    if (!hwnd)
        return false;
    SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    MarkFocusOf(hwnd);

    hwnd = CreateChannelRowControl(hwndView, COL_SOLO, k, 0, "BUTTON", WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON, NULL);
    if (!hwnd)
        return false;
    MarkFocusOf(hwnd);

    char label[24];
    snprintf(label, sizeof label, "Channel %d", cr.channel + 1);
    hwnd = CreateChannelRowControl(hwndView, COL_NAME, k, 0, "static", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, label);
    if (!hwnd)
        return false;
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);

    hwnd = CreateChannelRowControl(hwndView, COL_INSTR, k, 0, "COMBOBOX",
                                   WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST, NULL);
    if (!hwnd)
        return false;
    cr.fInstrFixed = FillInstrumentList(hwnd, getchannelinstr(&MidiInfo, cr.row, cr.channel));
    SendMessageA(hwnd, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwnd, CB_SETITEMHEIGHT, (WPARAM)-1, 14);

    hwnd = CreateChannelRowControl(hwndView, COL_VOL, k, 0, TRACKBAR_CLASSA, WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
    if (!hwnd)
        return false;
    SetUpSlider(hwnd, getchannelvol(&MidiInfo, cr.row, cr.channel));

    hwnd = CreateChannelRowControl(hwndView, COL_BAL, k, 0, TRACKBAR_CLASSA, WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, "");
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

// Destroys the controls of rows 0..nRows-1 and of every channel row, in row order and, within
// a row, column order. Handles of controls already gone (destroyed with their parent) are
// only forgotten.
static bool DestroyRows(int nRows)
{
    for (int row = 0; row < nRows; row++) {
        HWND hwnds[ROW_COLUMNS];
        for (int column = 0; column < ROW_COLUMNS; column++)
            hwnds[column] = rowControls[column][row];
        bool ok = DestroyWindows(hwnds);
        for (int column = 0; column < ROW_COLUMNS; column++)
            rowControls[column][row] = hwnds[column];
        if (!ok)
            return false;
        fInstrFixed[row] = false;
    }
    for (int k = 0; k < nChanRows; k++)
        if (!DestroyWindows(chanRows[k].hwnd))
            return false;
    nChanRows = 0;
    return true;
}

// Lays out the channel rows of the song record: which there are, and the view order.
static void PlanChannelRows(int nRows)
{
    nChanRows = 0;
    nSoloEntry = -1;
    for (int row = 0; row < nRows; row++) {
        firstChanRow[row] = nChanRows;
        fTrackSwapped[row] = false;
        chanSwapped[row] = 0;
        viewOrder[row + nChanRows] = row;
        unsigned channels = getchannels(&MidiInfo, row);
        for (int ch = 0; ch < 16; ch++) {
            if (!(channels & (1u << ch)) || nChanRows >= MAX_CHANNEL_ROWS)
                continue;
            ChannelRow& cr = chanRows[nChanRows];
            cr.row = row;
            cr.channel = ch;
            cr.fInstrFixed = false;
            cr.fSoloDisabled = false;
            for (HWND& h : cr.hwnd)
                h = NULL;
            viewOrder[row + 1 + nChanRows] = -1 - nChanRows;
            nChanRows++;
        }
    }
    firstChanRow[nRows] = nChanRows;
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
    PlanChannelRows(n);
    for (int row = 0; row < n; row++) {
        bool built = BuildRow(hwndTrackView, row);
        for (int k = firstChanRow[row]; built && k < firstChanRow[row + 1]; k++)
            built = BuildChannelRow(hwndTrackView, k);
        if (!built) {
            // Rows of a failed build are not counted, so no later load would remove them.
            DestroyRows(row + 1);
            return 0;
        }
    }

    items = n;
    ResetTrackViewScroll(hwndTrackView);
    ShowWindow(hwndTrackView, SW_SHOWNORMAL);
    ShowWindow(hwndTrackViewSt, SW_SHOWNORMAL);
    InvalidateRect(hwndTrackViewSt, NULL, TRUE);
    // Ready for the keyboard: Tab goes on from here.
    if (n > 0)
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

    HDWP defer = BeginDeferWindowPos(ROW_COLUMNS * GetTrackViewLineCount());
    for (int row = 0; row < items; row++) {
        for (int column = 0; column < ROW_COLUMNS; column++) {
            RowRect rc = RowControlRect(column, LineOfTrackRow(row) - nScrollPos);
            if (defer)
                defer = DeferWindowPos(defer, rowControls[column][row], NULL, rc.x, rc.y, 0, 0,
                                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    for (int k = 0; k < nChanRows; k++) {
        for (int column = 0; column < ROW_COLUMNS; column++) {
            HWND hwnd = chanRows[k].hwnd[column];
            RowRect rc = ChannelRowControlRect(column, fShow ? EntryOfChannelRow(k) - nScrollPos : 0);
            UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (fShow ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
            if (defer)
                defer = DeferWindowPos(defer, hwnd, NULL, rc.x, rc.y, 0, 0, flags);
        }
    }
    if (defer)
        EndDeferWindowPos(defer);
    // A channel row's control that had the focus gives it to its track's On box.
    HWND focus = GetFocus();
    if (!fShow && focus && IsChild(hwndTrackView, focus)) {
        while (GetParent(focus) != hwndTrackView)
            focus = GetParent(focus);
        int id = GetDlgCtrlID(focus);
        if (IsChannelRowId(id) && ChannelRowOfId(id) < nChanRows)
            SetFocus(hwndOn[chanRows[ChannelRowOfId(id)].row]);
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
    fTrackSwapped[row] = !fTrackSwapped[row];
}

static bool IsChecked(HWND hwnd)
{
    return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
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
        if (IsChecked(chanRows[k].hwnd[COL_ON]))
            on |= 1u << chanRows[k].channel;
    unsigned silenced = SilencedChannels(notes, IsChecked(hwndOn[row]), on, AudibleBySolo(row));
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
    bool trackOn = IsChecked(hwndOn[row]);
    for (int k = firstChanRow[row]; k < firstChanRow[row + 1]; k++)
        EnableWindow(chanRows[k].hwnd[COL_ON], trackOn && !chanRows[k].fSoloDisabled);
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

static void EnableChannelRowControls(int k, bool fEnable)
{
    ChannelRow& cr = chanRows[k];
    cr.fSoloDisabled = !fEnable;
    EnableWindow(cr.hwnd[COL_ON], fEnable && IsChecked(hwndOn[cr.row]));
    EnableWindow(cr.hwnd[COL_NAME], fEnable);
    if (!cr.fInstrFixed)
        EnableWindow(cr.hwnd[COL_INSTR], fEnable);
    EnableWindow(cr.hwnd[COL_VOL], fEnable);
    EnableWindow(cr.hwnd[COL_BAL], fEnable);
}

// A click on the Solo button of view-order entry `clicked`: track rows and channel rows take
// part alike. The track rows' switches follow the plan; the channels then follow their tracks.
static void OnSoloClicked(int clicked)
{
    static SoloRow rows[MAX_VIEW_ROWS];
    static SoloPlan plan;
    int n = items + nChanRows;
    for (int f = 0; f < n; f++) {
        rows[f].fOn = IsChecked(EntryControl(viewOrder[f], COL_ON));
        rows[f].fSolo = IsChecked(EntryControl(viewOrder[f], COL_SOLO));
    }
    PlanSolo(rows, n, clicked, &plan);

    SendMessageA(EntryControl(viewOrder[clicked], COL_SOLO), BM_SETCHECK, plan.fClickedSolo ? BST_CHECKED : BST_UNCHECKED, 0);
    if (plan.nUnchecked >= 0)
        SendMessageA(EntryControl(viewOrder[plan.nUnchecked], COL_SOLO), BM_SETCHECK, BST_UNCHECKED, 0);
    nSoloEntry = plan.fClickedSolo ? clicked : -1;
    for (int i = 0; i < plan.nSteps; i++) {
        const SoloStep& step = plan.steps[i];
        int entry = viewOrder[step.row];
        if (entry >= 0) {
            if (step.enable != ROW_KEEP)
                EnableRowControls(entry, step.enable == ROW_ENABLE);
            if (step.fToggle)
                ToggleTrack(entry);
        } else if (step.enable != ROW_KEEP) {
            EnableChannelRowControls(-1 - entry, step.enable == ROW_ENABLE);
        }
    }
    for (int row = 0; row < items; row++)
        SyncChannels(row);
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

static void OnChannelRowCommand(int k, int column, int code, HWND hwndCtl)
{
    if (k >= nChanRows)
        return;
    ChannelRow& cr = chanRows[k];
    switch (column) {
    case COL_ON:
        SyncChannels(cr.row);
        mcimidiChange();
        break;
    case COL_SOLO:
        OnSoloClicked(EntryOfChannelRow(k));
        mcimidiChange();
        break;
    case COL_INSTR:
        if (code == CBN_SELCHANGE && !cr.fInstrFixed) {
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
