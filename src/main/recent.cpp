// File > 1..4: the songs last opened, kept in the settings and listed above Exit.
#include "main/main.h"

#include <cstdio>

#include "main/settings.h"
#include "mmio/mmio.h"

#define RECENT_VALUE "Recent Files"
#define RECENT_MENU_CHARS 48   // a path's length in the menu

static char szRecent[RECENT_FILES][RECENT_CHARS];
static int nRecent;

static HMENU FileMenu(HWND hwnd)
{
    HMENU menu = GetMenu(hwnd);
    return menu ? GetSubMenu(menu, 0) : NULL;
}

// The list goes between a separator of its own and Exit.
static void ShowRecentFiles(HWND hwnd)
{
    HMENU file = FileMenu(hwnd);
    if (!file)
        return;
    DeleteMenu(file, IDM_RECENT_SEP, MF_BYCOMMAND);
    for (int i = 0; i < RECENT_FILES; ++i)
        DeleteMenu(file, IDM_RECENT1 + i, MF_BYCOMMAND);
    int exitAt = -1;
    for (int i = 0, n = GetMenuItemCount(file); i < n; ++i)
        if (GetMenuItemID(file, i) == IDM_EXIT)
            exitAt = i;
    if (exitAt < 0 || nRecent == 0)
        return;
    for (int i = 0; i < nRecent; ++i) {
        char text[RECENT_CHARS + 16];
        RecentMenuText(i, szRecent[i], RECENT_MENU_CHARS, text, sizeof text);
        InsertMenuA(file, exitAt + i, MF_BYPOSITION | MF_STRING, IDM_RECENT1 + i, text);
    }
    InsertMenuA(file, exitAt + nRecent, MF_BYPOSITION | MF_SEPARATOR, IDM_RECENT_SEP, NULL);
    DrawMenuBar(hwnd);
}

static void StoreRecentFiles(void)
{
    WriteSettingList(RECENT_VALUE, szRecent, nRecent);
}

void LoadRecentFiles(HWND hwnd)
{
    nRecent = ReadSettingList(RECENT_VALUE, szRecent, RECENT_FILES);
    if (nRecent < 0) {
        nRecent = 0;
        StoreRecentFiles();   // a damaged or unreadable list is replaced by an empty one
    }
    ShowRecentFiles(hwnd);
}

void NoteRecentFile(HWND hwnd, const char* path)
{
    AddRecentFile(szRecent, &nRecent, path);
    StoreRecentFiles();
    ShowRecentFiles(hwnd);
}

// Opens entry index as File > Open opens a file; one that is gone leaves the list once
// the open has reported it.
LRESULT OnRecentFile(HWND hwnd, int index)
{
    if (index < 0 || index >= nRecent)
        return 0;
    char path[RECENT_CHARS];
    lstrcpynA(path, szRecent[index], sizeof path);
    lstrcpynA(szFileName, path, sizeof szFileName);
    SendMessageA(hwnd, WM_COMMAND, IDM_OPEN, NAMED_OPEN);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        for (int i = 0; i < nRecent; ++i) {
            if (lstrcmpiA(szRecent[i], path) == 0) {
                RemoveRecentFile(szRecent, &nRecent, i);
                break;
            }
        }
        StoreRecentFiles();
        ShowRecentFiles(hwnd);
    }
    return 0;
}
