// The dialog procedure shared by the About box and the record notice, on a dialog of the
// same kind built in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "main/main.h"

namespace {

// A modal-frame dialog with one default OK button.
std::vector<WORD> OkDialogTemplate()
{
    std::vector<WORD> t(64, 0);
    DLGTEMPLATE* d = (DLGTEMPLATE*)t.data();
    d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d->cdit = 1;
    d->cx = 120;
    d->cy = 40;
    WORD* w = (WORD*)(d + 1);
    *w++ = 0;            // no menu
    *w++ = 0;            // the dialog class
    *w++ = L'T', *w++ = 0;
    w = (WORD*)(((UINT_PTR)w + 3) & ~(UINT_PTR)3);
    DLGITEMTEMPLATE* it = (DLGITEMTEMPLATE*)w;
    it->style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
    it->x = 70, it->y = 5, it->cx = 40, it->cy = 15;
    it->id = IDOK;
    w = (WORD*)(it + 1);
    *w++ = 0xFFFF, *w++ = 0x0080;   // button
    *w++ = L'O', *w++ = L'K', *w++ = 0;
    *w++ = 0;                        // no creation data
    return t;
}

// What the test does to the dialog once it is up: messages posted to the dialog itself or
// to its focused control.
struct Post {
    bool toFocus;
    UINT msg;
    WPARAM wParam;
};
std::vector<Post> g_posts;
HHOOK g_hook;

LRESULT CALLBACK OnActivate(int code, WPARAM wParam, LPARAM lParam)
{
    // Under Wine the hook hears of other processes' windows too: only this thread's dialog.
    if (code == HCBT_ACTIVATE && GetWindowThreadProcessId((HWND)wParam, nullptr) == GetCurrentThreadId()) {
        HWND dlg = (HWND)wParam;
        for (const Post& p : g_posts) {
            HWND target = p.toFocus ? GetDlgItem(dlg, IDOK) : dlg;
            PostMessageA(target, p.msg, p.wParam, 0);
        }
        g_posts.clear();
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

INT_PTR RunModal(std::vector<Post> posts)
{
    std::vector<WORD> t = OkDialogTemplate();
    g_posts = posts;
    g_hook = SetWindowsHookExA(WH_CBT, OnActivate, NULL, GetCurrentThreadId());
    INT_PTR r = DialogBoxIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)t.data(), NULL, AboutDlgProc, 0);
    UnhookWindowsHookEx(g_hook);
    return r;
}

TEST(AboutDlgProc, OkEnterEscapeAndTheCloseBoxEndTheDialogWithOne)
{
    EXPECT_EQ(RunModal({{false, WM_COMMAND, IDOK}}), 1);
    EXPECT_EQ(RunModal({{false, WM_COMMAND, IDCANCEL}}), 1);
    EXPECT_EQ(RunModal({{true, WM_KEYDOWN, VK_RETURN}}), 1);
    EXPECT_EQ(RunModal({{true, WM_KEYDOWN, VK_ESCAPE}}), 1);
    EXPECT_EQ(RunModal({{false, WM_CLOSE, 0}}), 1);
    EXPECT_EQ(RunModal({{false, WM_SYSCOMMAND, SC_CLOSE}}), 1);
}

TEST(AboutDlgProc, OnlyAWholeOkOrCancelCloses)
{
    std::vector<WORD> t = OkDialogTemplate();
    HWND dlg = CreateDialogIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)t.data(), NULL, AboutDlgProc, 0);
    ASSERT_TRUE(dlg);
    ShowWindow(dlg, SW_SHOWNOACTIVATE);
    // A notification in the high word is not a close request, and other commands are eaten.
    EXPECT_EQ(AboutDlgProc(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_DOUBLECLICKED), 0), TRUE);
    EXPECT_EQ(AboutDlgProc(dlg, WM_COMMAND, 1234, 0), TRUE);
    EXPECT_TRUE(IsWindowVisible(dlg)) << "the dialog was ended";
    EXPECT_EQ(AboutDlgProc(dlg, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(AboutDlgProc(dlg, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(AboutDlgProc(dlg, WM_COMMAND, IDCANCEL, 0), TRUE);
    EXPECT_FALSE(IsWindowVisible(dlg)) << "IDCANCEL did not end the dialog";
    DestroyWindow(dlg);
}

}  // namespace
