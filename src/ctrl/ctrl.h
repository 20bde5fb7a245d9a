// The track view: the scrolling window of track rows under the toolbar.
#pragma once

#include <windows.h>

HWND CreateTrackView(HINSTANCE hInstance, HWND hwndParent);
int ResizeTrackView(HWND hwndTrackView, HWND hwndParent);
int ShowTrack(void);
int HideTrack(void);
int InsertTrackViewItems(HWND hwndTrackView);
LRESULT CALLBACK TrackViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The text of row's name box (what Save As writes as that track's name), at most
// size - 1 characters; returns its length, 0 for a row that does not exist.
int GetRowName(int row, char* buf, int size);
