// The event decoder itself, inline so the reader's single pass over a song costs no call per
// event. Everything else reaches it through DecodeEvent (event.cpp).
#pragma once

#include "mmio/song.h"

// Variable-length quantity of at most 4 bytes, never read at or past end.
inline int ReadVarLenAt(const BYTE*& p, const BYTE* end, DWORD* value)
{
    const BYTE* q = p;
    DWORD v = 0;
    for (int i = 0; i < 4; ++i) {
        if (q >= end)
            return 0;
        BYTE b = *q++;
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            *value = v;
            p = q;
            return 1;
        }
    }
    return 0;
}

inline int DecodeEventAt(const BYTE* p, const BYTE* end, BYTE* pRunning, MIDIEVENT* ev)
{
    ev->pStart = p;
    ev->pStatus = nullptr;
    ev->bStatus = 0;
    ev->bMeta = 0;
    ev->pData = nullptr;
    ev->cbData = 0;
    ev->pNext = end;

    // The delta-time: every byte with the high bit set, then one without.
    if (end - p < 2)
        return DECODE_TRUNCATED;   // not even a delta-time and a byte after it
    DWORD delta = *p++;
    if (delta & 0x80) {
        delta &= 0x7F;
        BYTE b;
        do {
            if (p >= end)
                return DECODE_TRUNCATED;
            b = *p++;
            delta = (delta << 7) | (b & 0x7F);
        } while (b & 0x80);
        if (p >= end)
            return DECODE_TRUNCATED;
    }
    ev->dwDelta = delta;

    BYTE s = *p;
    if (s & 0x80) {
        ev->pStatus = p++;
        if (s < 0xF0)
            *pRunning = s;   // only channel messages set up running status
    } else {
        s = *pRunning;
        if (s < 0x80 || s >= 0xF0) {
            // No status read yet: skip the stray data bytes up to the next status byte.
            do
                ++p;
            while (p < end && !(*p & 0x80));
            ev->pNext = p;
            return DECODE_BAD;
        }
    }
    ev->bStatus = s;

    if (s < 0xF0) {
        DWORD n = ((s & 0xE0) == 0xC0) ? 1 : 2;   // Cn and Dn carry one data byte
        if ((DWORD)(end - p) < n)
            return DECODE_TRUNCATED;
        ev->pData = p;
        ev->cbData = n;
        ev->pNext = p + n;
        return DECODE_OK;
    }
    if (s == 0xFF) {
        if (p >= end)
            return DECODE_TRUNCATED;
        ev->bMeta = *p++;
    } else if (s != 0xF0 && s != 0xF7) {
        ev->pNext = p;
        return DECODE_BAD;
    }
    DWORD len;
    if (!ReadVarLenAt(p, end, &len) || (DWORD)(end - p) < len)
        return DECODE_TRUNCATED;
    ev->pData = p;
    ev->cbData = len;
    ev->pNext = p + len;
    return DECODE_OK;
}
