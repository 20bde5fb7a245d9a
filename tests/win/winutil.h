// Small window helpers shared by the Windows unit tests.
#pragma once

#include <windows.h>
#include <string>

inline std::string WindowText(HWND hwnd)
{
    char buf[600] = "";
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

inline std::string ClassOf(HWND hwnd)
{
    char buf[64] = "";
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

// player.exe is built beside the tests; its resources are read without running it.
inline HMODULE PlayerResources()
{
    static HMODULE module = [] {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
        std::string dir(path, n);
        dir = dir.substr(0, dir.find_last_of("\\/") + 1);
        return LoadLibraryExA((dir + "player.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    }();
    return module;
}
