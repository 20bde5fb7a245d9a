// The track view window: a fixed column header and, below it, the scrolling child window
// that holds the track rows. Sizing and scrolling live here; the rows are in rows.cpp.
#include <windows.h>
#include <commctrl.h>

#include "ctrl/ctrl.h"
#include "ctrl/ctrl_logic.h"
#include "main/main.h"
#include "mmio/mmio.h"

static_assert(SCROLL_LINEUP == SB_LINEUP && SCROLL_LINEDOWN == SB_LINEDOWN &&
              SCROLL_PAGEUP == SB_PAGEUP && SCROLL_PAGEDOWN == SB_PAGEDOWN &&
              SCROLL_THUMBPOSITION == SB_THUMBPOSITION && SCROLL_THUMBTRACK == SB_THUMBTRACK &&
              SCROLL_TOP == SB_TOP && SCROLL_BOTTOM == SB_BOTTOM && SCROLL_ENDSCROLL == SB_ENDSCROLL,
              "scroll requests keep the platform's numbers");

HWND hwndTrackViewSt;
int nScrollPos;
int nRange;
int nScroll;
WORD chClient;

static const char szTrackViewClass[] = "TrackView";
static HWND hwndTheView;   // the one track view, for the wheel's routing

// The header's text, as the platform reads it out; what it shows is painted title by title
// over the columns (PaintHeader), since spaces line up only in the font they were typed for.
static const char szTrackViewHeader[] =
    "On  Solo          Track Name                         Instrument"
    "                                Volume                              Balance";
static_assert(sizeof szTrackViewHeader - 1 == 138, "the header is one line of 138 characters");

static WNDPROC lpfnDefHeader;

// Paints the whole width every time: the static control would paint only behind its text,
// and lines of the old frame would stay after a resize.
static void PaintHeader(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HBRUSH brush = (HBRUSH)SendMessageA(GetParent(hwnd), WM_CTLCOLORSTATIC, (WPARAM)hdc, (LPARAM)hwnd);
    FillRect(hdc, &rc, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));

    // The view and the header share the same left frame, but the view's place is asked for,
    // not assumed.
    POINT viewOrigin = {0, 0};
    if (hwndTheView)
        MapWindowPoints(hwndTheView, hwnd, &viewOrigin, 1);
    HFONT old = (HFONT)SelectObject(hdc, hfont ? hfont : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
    for (int column = 0; column < ROW_COLUMNS; column++) {
        const char* title = ColumnTitle(column);
        TextOutA(hdc, ColumnTitleX(column, viewOrigin.x), 0, title, lstrlenA(title));
    }
    SelectObject(hdc, old);
    EndPaint(hwnd, &ps);
}

static LRESULT CALLBACK HeaderWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:      PaintHeader(hwnd); return 0;
    case WM_ERASEBKGND: return 1;   // the paint covers everything
    // The static control paints its text at once on these, over the titles.
    case WM_SETTEXT:
    case WM_ENABLE:
        CallWindowProcA(lpfnDefHeader, hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, NULL, FALSE);
        return msg == WM_SETTEXT ? TRUE : 0;
    }
    return CallWindowProcA(lpfnDefHeader, hwnd, msg, wParam, lParam);
}

HWND CreateTrackView(HINSTANCE hInstance, HWND hwndParent)
{
    SetRowNameSource(GetTrackViewRowCount, GetRowName);   // Save As writes the rows' names
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = TrackViewWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = NULL;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = szTrackViewClass;
    if (!RegisterClassA(&wc))
        return NULL;

    HWND hwndView = CreateWindowExA(0, szTrackViewClass, NULL, WS_CHILD | WS_DLGFRAME | WS_VSCROLL,
                                    0, 0, 0, 0, hwndParent, NULL, hInstance, NULL);
    hwndTrackViewSt = CreateWindowExA(0, "static", szTrackViewHeader,
                                      WS_CHILD | WS_DLGFRAME | SS_SIMPLE, 0, 0, 0, 20, hwndParent,
                                      (HMENU)(INT_PTR)-1, hInstance, NULL);
    hwndTheView = hwndView;
    if (!hwndView || !hwndTrackViewSt) {
        // A header without its view would only sit in the way; a view without its header is
        // left alone, since destroying it would end the program.
        if (!hwndView && hwndTrackViewSt) {
            DestroyWindow(hwndTrackViewSt);
            hwndTrackViewSt = NULL;
        }
        return NULL;
    }
    lpfnDefHeader = (WNDPROC)SetWindowLongPtrA(hwndTrackViewSt, GWLP_WNDPROC, (LONG_PTR)HeaderWndProc);
    SendMessageA(hwndTrackViewSt, WM_SETFONT, (WPARAM)hfont, TRUE);
    ResizeTrackView(hwndView, hwndParent);
    return hwndView;
}

static int WindowHeight(HWND hwnd)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    return rc.bottom - rc.top;
}

int ResizeTrackView(HWND hwndTrackView, HWND hwndParent)
{
    RECT client = {};
    GetClientRect(hwndParent, &client);
    int toolbarHeight = hWndToolbar ? WindowHeight(hWndToolbar) : 0;
    int headerHeight = WindowHeight(hwndTrackViewSt);
    int width = client.right - client.left;

    MoveWindow(hwndTrackViewSt, client.left, client.top + toolbarHeight, width, headerHeight, TRUE);
    headerHeight = WindowHeight(hwndTrackViewSt);
    MoveWindow(hwndTrackView, client.left, client.top + toolbarHeight + headerHeight, width,
               (client.bottom - client.top) - toolbarHeight - headerHeight, TRUE);
    InvalidateRect(hwndTrackViewSt, NULL, TRUE);
    return 1;
}

// The main window keeps its top-left corner; only its outer size changes.
static int SizeMainWindow(int cx, int cy)
{
    RECT rc = {};
    GetWindowRect(hWndMain, &rc);
    MoveWindow(hWndMain, rc.left, rc.top, cx, cy, TRUE);
    return 1;
}

// A maximized window already shows the whole list; resizing it would leave it marked
// maximized at a size that is not.
int ShowTrack(void)
{
    if (IsZoomed(hWndMain))
        return 1;
    return SizeMainWindow(585, 417);
}

// A maximized window is restored first: its edges lie off the screen, and a window sized
// while marked maximized would keep them there.
int HideTrack(void)
{
    if (IsZoomed(hWndMain))
        ShowWindow(hWndMain, SW_RESTORE);
    return SizeMainWindow(445, 95);
}

static void SetTrackViewScrollRange(HWND hwnd, int nVisible, BOOL fRedraw)
{
    nRange = ScrollRangeFor(GetTrackViewLineCount(), nVisible);
    // A range of -1 (no rows, not even one fits) shows as no range at all.
    SetScrollRange(hwnd, SB_VERT, 0, nRange > 0 ? nRange : 0, fRedraw);
}

static void ScrollTrackViewTo(HWND hwnd, int target);

// A view that grows shows as many rows as it can: no empty space under the last row while
// rows above are hidden, and no scroll bar when all fit.
static LRESULT OnTrackViewSize(HWND hwnd, LPARAM lParam)
{
    int oldVisible = WholeRows(chClient);
    chClient = HIWORD(lParam);
    int nVisible = WholeRows(chClient);
    int n = GetTrackViewLineCount();
    int target = ScrollPosAfterResize(nScrollPos, n, oldVisible, nVisible);
    nRange = ScrollRangeAfterResize(n, nVisible);
    SetScrollRange(hwnd, SB_VERT, 0, nRange > 0 ? nRange : 0, TRUE);
    ScrollTrackViewTo(hwnd, target);
    return 0;
}

static void ScrollTrackViewTo(HWND hwnd, int target)
{
    int oldPos = nScrollPos;
    nScrollPos = ClampScrollPos(target, nRange);
    nScroll = oldPos - nScrollPos;
    SetScrollPos(hwnd, SB_VERT, nScrollPos, TRUE);
    // The rows move as one pane: a positive step moves them down.
    PlaceTrackViewRows();
}

static LRESULT OnTrackViewScroll(HWND hwnd, WPARAM wParam)
{
    int target = 0;
    if (ScrollRequestTarget(LOWORD(wParam), HIWORD(wParam), nScrollPos, nRange, WholeRows(chClient), &target))
        ScrollTrackViewTo(hwnd, target);
    return 0;
}

void ShowTrackViewRow(int row)
{
    if (hwndTheView)
        ScrollTrackViewTo(hwndTheView, ScrollPosToShow(row, nScrollPos, WholeRows(chClient), nRange));
}

// ---- The mouse wheel -------------------------------------------------------------------

static int nWheelRemainder;    // part of a notch not yet scrolled

static bool IsInTrackView(HWND hwnd)
{
    return hwnd && hwndTheView && (hwnd == hwndTheView || IsChild(hwndTheView, hwnd));
}

// The row control a window belongs to (itself, or a part of it such as a list's edit).
static HWND RowControlOf(HWND hwnd)
{
    HWND pane = TrackViewRowPane();
    while (hwnd && GetParent(hwnd) != pane)
        hwnd = GetParent(hwnd);
    return hwnd;
}

static bool IsDroppedInstrumentList(HWND hwnd)
{
    HWND control = RowControlOf(hwnd);
    return control && ControlColumnOfId(GetDlgCtrlID(control)) == COL_INSTR &&
           SendMessageA(control, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

BOOL TranslateTrackViewWheel(const MSG* msg)
{
    if (msg->message != WM_MOUSEWHEEL || !hwndTheView)
        return FALSE;
    POINT pt = {(short)LOWORD(msg->lParam), (short)HIWORD(msg->lParam)};
    // The header is a static control, which lets hit tests through to the main window: the
    // places are compared, within the window that is under the pointer.
    HWND under = WindowFromPoint(pt);
    RECT view = {}, header = {};
    GetWindowRect(hwndTheView, &view);
    GetWindowRect(hwndTrackViewSt, &header);
    bool overView = IsWindowVisible(hwndTheView) && under &&
                    GetAncestor(under, GA_ROOT) == GetAncestor(hwndTheView, GA_ROOT) &&
                    (PtInRect(&view, pt) || PtInRect(&header, pt));
    bool forRow = IsInTrackView(msg->hwnd);
    bool dropped = forRow && msg->hwnd != hwndTheView && IsDroppedInstrumentList(msg->hwnd);
    switch (RouteWheel(overView, forRow, dropped)) {
    case WHEEL_DELIVER:
        return FALSE;
    case WHEEL_SCROLL_VIEW: {
        int rows = WheelRows((short)HIWORD(msg->wParam), &nWheelRemainder);
        if (rows != 0)
            ScrollTrackViewTo(hwndTheView, nScrollPos - rows);
        return TRUE;
    }
    case WHEEL_DROP:
        return TRUE;
    }
    return FALSE;
}

// Called by InsertTrackViewItems once the rows of a new song stand in the view.
void ResetTrackViewScroll(HWND hwnd)
{
    nScrollPos = 0;
    RECT rc = {};
    GetClientRect(hwnd, &rc);
    SetTrackViewScrollRange(hwnd, WholeRows(rc.bottom - rc.top), FALSE);
    SetScrollPos(hwnd, SB_VERT, 0, TRUE);
}

void SetTrackViewTop(HWND hwnd, int line)
{
    RECT rc = {};
    GetClientRect(hwnd, &rc);
    SetTrackViewScrollRange(hwnd, WholeRows(rc.bottom - rc.top), FALSE);
    nScrollPos = ClampScrollPos(line, nRange);
    SetScrollPos(hwnd, SB_VERT, nScrollPos, TRUE);
}

static LRESULT OnTrackViewTimer(HWND hwnd, WPARAM id)
{
    if (id == TRACKVIEW_BUILD_TIMER && !BuildTrackViewRowsInBackground())
        KillTimer(hwnd, TRACKVIEW_BUILD_TIMER);
    return 0;
}

LRESULT CALLBACK TrackViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        return OnTrackViewSize(hwnd, lParam);
    case WM_VSCROLL:
        return OnTrackViewScroll(hwnd, wParam);
    case WM_COMMAND:
        OnRowCommand(hwnd, LOWORD(wParam), HIWORD(wParam), (HWND)lParam);
        break;
    case WM_HSCROLL:
        OnRowSlider(hwnd, LOWORD(wParam), (HWND)lParam);
        break;
    case WM_TIMER:
        return OnTrackViewTimer(hwnd, wParam);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
