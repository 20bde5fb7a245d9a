// The real main window made in this test process from player.exe's resources, on the
// program's own sequencer (silent, real clock). Message boxes are recorded and dismissed.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ctrl/ctrl.h"
#include "main/main.h"
#include "mmio/mmio.h"
#include "smfbuild.h"
#include "win/winutil.h"

namespace shelltest {

struct Box {
    std::string text, caption;
};

inline std::vector<Box>& Boxes()
{
    static std::vector<Box> boxes;
    return boxes;
}

// Boxes of the song layer and the sequencer pass through its report seam.
inline int RecordReport(HWND, const char* text, const char* caption, UINT)
{
    Boxes().push_back({text ? text : "", caption ? caption : ""});
    return IDOK;
}

// Boxes the shell shows itself: read when they come up, then dismissed.
inline HHOOK& BoxHook()
{
    static HHOOK hook;
    return hook;
}

// A box is activated again whenever another program's window took the focus meanwhile:
// each box is read once.
inline std::vector<HWND>& BoxesSeen()
{
    static std::vector<HWND> seen;
    return seen;
}

inline LRESULT CALLBACK OnBoxActivate(int code, WPARAM wParam, LPARAM lParam)
{
    HWND box = (HWND)wParam;
    std::vector<HWND>& seen = BoxesSeen();
    // Under Wine the hook hears of other processes' windows too (a test beside this one
    // showing its own box): only this thread's own are answered.
    if (code == HCBT_ACTIVATE && ClassOf(box) == "#32770" &&
        GetWindowThreadProcessId(box, nullptr) == GetCurrentThreadId() &&
        std::find(seen.begin(), seen.end(), box) == seen.end()) {
        seen.push_back(box);
        HWND text = GetDlgItem(box, 0xFFFF);
        Boxes().push_back({text ? WindowText(text) : "", WindowText(box)});
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    if (code == HCBT_DESTROYWND)
        seen.erase(std::remove(seen.begin(), seen.end(), box), seen.end());
    return CallNextHookEx(BoxHook(), code, wParam, lParam);
}

// Handles whatever is queued (timer ticks, notifications) for about ms milliseconds.
inline void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

inline std::string TempDir()
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return dir;
}

inline std::string WriteSong(const std::string& name, const smf::Bytes& bytes)
{
    std::string path = TempDir() + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(h);
    return path;
}

inline smf::Bytes ReadFileBytes(const std::string& path)
{
    smf::Bytes out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    DWORD size = GetFileSize(h, NULL), got = 0;
    out.resize(size);
    if (size)
        ReadFile(h, out.data(), size, &got, NULL);
    out.resize(got);
    CloseHandle(h);
    return out;
}

// A song of `quarters` quarter notes at 120 beats a minute (half a second each), with one
// listed track per name.
inline smf::Bytes Song(int quarters, std::vector<std::string> names)
{
    smf::File file(1, 96);
    file.Add(smf::Track().Tempo(0, 500000).End());
    int ch = 0;
    for (const std::string& name : names) {
        smf::Track t;
        t.Name(0, name).Program(0, ch, 10 + ch);
        for (int q = 0; q < quarters; q++)
            t.NoteOn(0, ch, 60 + ch, 90).NoteOff(96, ch, 60 + ch, 0);
        file.Add(t.End());
        ch++;
    }
    return file.Bytes();
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PlayerResources()) << "player.exe must be built beside the test (target player)";
        Boxes().clear();
        SetReportProc(RecordReport);
        BoxHook() = SetWindowsHookExA(WH_CBT, OnBoxActivate, NULL, GetCurrentThreadId());
        InitCommonControls();
        UseOwnSequencer();
        szFileName[0] = '\0';
        sTmpName = gettmpname();
        ASSERT_TRUE(InitApplication(PlayerResources()));
        ASSERT_TRUE(InitInstance(PlayerResources(), SW_SHOWNOACTIVATE));
        ASSERT_TRUE(hWndMain);
        tmpName = sTmpName ? sTmpName : "";
    }

    void TearDown() override
    {
        if (hWndMain && IsWindow(hWndMain))
            DestroyWindow(hWndMain);
        Pump(0);
        if (!tmpName.empty())
            DeleteFileA(tmpName.c_str());
        UnhookWindowsHookEx(BoxHook());
        SetReportProc(nullptr);
    }

    // Opens a file as a name given on the command line does: loaded, then played.
    void OpenFromCommandLine(const std::string& path)
    {
        ASSERT_TRUE(TakeCommandLine(("\"" + path + "\"").c_str()));
        SendMessageA(hWndMain, WM_COMMAND, IDM_OPEN, CMDLINE_OPEN);
    }

    bool Checked(int id) { return SendMessageA(hWndToolbar, TB_ISBUTTONCHECKED, id, 0) != 0; }
    bool Enabled(int id) { return SendMessageA(hWndToolbar, TB_ISBUTTONENABLED, id, 0) != 0; }
    int SliderPos() { return (int)SendMessageA(hWndTimeTrack, TBM_GETPOS, 0, 0); }
    std::string Time() { return WindowText(hWndTime); }
    void Command(int id) { SendMessageA(hWndMain, WM_COMMAND, id, 0); }
    SIZE OuterSize()
    {
        RECT r;
        GetWindowRect(hWndMain, &r);
        return {r.right - r.left, r.bottom - r.top};
    }

    std::string tmpName;
};

}  // namespace shelltest
