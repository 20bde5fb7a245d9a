// The application shell: start-up, the main window, commands and transport, the position
// slider and the time scale.
#pragma once

#include <windows.h>
#include <commctrl.h>
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

// ---- Inside the shell ----------------------------------------------------------------

// The toolbar's buttons in toolbar order (two rows: the eighth wraps).
#define NUM_TBBUTTONS 16
extern const TBBUTTON tbButtons[NUM_TBBUTTONS];

// Takes the command-line tail as the file to open into szFileName (empty when none).
// A name the path buffers cannot hold is refused with a message; returns 0 then.
int TakeCommandLine(const char* lpCmdLine);

// Handlers of MainWndProc that live with the commands and the transport.
LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam, HWND hwndTrackView);
LRESULT OnTimerTick(HWND hwnd);
LRESULT OnSequencerNotify(HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT OnNotify(HWND hwnd, NMHDR* pnmh);
// Music > SoundFont... (soundfontcmd.cpp).
LRESULT OnSoundFont(HWND hwnd);

// File > Export Audio...: the song as it sounds now, rendered to a WAV file (export.cpp).
LRESULT OnExportAudio(HWND hwnd);
// Labels the time scale for the song loaded now (the strip's text holds them too).
void UpdateTimeScale(void);
// Grays (or enables) every command that needs a loaded song, in the menu and on the toolbar.
void EnableSongCommands(HWND hwnd, BOOL enable);
// Play and Pause up and the mode stopped: for a play the sequencer refused.
void ShowTransportStopped(void);
