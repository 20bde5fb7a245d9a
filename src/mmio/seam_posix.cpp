// The platform under the seam natively: reports go to stderr, fixed memory is the C heap.
#include <cstdio>
#include <cstdlib>
#include "mmio/seam.h"

int PlatformReport(HWND, const char* text, const char* caption, UINT)
{
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    return 1;   // IDOK
}

BYTE* PlatformAlloc(DWORD size)
{
    return (BYTE*)malloc(size);
}

void PlatformFree(BYTE* p)
{
    free(p);
}
