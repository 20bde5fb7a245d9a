// The shell's handles that the track view reads as well: the instance, the one small font
// and the toolbar. They live apart from the rest of the shell so that the track view can
// link them without linking the window that creates it.
#include "main/main.h"

HINSTANCE hInst;
HWND hWndToolbar;
HFONT hfont;
