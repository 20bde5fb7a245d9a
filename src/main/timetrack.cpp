// The position slider (hold, release and seek) and the time scale strip painted under it.
#include "main/main.h"

#include <cstdio>

#include "main/shell_logic.h"
#include "mmio/mmio.h"

static int pMode;   // the play mode saved while the user holds the slider

static void RelayToTooltip(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND hwndTT = (HWND)SendMessageA(hWndToolbar, TB_GETTOOLTIPS, 0, 0);
    if (!hwndTT)
        return;
    MSG m = {};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    SendMessageA(hwndTT, TTM_RELAYEVENT, 0, (LPARAM)&m);
}

// Only the first hold saves the mode: repeats of a held key, or a click while a key is
// held, would otherwise save "seek" itself, and the release could never leave it.
static void HoldSlider(void)
{
    if (nMode == MODE_SEEK)
        return;
    // The display keeps the position the song had when it was taken until the release:
    // while held, the tick shows dwPlayPos.
    if (nMode == MODE_PLAY)
        dwPlayPos = mcimidiPosition(wOutDeviceID);
    pMode = nMode;
    nMode = MODE_SEEK;
}

// The slider has already moved (it follows a drag; a key moves it on key-down) but its own
// procedure has not yet seen the release.
static void ReleaseSlider(void)
{
    // A release with no hold before it (a key pressed elsewhere and released here) has no
    // saved mode to restore: restoring a stale one would desert a running playback.
    if (nMode != MODE_SEEK)
        return;
    int p = (int)SendMessageA(hWndTimeTrack, TBM_GETPOS, 0, 0);
    dwPlayPos = PlayPosFromSlider(p, dwFileSize);
    SendMessageA(hWndMain, WM_TIMER, 0, 0);   // shows dwPlayPos: the mode is still "seek"
    nMode = pMode;
    if (pMode == MODE_PLAY && wOutDeviceID != 0) {
        if (mcimidiPlay(hWndMain, wOutDeviceID) != 0)
            ShowTransportStopped();
        else if (fMidiChange)
            mcimidiChange();   // an edit made while it started
    }
}

LRESULT CALLBACK TimeTrackWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_MOUSEMOVE:   RelayToTooltip(hwnd, msg, wParam, lParam); break;
    case WM_LBUTTONDOWN: HoldSlider(); break;
    case WM_KEYDOWN:     HoldSlider(); break;
    case WM_LBUTTONUP:
    case WM_KEYUP:       ReleaseSlider(); break;
    }
    return CallWindowProcA(lpfnDefTimeTrack, hwnd, msg, wParam, lParam);
}

// Labels m:ss under the slider's tick marks; the strip's left edge is the slider's, so
// x in the slider's channel is x in the strip.
static void PaintTimeScale(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HRGN hrgn = CreateRectRgnIndirect(&rc);
    SelectClipRgn(hdc, hrgn);
    FillRect(hdc, &rc, (HBRUSH)GetStockObject(LTGRAY_BRUSH));
    SelectClipRgn(hdc, NULL);
    DeleteObject(hrgn);

    HFONT hfOldFont = (HFONT)SelectObject(hdc, hfont);
    SetTextColor(hdc, RGB(0, 0, 0));
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_RIGHT);

    int n = (int)SendMessageA(hWndTimeTrack, TBM_GETNUMTICS, 0, 0);
    RECT ch = {};
    SendMessageA(hWndTimeTrack, TBM_GETCHANNELRECT, 0, (LPARAM)&ch);
    if (ScaleHasLabels(fFileLoaded, n)) {
        for (int i = 0; i < n; i++) {
            char text[16];
            FormatScaleLabel(i, n, dwFileSize, text, sizeof text);
            TextOutA(hdc, ScaleLabelX(i, n, ch.left, ch.right), 0, text, lstrlenA(text));
        }
    }
    SelectObject(hdc, hfOldFont);
    EndPaint(hwnd, &ps);
}

// The labels also become the strip's text, blank-separated, so that what it shows can be
// read back without its pixels.
void UpdateTimeScale(void)
{
    char labels[256];
    labels[0] = '\0';
    int n = (int)SendMessageA(hWndTimeTrack, TBM_GETNUMTICS, 0, 0);
    if (ScaleHasLabels(fFileLoaded, n)) {
        size_t used = 0;
        for (int i = 0; i < n && used + 1 < sizeof labels; i++) {
            char text[16];
            FormatScaleLabel(i, n, dwFileSize, text, sizeof text);
            int w = snprintf(labels + used, sizeof labels - used, i ? " %s" : "%s", text);
            if (w < 0)
                break;
            used += (size_t)w;
        }
    }
    SetWindowTextA(hWndTimeCoord, labels);
    InvalidateRect(hWndTimeCoord, NULL, TRUE);
}

LRESULT CALLBACK TimeCoordWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: PaintTimeScale(hwnd); return 0;
    // Only kept: the static control would paint the text itself, over the labels.
    case WM_SETTEXT: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    return CallWindowProcA(lpfnDefTimeCoord, hwnd, msg, wParam, lParam);
}
