// The writer: copies the image chunk by chunk, giving every listed track the name from its
// row, and saves the result in one atomic replace of the target file.
#include <cstring>
#include "mmio/decode.h"

#define MAX_NAME 255   // what a row's name box holds

namespace {

// What a chunk becomes in the saved file.
struct ChunkPlan {
    DWORD pos;          // chunk header in the image
    DWORD size;         // its event bytes
    int listed;
    const char* name;   // new name (listed tracks)
    DWORD nameLen;
    int hasName;        // the track has a name event, replaced in place
    DWORD lenAt;        // image offset of that event's length field
    DWORD textEnd;      // image offset just past its text
};

DWORD VarLenSize(DWORD v)
{
    DWORD n = 1;
    while (v >>= 7)
        ++n;
    return n;
}

BYTE* PutVarLen(BYTE* out, DWORD v)
{
    DWORD n = VarLenSize(v);
    for (DWORD i = n; i-- > 0;)
        *out++ = (BYTE)(((v >> (7 * i)) & 0x7F) | (i ? 0x80 : 0));
    return out;
}

// Finds the first name event of a track; the walk stops at the end of the track and at the
// first event that cannot be decoded (the track then counts as having none).
void FindNameEvent(const BYTE* image, int track, ChunkPlan* c)
{
    BYTE* running = SharedRunningStatus();
    BYTE status = TrackRunningStatus(track);
    const BYTE* p = image + c->pos + 8;
    const BYTE* stop = p + c->size;
    MIDIEVENT ev;
    while (p < stop && DecodeEventAt(p, stop, &status, &ev) == DECODE_OK) {
        p = ev.pNext;
        if (ev.bStatus != 0xFF)
            continue;
        if (ev.bMeta == 0x2F)
            break;
        if (ev.bMeta == 0x03) {
            c->hasName = 1;
            c->lenAt = (DWORD)(ev.pStatus + 2 - image);
            c->textEnd = (DWORD)(ev.pNext - image);
            break;
        }
    }
    *running = status;
}

}  // namespace

int writemidiinfo(const char* szFile, const BYTE* image, const MIDIINFO* info, const char* const* names)
{
    DWORD size = dwFileBufSize;
    if (!image || !info || size < 14)
        return 0;

    ChunkPlan plan[MAX_TRACKS];
    int chunks = info->wNumTracks < MAX_TRACKS ? info->wNumTracks : MAX_TRACKS;
    DWORD pos = 14, total = 14;
    int row = 0;
    for (int j = 0; j < chunks; ++j) {
        ChunkPlan* c = &plan[j];
        memset(c, 0, sizeof *c);
        if (size - pos < 8) {
            chunks = j;   // the image holds no more chunks: the rest is copied as it stands
            break;
        }
        c->pos = pos;
        c->size = info->Track[j].dwSize;
        if (c->size > size - pos - 8)
            c->size = size - pos - 8;
        DWORD grown = c->size;
        if (info->Track[j].bChannel != MI_NONE) {
            c->listed = 1;
            c->name = (names && names[row]) ? names[row] : info->Track[j].szName;
            c->nameLen = (DWORD)strnlen(c->name, MAX_NAME);
            ++row;
            FindNameEvent(image, j, c);
            DWORD event = VarLenSize(c->nameLen) + c->nameLen;
            if (c->hasName)
                grown = grown - (c->textEnd - c->lenAt) + event;
            else
                grown += 3 + event;   // delta 0, FF 03
        }
        total += 8 + grown;
        pos += 8 + c->size;
    }
    DWORD rest = size - pos;
    total += rest;

    BYTE* buf = AllocFixed(total);
    if (!buf) {
        Report(nullptr, "SaveBuff: GlobalAlloc failed!", nullptr, MB_OK);
        return 0;
    }
    BYTE* out = buf;
    memcpy(out, image, 14);
    out += 14;
    for (int j = 0; j < chunks; ++j) {
        const ChunkPlan* c = &plan[j];
        const BYTE* data = image + c->pos + 8;
        BYTE* header = out;
        memcpy(out, image + c->pos, 8);
        out += 8;
        if (!c->listed) {
            setdword(header + 4, c->size);
            memcpy(out, data, c->size);
            out += c->size;
            continue;
        }
        if (c->hasName) {
            DWORD head = c->lenAt - (c->pos + 8);
            memcpy(out, data, head);
            out += head;
        } else {
            const BYTE event[3] = {0x00, 0xFF, 0x03};
            memcpy(out, event, 3);
            out += 3;
        }
        out = PutVarLen(out, c->nameLen);
        memcpy(out, c->name, c->nameLen);
        out += c->nameLen;
        DWORD from = c->hasName ? c->textEnd : c->pos + 8;
        DWORD tail = c->pos + 8 + c->size - from;
        memcpy(out, image + from, tail);
        out += tail;
        setdword(header + 4, (DWORD)(out - header - 8));
    }
    memcpy(out, image + pos, rest);
    out += rest;

    int ok = ReplaceFileAtomically(szFile, buf, (DWORD)(out - buf));
    FreeFixed(buf);
    return ok;
}
