// The one event decoder and the big-endian byte readers.
#include <cstring>
#include "mmio/decode.h"

// The running status shared by every walk over events (reader, editor, writer, getevent):
// it carries over between calls and tracks, as the song's own order of bytes would.
static BYTE type;

BYTE* SharedRunningStatus(void)
{
    return &type;
}

int DecodeEvent(const BYTE* p, const BYTE* end, BYTE* pRunning, MIDIEVENT* ev)
{
    return DecodeEventAt(p, end, pRunning, ev);
}

int ReadVarLen(const BYTE** pp, const BYTE* end, DWORD* value)
{
    return ReadVarLenAt(*pp, end, value);
}

int EventCode(const MIDIEVENT* ev, int* value)
{
    switch (ev->bStatus >> 4) {
    case 0x8:
        return EV_NOTEOFF;
    case 0x9:
        return EV_NOTEON;
    case 0xB:
        if (value)
            *value = ev->pData[1];
        if (ev->pData[0] == 7)
            return EV_VOLUME;
        if (ev->pData[0] == 10)
            return EV_PAN;
        return EV_OTHER;
    case 0xC:
        if (value)
            *value = ev->pData[0];
        return EV_PROGRAM;
    case 0xF:
        if (ev->bStatus == 0xFF && ev->bMeta == 0x03)
            return EV_NAME;
        if (ev->bStatus == 0xFF && ev->bMeta == 0x2F)
            return EV_END;
        return EV_OTHER;
    }
    return EV_OTHER;
}

int getevent(BYTE** cursor, BYTE* end, char* text, int* value, int* channel)
{
    BYTE* p = *cursor;
    MIDIEVENT ev;
    int r = DecodeEventAt(p, end, &type, &ev);
    if (text)
        text[0] = ev.pStatus ? 0 : 1;
    if (channel)
        *channel = ev.bStatus & 0x0F;
    *cursor = p + (ev.pNext - p);
    if (r == DECODE_TRUNCATED)
        return EV_CUT;
    if (r == DECODE_BAD)
        return EV_BAD;
    int code = EventCode(&ev, value);
    if (code == EV_NAME && text) {
        DWORD n = ev.cbData < 259 ? ev.cbData : 259;
        memcpy(text, ev.pData, n);
        text[n] = 0;
    }
    return code;
}

DWORD getbyte(const BYTE* p)
{
    return p ? p[0] : 0;
}

DWORD getword(const BYTE* p)
{
    return p ? ((DWORD)p[0] << 8) | p[1] : 0;
}

DWORD gettri(const BYTE* p)
{
    return p ? ((DWORD)p[0] << 16) | ((DWORD)p[1] << 8) | p[2] : 0;
}

DWORD getdword(const BYTE* p)
{
    return p ? ((DWORD)p[0] << 24) | ((DWORD)p[1] << 16) | ((DWORD)p[2] << 8) | p[3] : 0;
}

DWORD getlong(const BYTE* p)
{
    return getdword(p);
}

void setdword(BYTE* p, DWORD value)
{
    if (!p)
        return;
    p[0] = (BYTE)(value >> 24);
    p[1] = (BYTE)(value >> 16);
    p[2] = (BYTE)(value >> 8);
    p[3] = (BYTE)value;
}
