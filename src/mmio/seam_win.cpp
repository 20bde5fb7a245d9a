// The platform under the seam on Windows: reports are message boxes, fixed memory is
// GlobalAlloc's.
#include "mmio/seam.h"

int PlatformReport(HWND owner, const char* text, const char* caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

BYTE* PlatformAlloc(DWORD size)
{
    return (BYTE*)GlobalAlloc(GMEM_FIXED, size);
}

void PlatformFree(BYTE* p)
{
    GlobalFree((HGLOBAL)p);
}
