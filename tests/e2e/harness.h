// Drives the real player.exe from another process, as a user would: starts it with a command
// line, sends commands and clicks, reads back what its windows show, and finds and dismisses
// every message box and dialog it raises so that no test can hang.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include "res/resource.h"
#include <set>
#include <string>
#include <vector>

namespace e2e {

typedef std::vector<unsigned char> Bytes;

// ---- Files ------------------------------------------------------------------------------

std::string ExeDir();                      // folder of this driver, with a trailing backslash
std::string SourcePath(const char* rel);   // a file of the source tree as a Windows path
std::string WorkDir();                     // a fresh folder for this run's files (trailing '\')
std::string WriteWorkFile(const std::string& name, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
std::set<std::string> PlaybackCopies();    // full names of the "gy*.tmp" files in the temp folder
std::string UnixPath(const std::string& windowsPath);
// Runs a host program (not a Windows one) through Wine; true when it started and ended
// within 10 s. Wine may report the end early: check the program's effect, not this.
bool RunHost(const std::string& commandLine);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// ---- Time -------------------------------------------------------------------------------

void Pause(DWORD ms);
// Tenths of a second shown by a time text "m:ss.t"; -1 when it is not one.
int TenthsOf(const std::string& timeText);

// ---- Dialogs and message boxes ----------------------------------------------------------

struct BoxInfo {
    HWND hwnd = NULL;
    std::string caption;
    std::string text;       // the message text; empty for dialogs without one
    bool icon = false;      // a message box icon is shown
    HWND owner = NULL;
};

std::string WindowText(HWND hwnd);
std::string ClassOf(HWND hwnd);

// The running player. Every wait is bounded; the destructor always ends the process.
class Player {
public:
    Player() = default;
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Starts player.exe with the given command-line tail and waits for its main window.
    bool Start(const std::string& tail, bool visibleWindow = true);
    // Only starts the process (for a start that is refused before any window exists).
    bool Launch(const std::string& tail);
    // The folder the player starts in (default: the driver's own).
    void SetStartFolder(const std::string& dir) { startFolder_ = dir; }
    // The program started (default: player.exe beside the driver).
    void SetProgram(const std::string& exe) { program_ = exe; }
    bool FindMain(DWORD ms, bool visible = true);
    // Exit command, wait; TerminateProcess as the last resort. Dismisses boxes on the way.
    bool Quit(DWORD ms = 8000);
    bool WaitExit(DWORD ms);
    bool Running() const;
    DWORD Pid() const { return pid_; }
    HANDLE Process() const { return process_; }

    HWND Main() const { return main_; }
    HWND Toolbar() const;
    HWND Slider() const;
    HWND TimeDisplay() const;
    HWND TimeScale() const;
    HWND Logo() const;
    HWND TrackView() const;
    HWND Header() const;
    HWND RowPane() const;                  // the track view's window that carries the rows
    HWND Row(int column, int row) const;   // control 100 x column + row of the track view

    std::string Title() const { return WindowText(main_); }
    std::string Time() const { return WindowText(TimeDisplay()); }
    RECT Rect() const;
    bool ButtonEnabled(int id) const;
    bool ButtonChecked(int id) const;
    int SliderPos() const;
    int Rows() const;                      // number of rows whose On box exists

    // Row controls read across the process boundary.
    bool Checked(HWND button) const;
    std::string ComboText(HWND combo, int index) const;   // entry text (UTF-16 under Wine)
    int ComboSel(HWND combo) const;
    int ComboCount(HWND combo) const;
    int TrackbarPos(HWND trackbar) const;

    // A command that opens no box: sent, and done when this returns.
    bool Command(int id);
    // A command that may open a modal box or dialog: posted.
    void PostCommand(int id);
    // Waits until the player has handled everything sent so far.
    bool Sync();

    // User actions on the window.
    bool ButtonCenter(int id, POINT* screen) const;   // middle of a toolbar button
    bool Hover(POINT screen);                 // the mouse pointer comes to rest there
    std::string Tooltip() const;              // text of the player's visible tooltip, or ""
    bool ClickToolbarButton(int id);          // a real click; toggles a check button
    bool ClickAt(POINT screen);               // a real click, queued to whatever is there
    bool SliderChannel(RECT* screen) const;   // where the position slider's thumb runs
    bool Click(HWND button);                  // BM_CLICK, handled when this returns
    bool SelectInstrument(int row, int program);
    bool SetTrackbarEnd(HWND trackbar, int pos);   // set, then the end of the user's action
    bool TrackbarKey(HWND trackbar, int vk);       // one key press on a trackbar
    bool Seek(int sliderPos);                      // take the position slider, move, release
    bool SetText(HWND hwnd, const std::string& text);

    // Visible top-level dialogs ("#32770") of the player: message boxes and file dialogs.
    std::vector<HWND> Dialogs() const;
    // Waits for a visible dialog not in 'known'; NULL on timeout.
    HWND WaitDialog(DWORD ms, const std::set<HWND>& known = std::set<HWND>()) const;
    // Waits for a message box and describes it (it stays open).
    bool WaitBox(BoxInfo* box, DWORD ms = 5000) const;
    BoxInfo Describe(HWND dialog) const;
    bool Dismiss(HWND dialog, int id = IDOK) const;   // and waits until it is gone
    int DismissAll() const;                          // closes every open dialog
    bool WaitGone(HWND hwnd, DWORD ms) const;
    // Presses Escape in a dialog the way a user would, on its focused control.
    bool PressEscape(HWND dialog) const;

    // File dialogs: types a name into the open/save dialog and confirms, or cancels.
    bool FillFileDialog(HWND dialog, const std::string& path) const;

private:
    HANDLE process_ = NULL;
    HANDLE thread_ = NULL;
    DWORD pid_ = 0;
    HWND main_ = NULL;
    std::string startFolder_;
    std::string program_;
};

// Started under the name of a program the player runs (the volume control), the driver
// only leaves a note "<its name> started" in its folder's file "started.txt" and exits.
extern const bool kStandIn;

// Waits until pred() holds or ms pass; true when it held.
template <class Pred>
bool WaitFor(Pred pred, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
}

}  // namespace e2e
