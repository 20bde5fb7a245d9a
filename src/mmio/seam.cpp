// The song layer's seam: reports and fixed memory go to the platform unless a test or a
// tool has installed its own handler or allocation gate.
#include "mmio/seam.h"

static REPORTPROC reportProc;
static ALLOCGATE allocGate;
static int nWriteFailure;   // the write failure being reported, 0 when none

int Report(HWND owner, const char* text, const char* caption, UINT style)
{
    if (reportProc)
        return reportProc(owner, text, caption, style);
    return PlatformReport(owner, text, caption, style);
}

REPORTPROC SetReportProc(REPORTPROC proc)
{
    REPORTPROC old = reportProc;
    reportProc = proc;
    return old;
}

int ReportWriteFailure(int failure, const char* text)
{
    const int outer = nWriteFailure;
    nWriteFailure = failure;
    int answer = Report(nullptr, text, nullptr, MB_OK);
    nWriteFailure = outer;
    return answer;
}

int ReportedWriteFailure(void)
{
    return nWriteFailure;
}

BYTE* AllocFixed(DWORD size)
{
    if (allocGate && !allocGate(size))
        return nullptr;
    return PlatformAlloc(size ? size : 1);
}

void FreeFixed(BYTE* p)
{
    if (p)
        PlatformFree(p);
}

ALLOCGATE SetAllocGate(ALLOCGATE gate)
{
    ALLOCGATE old = allocGate;
    allocGate = gate;
    return old;
}
