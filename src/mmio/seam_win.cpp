// The platform seam on Windows: reports are message boxes (unless a handler is installed),
// fixed memory is GlobalAlloc's.
#include "mmio/song.h"

static REPORTPROC reportProc;
static ALLOCGATE allocGate;

int Report(HWND owner, const char* text, const char* caption, UINT style)
{
    if (reportProc)
        return reportProc(owner, text, caption, style);
    return MessageBoxA(owner, text, caption, style);
}

REPORTPROC SetReportProc(REPORTPROC proc)
{
    REPORTPROC old = reportProc;
    reportProc = proc;
    return old;
}

BYTE* AllocFixed(DWORD size)
{
    if (allocGate && !allocGate(size))
        return nullptr;
    return (BYTE*)GlobalAlloc(GMEM_FIXED, size ? size : 1);
}

void FreeFixed(BYTE* p)
{
    if (p)
        GlobalFree((HGLOBAL)p);
}

ALLOCGATE SetAllocGate(ALLOCGATE gate)
{
    ALLOCGATE old = allocGate;
    allocGate = gate;
    return old;
}
