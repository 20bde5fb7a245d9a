// The main window: its class, its creation with every fixed child, sizing and shut-down.
#include "main/main.h"

#include <cstddef>
#include <cstring>

#include "ctrl/ctrl.h"
#include "mmio/mmio.h"

// The first version of the tool info record (TTTOOLINFOA_V1_SIZE), which every version of
// the common controls accepts; spelled out because the platform's macro is not constant.
constexpr UINT kToolInfoSize = offsetof(TOOLINFOA, lpszText) + sizeof(TOOLINFOA::lpszText);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TBBUTTON) == 20, "toolbar button record");
static_assert(kToolInfoSize == 40, "tool info record");
#endif

const char szClassName[] = "Player";
char szTitle[260];
HWND hWndTimeTrack;
HWND hWndTimeCoord;
HWND hWndTime;
WNDPROC lpfnDefTimeTrack;
WNDPROC lpfnDefTimeCoord;

static HWND hwndTrackView;
static HWND hwndLogo;
static HWND hWndTT;
static LOGFONTA lf;

#define IDC_TOOLBAR   1
#define IDC_TIMETRACK 10
#define IDC_STATIC_CHILD ((HMENU)(INT_PTR)-1)

const TBBUTTON tbButtons[NUM_TBBUTTONS] = {
    { 0, IDM_NEW, 0, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 1, IDM_OPEN, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 2, IDM_SAVEAS, 0, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 0, 0, 0, TBSTYLE_SEP, {0}, 0, 0 },
    { 7, IDM_ABOUT, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 0, 0, 0, TBSTYLE_SEP, {0}, 0, 0 },
    { 9, IDM_TRACKLIST, TBSTATE_CHECKED, TBSTYLE_CHECK, {0}, 0, 0 },
    { 11, IDM_CHANNELS, TBSTATE_ENABLED | TBSTATE_CHECKED, TBSTYLE_CHECK, {0}, 0, 0 },
    { 10, IDM_VOLUME, TBSTATE_ENABLED | TBSTATE_WRAP, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 3, IDM_STOP, 0, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 4, IDM_PLAY, 0, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 5, IDM_PAUSE, 0, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 0, 0, 0, TBSTYLE_SEP, {0}, 0, 0 },
    { 6, IDM_RECORD, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0 },
    { 0, 0, 0, TBSTYLE_SEP, {0}, 0, 0 },
    { 8, IDM_LOOP, 0, TBSTYLE_CHECK, {0}, 0, 0 },
};

BOOL InitApplication(HINSTANCE hInstance)
{
    // A new start replaces a running copy: the old one shuts down before this returns.
    HWND hwndRunning = FindWindowA(szClassName, NULL);
    if (hwndRunning)
        SendMessageA(hwndRunning, WM_COMMAND, IDM_EXIT, 0);

    WNDCLASSEXA wc;
    memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_PLAYER));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDM_MAINMENU);
    wc.lpszClassName = szClassName;
    wc.hIconSm = (HICON)LoadImageA(hInstance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    return LOWORD(RegisterClassExA(&wc));
}

BOOL InitInstance(HINSTANCE hInstance, int nCmdShow)
{
    hInst = hInstance;
    LoadStringA(hInstance, IDS_TITLE, szTitle, sizeof szTitle);
    HWND hwnd = CreateWindowExA(0, szClassName, szTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                445, 95, NULL, NULL, hInstance, NULL);
    if (!hwnd)
        return FALSE;
    hWndMain = hwnd;
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);
    return TRUE;
}

static void ReportCreationFailure(const char* text)
{
    MessageBoxA(NULL, text, NULL, MB_OK);
}

static int CreateSharedFont(void)
{
    if (!hfont) {
        memset(&lf, 0, sizeof lf);
        lf.lfHeight = -8;
        lstrcpynA(lf.lfFaceName, "MS Sans Serif", LF_FACESIZE);
        hfont = CreateFontIndirectA(&lf);
    }
    return hfont != NULL;
}

static HWND CreateToolbarChild(DWORD exStyle, const char* cls, const char* text, DWORD style, int x, int y,
                               int w, int h, HMENU id)
{
    return CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hWndToolbar, id, hInst, NULL);
}

// The slider, the time scale strip under it, the time display and the logo button stand
// on the toolbar, to the right of its buttons.
static void CreatePositionControls(void)
{
    hWndTimeTrack = CreateToolbarChild(0, TRACKBAR_CLASSA, "", TBS_AUTOTICKS | TBS_ENABLESELRANGE, 185, 1, 200, 31,
                                       (HMENU)(INT_PTR)IDC_TIMETRACK);
    hWndTimeCoord = CreateToolbarChild(0, "static", NULL, SS_SIMPLE, 185, 32, 205, 15, IDC_STATIC_CHILD);
    hWndTime = CreateToolbarChild(WS_EX_CLIENTEDGE, "static", "0:00.0", SS_CENTER, 137, 30, 47, 16, IDC_STATIC_CHILD);
    hwndLogo = CreateToolbarChild(0, "BUTTON", NULL, BS_ICON, 395, 5, 40, 40, (HMENU)(INT_PTR)IDM_ABOUT);
    SendMessageA(hWndTime, WM_SETFONT, (WPARAM)hfont, TRUE);
    SendMessageA(hwndLogo, BM_SETIMAGE, IMAGE_ICON, (LPARAM)LoadIconA(hInst, MAKEINTRESOURCEA(IDI_PLAYER)));
}

static void SetUpSlider(void)
{
    SendMessageA(hWndTimeTrack, TBM_SETRANGE, TRUE, MAKELPARAM(0, 200));
    SendMessageA(hWndTimeTrack, TBM_SETTICFREQ, 40, 0);
    SendMessageA(hWndTimeTrack, TBM_SETTHUMBLENGTH, 17, 0);
    SendMessageA(hWndTimeTrack, TBM_SETPOS, TRUE, 0);
    EnableWindow(hWndTimeTrack, FALSE);   // until the first song is loaded
}

static void SubclassPositionControls(void)
{
    if (hWndTimeTrack)
        lpfnDefTimeTrack = (WNDPROC)SetWindowLongPtrA(hWndTimeTrack, GWLP_WNDPROC, (LONG_PTR)TimeTrackWndProc);
    if (hWndTimeCoord)
        lpfnDefTimeCoord = (WNDPROC)SetWindowLongPtrA(hWndTimeCoord, GWLP_WNDPROC, (LONG_PTR)TimeCoordWndProc);
}

static void AddSliderTooltip(HWND hwnd)
{
    hWndTT = (HWND)SendMessageA(hWndToolbar, TB_GETTOOLTIPS, 0, 0);
    if (!hWndTT) {
        ReportCreationFailure("Could not get tooltip window handle.");
        return;
    }
    TOOLINFOA ti;
    memset(&ti, 0, sizeof ti);
    ti.cbSize = kToolInfoSize;
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = hwnd;
    ti.uId = (UINT_PTR)hWndTimeTrack;
    ti.hinst = hInst;
    ti.lpszText = MAKEINTRESOURCEA(IDS_POSITION);   // loaded by the tooltip control itself
    SendMessageA(hWndTT, TTM_ADDTOOLA, 0, (LPARAM)&ti);
}

// Each failure leaves the window with what was made before it; the window itself is
// created in every case.
static void CreateChildren(HWND hwnd)
{
    if (!CreateSharedFont())
        return;
    hWndToolbar = CreateToolbarEx(hwnd, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, IDC_TOOLBAR, 12, hInst, IDB_TOOLBAR,
                                  tbButtons, NUM_TBBUTTONS, 16, 16, 16, 16, sizeof(TBBUTTON));
    if (!hWndToolbar) {
        ReportCreationFailure("Tool not created!");
        return;
    }
    hwndTrackView = CreateTrackView(hInst, hwnd);
    if (!hwndTrackView) {
        ReportCreationFailure("View not created!");
        return;
    }

    nMode = MODE_STOP;
    fFileLoaded = 0;
    wOutDeviceID = 0;
    SetTimer(hwnd, IDT_POSITION, 100, NULL);
    CreatePositionControls();
    dwPlayPos = 0;
    SetUpSlider();
    SubclassPositionControls();
    AddSliderTooltip(hwnd);
}

static LRESULT OnCreate(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    CreateChildren(hwnd);
    EnableSongCommands(hwnd, FALSE);
    DragAcceptFiles(hwnd, TRUE);
    LoadRecentFiles(hwnd);
    return DefWindowProcA(hwnd, WM_CREATE, wParam, lParam);
}

static LRESULT OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if (hWndToolbar)
        SendMessageA(hWndToolbar, TB_AUTOSIZE, 0, 0);
    if (hwndTrackView)
        ResizeTrackView(hwndTrackView, hwnd);
    return DefWindowProcA(hwnd, WM_SIZE, wParam, lParam);
}

// The sequencer is closed before the playback copy is deleted: a platform that keeps the
// file open while its sequencer has it would refuse the deletion and leave the copy behind.
static void CloseSequencerForGood(void)
{
    if (wOutDeviceID != 0) {
        if (nMode == MODE_PLAY || nMode == MODE_PAUSE)
            mcimidiStop(wOutDeviceID);
        mcimidiClose(wOutDeviceID);
        wOutDeviceID = 0;
    }
    nMode = MODE_STOP;
}

static LRESULT OnDestroy(HWND hwnd)
{
    WinHelpA(hwnd, "Tarvel.HLP", HELP_QUIT, 0);
    KillTimer(hwnd, IDT_POSITION);
    if (hWndTimeTrack) {
        DestroyWindow(hWndTimeTrack);
        hWndTimeTrack = NULL;
    }
    CloseSequencerForGood();
    if (pFileBuf) {
        FreeFixed(pFileBuf);
        pFileBuf = NULL;
        dwFileBufSize = 0;
    }
    deltmp(sTmpName);
    if (hWndMain == hwnd)
        hWndMain = NULL;
    PostQuitMessage(0);
    return DefWindowProcA(hwnd, WM_DESTROY, 0, 0);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:     return OnCreate(hwnd, wParam, lParam);
    case WM_SIZE:       return OnSize(hwnd, wParam, lParam);
    case WM_COMMAND:    return TakeShortcutCommand(hwnd, wParam, lParam) ? 0 : OnCommand(hwnd, wParam, lParam, hwndTrackView);
    case WM_DROPFILES:  return OnDropFiles(hwnd, (HDROP)wParam);
    case WM_TIMER:      return OnTimerTick(hwnd);
    case MM_MCINOTIFY:  return OnSequencerNotify(hwnd, wParam, lParam);
    case WM_NOTIFY:     return OnNotify(hwnd, (NMHDR*)lParam);
    case WM_DESTROY:    return OnDestroy(hwnd);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
