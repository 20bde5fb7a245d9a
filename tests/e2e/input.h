// Real input for the end-to-end tests: mouse buttons held and released, the wheel, keys with
// their modifiers, all through SendInput, so the player sees exactly what a user gives it.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <initializer_list>
#include "e2e/harness.h"

namespace e2e {

inline INPUT MouseInput(POINT screen, DWORD flags, DWORD data = 0)
{
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INPUT in;
    ZeroMemory(&in, sizeof in);
    in.type = INPUT_MOUSE;
    in.mi.dx = (screen.x * 65535 + sw / 2) / (sw - 1);
    in.mi.dy = (screen.y * 65535 + sh / 2) / (sh - 1);
    in.mi.mouseData = data;
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    return in;
}

inline bool MouseTo(POINT screen) { INPUT in = MouseInput(screen, 0); return SendInput(1, &in, sizeof in) == 1; }
inline bool MouseDown(POINT screen) { INPUT in = MouseInput(screen, MOUSEEVENTF_LEFTDOWN); return SendInput(1, &in, sizeof in) == 1; }
inline bool MouseUp(POINT screen) { INPUT in = MouseInput(screen, MOUSEEVENTF_LEFTUP); return SendInput(1, &in, sizeof in) == 1; }

// notches > 0 turns the wheel away from the user (up), < 0 towards the user (down).
inline bool Wheel(POINT screen, int notches)
{
    INPUT in = MouseInput(screen, MOUSEEVENTF_WHEEL, (DWORD)(notches * WHEEL_DELTA));
    return SendInput(1, &in, sizeof in) == 1;
}

inline INPUT KeyInput(WORD vk, bool up)
{
    INPUT in;
    ZeroMemory(&in, sizeof in);
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = (WORD)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN || vk == VK_PRIOR || vk == VK_NEXT ||
        vk == VK_HOME || vk == VK_END)
        in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    return in;
}

// One press and release of vk with the modifiers held around it.
inline bool PressKey(WORD vk, std::initializer_list<WORD> modifiers = {})
{
    INPUT in[8];
    int n = 0;
    for (WORD m : modifiers)
        in[n++] = KeyInput(m, false);
    in[n++] = KeyInput(vk, false);
    in[n++] = KeyInput(vk, true);
    for (auto it = modifiers.end(); it != modifiers.begin();)
        in[n++] = KeyInput(*--it, true);
    return SendInput((UINT)n, in, sizeof(INPUT)) == (UINT)n;
}

// A rectangle a control writes through a pointer (TBM_GETTHUMBRECT and the like), read from
// the player's own memory and given in screen coordinates.
inline bool RemoteRect(HANDLE process, HWND hwnd, UINT msg, RECT* screen)
{
    void* remote = VirtualAllocEx(process, NULL, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, msg, 0, (LPARAM)remote, SMTO_NORMAL, 5000, &result);
    bool ok = ReadProcessMemory(process, remote, screen, sizeof *screen, NULL) != 0;
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok && MapWindowPoints(hwnd, NULL, (POINT*)screen, 2) != 0 && screen->right > screen->left;
}

inline POINT Middle(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

}  // namespace e2e
