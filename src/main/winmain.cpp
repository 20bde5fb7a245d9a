// The program's entry: replace a running copy, make the main window, open a file named on
// the command line, and run the message loop.
#include "main/main.h"

#include "ctrl/ctrl.h"
#include "main/settings.h"
#include "mmio/mmio.h"
#include "sound/soundfonts.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    hInst = hInstance;
    if (!hPrevInstance && !InitApplication(hInstance))
        return 0;
    InitCommonControls();
    SelectSequencer();
    char remembered[MAX_PATH];
    if (RememberedSoundFont(remembered, sizeof remembered))
        PreferSoundFont(remembered);
    szFileName[0] = '\0';
    TakeCommandLine(lpCmdLine);
    sTmpName = gettmpname();
    LoadShortcuts(hInstance);
    if (!InitInstance(hInstance, nCmdShow))
        return 0;
    if (szFileName[0] != '\0')
        SendMessageA(hWndMain, WM_COMMAND, IDM_OPEN, CMDLINE_OPEN);

    MSG msg = {};
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (TranslateTrackViewWheel(&msg) || TranslateTrackViewKeys(&msg) || TranslateShortcut(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
