// A test parent window holding a real track view, songs loaded into the song record and
// file image, and the song layer's messages recorded instead of shown.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctrl/ctrl.h"
#include "ctrl/ctrl_logic.h"
#include "main/main.h"
#include "mmio/mmio.h"
#include "smfbuild.h"
#include "win/winutil.h"

namespace ctrltest {

struct Reported {
    std::string text, caption;
    UINT style;
};

inline std::vector<Reported>& Reports()
{
    static std::vector<Reported> list;
    return list;
}

inline int RecordReport(HWND, const char* text, const char* caption, UINT style)
{
    Reports().push_back({text ? text : "", caption ? caption : "", style});
    return IDOK;
}

// The parent window, its stand-in toolbar and the track view: made once per process, since
// the track view's class is registered once and destroying the view ends the message loop.
struct Stage {
    HWND hwndParent = NULL;
    HWND hwndView = NULL;
};

inline Stage& TheStage()
{
    static Stage stage;
    if (stage.hwndParent)
        return stage;

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    hInst = GetModuleHandleA(NULL);
    hfont = CreateFontA(-8, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = hInst;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = "CtrlTestParent";
    RegisterClassA(&wc);
    stage.hwndParent = CreateWindowExA(0, "CtrlTestParent", "Track view test", WS_OVERLAPPEDWINDOW,
                                       40, 30, 585, 417, NULL, NULL, hInst, NULL);
    hWndMain = stage.hwndParent;
    // Only the toolbar's height matters to the layout.
    hWndToolbar = CreateWindowExA(0, "static", "", WS_CHILD | WS_VISIBLE, 0, 0, 585, 30,
                                  stage.hwndParent, NULL, hInst, NULL);
    stage.hwndView = CreateTrackView(hInst, stage.hwndParent);
    ShowWindow(stage.hwndParent, SW_SHOWNOACTIVATE);
    SetReportProc(RecordReport);
    return stage;
}

// Loads bytes as the program does: a fixed image 800 bytes larger than the file, then the
// reader; returns the reader's result.
inline int LoadImage(const smf::Bytes& bytes)
{
    if (pFileBuf)
        FreeFixed(pFileBuf);
    pFileBuf = AllocFixed((DWORD)bytes.size() + 800);
    CopyMemory(pFileBuf, bytes.data(), bytes.size());
    dwFileBufSize = (DWORD)bytes.size();
    return readmidiinfo(pFileBuf, &MidiInfo);
}

inline smf::Bytes Image()
{
    return smf::Bytes(pFileBuf, pFileBuf + dwFileBufSize);
}

// Offset of the event data of chunk ordinal in an image.
inline size_t ChunkData(const smf::Bytes& image, int ordinal)
{
    size_t at = 14;
    for (int i = 0; i < ordinal; i++)
        at += 8 + ((size_t)image[at + 4] << 24 | (size_t)image[at + 5] << 16 |
                   (size_t)image[at + 6] << 8 | image[at + 7]);
    return at + 8;
}

inline std::string ComboText(HWND hwnd, int index)
{
    char buf[256] = "";
    LRESULT len = SendMessageA(hwnd, CB_GETLBTEXTLEN, index, 0);
    if (len < 0 || len >= (LRESULT)sizeof buf)
        return "?";
    SendMessageA(hwnd, CB_GETLBTEXT, index, (LPARAM)buf);
    return buf;
}

// A test of the rows in the shared track view: no song playing, channel rows shown, no
// report left over. Load puts a song in as Open does, then forgets what the load changed.
class TrackViewTest : public ::testing::Test {
protected:
    HWND view = NULL;

    void SetUp() override
    {
        view = TheStage().hwndView;
        ASSERT_NE(view, nullptr);
        nMode = MODE_STOP;
        if (!TrackViewChannelsShown())
            ShowTrackViewChannels(view, true);
        Reports().clear();
    }
    void Load(const smf::File& f)
    {
        ASSERT_EQ(LoadImage(f.Bytes()), 1);
        ASSERT_EQ(InsertTrackViewItems(view), 1);
        fMidiChange = 0;
        Reports().clear();
    }
};

// A child's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND hwnd)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), (POINT*)&rc, 2);
    return rc;
}

// A row control's rectangle in the track view's client coordinates, where the user sees it.
inline RECT RectInView(HWND hwnd)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(HWND_DESKTOP, TheStage().hwndView, (POINT*)&rc, 2);
    return rc;
}

inline int DirectChildren(HWND hwnd)
{
    int n = 0;
    for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        n++;
    return n;
}

inline bool Checked(HWND hwnd)
{
    return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace ctrltest
