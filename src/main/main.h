// The application shell: start-up, the main window, commands and transport, the position
// slider and the time scale.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include "res/resource.h"

#define CMDLINE_OPEN 123   // lParam of the Open command sent for a file named at start-up
#define NAMED_OPEN   124   // lParam of the Open command for szFileName, opened without a dialog
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
// File > 1..4, the recent files (recent.cpp): read from the settings when the window is
// made, a song noted after each successful open, an entry opened.
void LoadRecentFiles(HWND hwnd);
void NoteRecentFile(HWND hwnd, const char* path);
LRESULT OnRecentFile(HWND hwnd, int index);

// Dropped files and keyboard shortcuts (input.cpp). A drop opens and plays the first file,
// unless a dialog or an export is under way.
LRESULT OnDropFiles(HWND hwnd, HDROP drop);
void LoadShortcuts(HINSTANCE hInstance);
// The message loop's filter for the shortcut keys. TRUE when the message was taken.
BOOL TranslateShortcut(MSG* msg);
// TRUE when a command that came from a shortcut key is taken here: refused while the
// command is grayed, or Loop Music toggled.
BOOL TakeShortcutCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);

// Labels the time scale for the song loaded now (the strip's text holds them too).
void UpdateTimeScale(void);
// Grays (or enables) every command that needs a loaded song, in the menu and on the toolbar.
void EnableSongCommands(HWND hwnd, BOOL enable);
// Play and Pause up and the mode stopped: for a play the sequencer refused.
void ShowTransportStopped(void);
