// The platform seam natively: reports go to stderr (or to an installed handler), fixed
// memory is the C heap.
#include <cstdio>
#include <cstdlib>
#include "mmio/song.h"

static REPORTPROC reportProc;
static ALLOCGATE allocGate;

int Report(HWND owner, const char* text, const char* caption, UINT style)
{
    if (reportProc)
        return reportProc(owner, text, caption, style);
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    return 1;   // IDOK
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
    return (BYTE*)malloc(size ? size : 1);
}

void FreeFixed(BYTE* p)
{
    free(p);
}

ALLOCGATE SetAllocGate(ALLOCGATE gate)
{
    ALLOCGATE old = allocGate;
    allocGate = gate;
    return old;
}
