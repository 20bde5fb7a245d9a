// The track view: the scrolling window of track rows under the toolbar.
#pragma once

#include <windows.h>

HWND CreateTrackView(HINSTANCE hInstance, HWND hwndParent);
int ResizeTrackView(HWND hwndTrackView, HWND hwndParent);
int ShowTrack(void);
int HideTrack(void);
int InsertTrackViewItems(HWND hwndTrackView);
LRESULT CALLBACK TrackViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The message loop's filter for the mouse wheel: over the track view it scrolls the rows, and
// a row control never takes it as an edit. TRUE when the message was taken.
BOOL TranslateTrackViewWheel(const MSG* msg);
// The message loop's filter for Tab and Shift+Tab: the focus moves through the row controls
// in reading order, and the view scrolls to keep it in sight. TRUE when the key was taken.
BOOL TranslateTrackViewKeys(const MSG* msg);
// Scrolls the view as little as it can so that line (a track row or a shown channel row,
// counted from the top of the list) is shown whole.
void ShowTrackViewRow(int line);
// Shows or hides the channel rows under the tracks that play on several channels (shown
// until hidden); the row at the top of the view stays at the top.
void ShowTrackViewChannels(HWND hwndTrackView, bool fShow);
bool TrackViewChannelsShown(void);

// The text of row's name box (what Save As writes as that track's name), at most
// size - 1 characters; returns its length, 0 for a row that does not exist.
int GetRowName(int row, char* buf, int size);

// ---- State of the track view and its rows (read by tests) ----------------------------

extern HWND hwndTrackViewSt;   // the header line above the rows
extern int nScrollPos;         // row shown at the top of the view
extern int nRange;             // highest scroll position
extern int nScroll;            // the last scroll step, in rows (old minus new)
extern WORD chClient;          // client height of the track view, pixels

extern HWND hwndOn[100];
extern HWND hwndOnly[100];
extern HWND hwndName[100];
extern HWND hwndInstr[100];
extern HWND hwndVol[100];
extern HWND hwndBal[100];

// Number of rows built for the song now shown.
int GetTrackViewRowCount(void);
// Number of channel rows built for it, shown or not, and a control of channel row k (counted
// over the whole song, in view order).
int GetChannelRowCount(void);
HWND GetChannelRowControl(int k, int column);
// Lines the view holds: the track rows and the shown channel rows.
int GetTrackViewLineCount(void);
// The window that carries the row controls (the view's one child, once a song was loaded);
// it scrolls as a whole.
HWND TrackViewRowPane(void);
// Puts the pane where the scroll position says and gives the lines now in sight their
// controls (rows get them when they first come into sight).
void PlaceTrackViewRows(void);
// Makes the controls of rows not yet in sight, for a slice of time; true while some are left.
// The view's timer TRACKVIEW_BUILD_TIMER calls it after a load until it is done.
bool BuildTrackViewRowsInBackground(void);
#define TRACKVIEW_BUILD_TIMER 7

// Puts line at the top of the view after the lines changed, with the scroll range of the
// lines there are now; the caller moves the rows.
void SetTrackViewTop(HWND hwndTrackView, int line);
// Back to the top, with the scroll range of the song now loaded (after building rows).
void ResetTrackViewScroll(HWND hwndTrackView);

// The row notifications of TrackViewWndProc (the rest of the procedure is sizing and
// scrolling).
void OnRowCommand(HWND hwnd, int id, int code, HWND hwndCtl);
void OnRowSlider(HWND hwnd, int request, HWND hwndSlider);
