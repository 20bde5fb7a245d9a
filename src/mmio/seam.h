// What each platform supplies under the song layer's seam (seam_win.cpp, seam_posix.cpp).
#pragma once

#include "mmio/song.h"

int PlatformReport(HWND owner, const char* text, const char* caption, UINT style);
BYTE* PlatformAlloc(DWORD size);
void PlatformFree(BYTE* p);
