// Pure helpers of the main window: time text, slider mapping, time scale labels, the
// command-line name and the end-of-song test.
#include "main/shell_logic.h"
#include "mmio/song.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

// Products are taken in 64 bits: a long song times 200 (or times 5) would wrap in 32.

void FormatPlayTime(DWORD t, char* out, size_t size)
{
    uint64_t tenths = (uint64_t)t * 5 / 4;
    snprintf(out, size, "%u:%02u.%u", (unsigned)(t / 480), (unsigned)((t / 8) % 60), (unsigned)(tenths % 10));
}

int SliderFromPlayTime(DWORD t, DWORD dwFileSize)
{
    if (dwFileSize == 0)
        return -1;
    uint64_t p = (uint64_t)t * SLIDER_MAX / dwFileSize + 1;
    return p > SLIDER_MAX ? SLIDER_MAX : (int)p;
}

DWORD PlayPosFromSlider(int p, DWORD dwFileSize)
{
    if (p < 0)
        p = 0;
    if (p > SLIDER_MAX)
        p = SLIDER_MAX;
    return (DWORD)((uint64_t)p * dwFileSize / SLIDER_MAX);
}

int ScaleHasLabels(int fFileLoaded, int nTics)
{
    return fFileLoaded && nTics > 2;
}

void FormatScaleLabel(int i, int nTics, DWORD dwFileSize, char* out, size_t size)
{
    if (i < 0 || nTics <= 2) {
        snprintf(out, size, "0:00");
        return;
    }
    uint64_t s = ((uint64_t)i * dwFileSize / 10) / (unsigned)(nTics - 2);
    snprintf(out, size, "%u:%02u", (unsigned)(s / 60), (unsigned)(s % 60));
}

int ScaleLabelX(int i, int nTics, int chLeft, int chRight)
{
    if (nTics <= 1)
        return chLeft + 19;
    return chLeft + (chRight - chLeft - 10) * i / (nTics - 1) + 19;
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int CleanCommandLine(const char* tail, char* out, size_t size, size_t maxLen)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    if (!tail)
        return 1;

    size_t end = 0;
    while (tail[end] != '\0' && tail[end] != '\x10')
        end++;
    size_t begin = 0;
    while (begin < end && IsBlank(tail[begin]))
        begin++;
    while (end > begin && IsBlank(tail[end - 1]))
        end--;

    // A quoted name ends at its closing quote; anything after it is not part of the name.
    if (begin < end && tail[begin] == '"') {
        begin++;
        size_t close = begin;
        while (close < end && tail[close] != '"')
            close++;
        end = close;
        while (begin < end && IsBlank(tail[begin]))
            begin++;
        while (end > begin && IsBlank(tail[end - 1]))
            end--;
    }

    size_t len = end - begin;
    if (len > maxLen || len >= size)
        return 0;
    memcpy(out, tail + begin, len);
    out[len] = '\0';
    return 1;
}

int CountsAsEndOfSong(int nMode, DWORD wOutDeviceID, DWORD flag, DWORD notifyingDevice)
{
    const DWORD kNotifySuccessful = 0x0001;   // MCI_NOTIFY_SUCCESSFUL
    const DWORD kNotifyFailure = 0x0008;      // MCI_NOTIFY_FAILURE
    if (nMode != MODE_PLAY || wOutDeviceID == 0)
        return 0;
    if (flag != kNotifySuccessful && flag != kNotifyFailure)
        return 0;
    return notifyingDevice == wOutDeviceID;
}

const char* StartVolumeControl(EXECPROC exec, unsigned show)
{
    static const char* const programs[] = { "sndvol32.exe", "sndvol.exe" };
    for (const char* program : programs) {
        if (exec(program, show) > 31)
            return program;
    }
    return nullptr;
}
