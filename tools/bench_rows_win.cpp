// bench_rows_win: how fast the track view answers with many rows. Builds a song of TRACKS
// tracks (100 unless given) that each play on CHANNELS channels (4 unless given), so that
// every track gets its channel rows, and measures under the real window classes: building
// the rows in sight, a wheel notch onto rows not made yet, making the others, a Solo click
// on the first row and on the last channel row, Tab from the first control, a wheel notch
// over the view, and hiding and showing the channel rows. Prints one line per measurement,
// in ms.
//   wine bench_rows_win.exe [TRACKS [CHANNELS]]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ctrl/ctrl.h"
#include "ctrl/ctrl_logic.h"
#include "main/main.h"
#include "mmio/mmio.h"
#include "tests/smfbuild.h"

static double NowMs()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * (double)c.QuadPart / (double)f.QuadPart;
}

// Paints and whatever else is queued, so each measurement starts from a settled window.
static void Settle()
{
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

static int Quiet(HWND, const char*, const char*, UINT)
{
    return IDOK;
}

int main(int argc, char** argv)
{
    int tracks = argc > 1 ? atoi(argv[1]) : 100;
    int channels = argc > 2 ? atoi(argv[2]) : 4;
    if (tracks < 1 || tracks > MAX_TRACKS || channels < 1 || channels > 16) {
        fprintf(stderr, "usage: bench_rows_win [TRACKS 1-100 [CHANNELS 1-16]]\n");
        return 1;
    }
    SetReportProc(Quiet);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    hInst = GetModuleHandleA(NULL);
    hfont = CreateFontA(-8, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = hInst;
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = "BenchRowsParent";
    RegisterClassA(&wc);
    hWndMain = CreateWindowExA(0, "BenchRowsParent", "bench", WS_OVERLAPPEDWINDOW, 40, 30, 585, 417, NULL, NULL, hInst, NULL);
    hWndToolbar = CreateWindowExA(0, "static", "", WS_CHILD | WS_VISIBLE, 0, 0, 585, 30, hWndMain, NULL, hInst, NULL);
    HWND view = CreateTrackView(hInst, hWndMain);
    ShowWindow(hWndMain, SW_SHOWNOACTIVATE);

    smf::Bytes song = smf::PartsSong(tracks, channels).Bytes();
    pFileBuf = AllocFixed((DWORD)song.size() + 800);
    memcpy(pFileBuf, song.data(), song.size());
    dwFileBufSize = (DWORD)song.size();
    if (!readmidiinfo(pFileBuf, &MidiInfo))
        return 1;

    Settle();
    double t0 = NowMs();
    InsertTrackViewItems(view);
    double build = NowMs() - t0;
    printf("rows %d track rows, %d channel rows, %d controls\n", GetTrackViewRowCount(), GetChannelRowCount(),
           ROW_COLUMNS * (GetTrackViewRowCount() + GetChannelRowCount()));
    printf("open (build the rows in sight) %.1f ms\n", build);

    // Scrolling at once, before the background has made the rows below: each notch makes the
    // three lines it brings into sight.
    KillTimer(view, TRACKVIEW_BUILD_TIMER);
    RECT viewRect;
    GetWindowRect(view, &viewRect);
    MSG notch = {view, WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)(short)-WHEEL_DELTA),
                 MAKELPARAM(viewRect.left + 250, viewRect.top + 40), 0, {0, 0}};
    Settle();
    t0 = NowMs();
    for (int i = 0; i < 20; i++) {
        TranslateTrackViewWheel(&notch);
        Settle();
    }
    printf("wheel notch onto rows not made yet (mean of 20) %.2f ms\n", (NowMs() - t0) / 20);
    ShowTrackViewRow(0);

    // The rest are made in the background; what follows is measured with all of them made,
    // the most a view holds.
    t0 = NowMs();
    while (BuildTrackViewRowsInBackground())
        Settle();
    printf("the other rows, made in the background %.1f ms\n", NowMs() - t0);

    Settle();
    t0 = NowMs();
    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);
    printf("solo first track row %.1f ms\n", NowMs() - t0);
    Settle();
    t0 = NowMs();
    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);
    printf("release solo %.1f ms\n", NowMs() - t0);
    HWND lastSolo = GetChannelRowCount() ? GetChannelRowControl(GetChannelRowCount() - 1, COL_SOLO)
                                          : hwndOnly[GetTrackViewRowCount() - 1];
    ShowTrackViewRow(GetTrackViewLineCount() - 1);   // where a user would click it
    Settle();
    t0 = NowMs();
    SendMessageA(lastSolo, BM_CLICK, 0, 0);
    printf("solo last row %.1f ms\n", NowMs() - t0);
    SendMessageA(lastSolo, BM_CLICK, 0, 0);

    ShowTrackViewRow(0);
    SetFocus(hwndOn[0]);
    MSG tab = {hwndOn[0], WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    Settle();
    t0 = NowMs();
    for (int i = 0; i < 100; i++) {
        tab.hwnd = GetFocus();
        TranslateTrackViewKeys(&tab);
        Settle();
    }
    printf("tab (mean of 100) %.2f ms\n", (NowMs() - t0) / 100);

    RECT rc;
    GetWindowRect(view, &rc);
    MSG wheel = {view, WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)(short)-WHEEL_DELTA), MAKELPARAM(rc.left + 250, rc.top + 40), 0, {0, 0}};
    Settle();
    t0 = NowMs();
    for (int i = 0; i < 20; i++)
    {
        TranslateTrackViewWheel(&wheel);
        Settle();
    }
    printf("wheel notch (mean of 20) %.2f ms\n", (NowMs() - t0) / 20);

    Settle();
    t0 = NowMs();
    ShowTrackViewChannels(view, false);
    printf("hide channel rows %.1f ms\n", NowMs() - t0);
    Settle();
    t0 = NowMs();
    ShowTrackViewChannels(view, true);
    printf("show channel rows %.1f ms\n", NowMs() - t0);
    DestroyWindow(hWndMain);
    return 0;
}
