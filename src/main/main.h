// The application shell: start-up, the main window, commands and transport, the position
// slider and the time scale.
#pragma once

#include <windows.h>
#include "res/resource.h"

#define CMDLINE_OPEN 123   // lParam of the Open command sent for a file named at start-up
#define IDT_POSITION 1     // the 100 ms position timer

extern HINSTANCE hInst;
extern const char szClassName[];
extern char szTitle[260];
extern HWND hWndToolbar;
extern HWND hWndTimeTrack;
extern HWND hWndTimeCoord;
extern HWND hWndTime;
extern HFONT hfont;
extern WNDPROC lpfnDefTimeTrack;
extern WNDPROC lpfnDefTimeCoord;

BOOL InitApplication(HINSTANCE hInstance);
BOOL InitInstance(HINSTANCE hInstance, int nCmdShow);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TimeTrackWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TimeCoordWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
