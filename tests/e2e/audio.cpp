#include "e2e/audio.h"

#include <cstdio>
#include <vector>

namespace e2e {

namespace {

std::string Env(const char* name)
{
    char buf[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? buf : "";
}

// The source tree's host path (TEST_DATA_DIR is its tests/data).
std::string HostRoot()
{
    std::string data = TEST_DATA_DIR;
    return data.substr(0, data.rfind("/tests/data"));
}

// Wine may report a host program's start as failed, or its end early, though it runs: the
// callers wait for its effect instead.
void RunRecorderScript(const std::string& args)
{
    RunHost("/bin/bash " + HostRoot() + "/scripts/audio-record.sh " + args);
}

DWORD FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a))
        return 0;
    return a.nFileSizeLow;
}

}  // namespace

std::string AudioUnavailable()
{
    if (Env("PLAYER_AUDIO_SINK").empty() || Env("XDG_RUNTIME_DIR").empty())
        return "no private sound server (PulseAudio not installed, or the tests were run without "
               "scripts/audio-server.sh): the audio checks are skipped";
    if (waveOutGetNumDevs() == 0)
        return "Wine has no wave output device: the audio checks are skipped";
    return "";
}

Recorder::Recorder()
{
    static int count = 0;
    char name[64];
    snprintf(name, sizeof name, "take-%d.raw", ++count);
    raw_ = WorkDir() + name;
}

Recorder::~Recorder()
{
    if (running_)
        Stop(3000);
    for (const char* ext : {"", ".pid", ".done", ".log"})
        DeleteFileA((raw_ + ext).c_str());
}

bool Recorder::Start(DWORD ms)
{
    std::string unixRaw = UnixPath(raw_);
    if (unixRaw.empty())
        return false;
    RunRecorderScript("start " + Env("XDG_RUNTIME_DIR") + " " + Env("PLAYER_AUDIO_SINK") + " " + unixRaw);
    running_ = true;
    if (!WaitFor([&] { return FileSize(raw_) >= 4 * 441; }, ms))
        return false;
    // A short mark through this process's own wave output: it reaches the recording by the
    // same path and with the same delay as the player's sound, so it places the recording
    // on the clock the test reads far better than the recorder's end does.
    audio::Stereo mark = audio::SilenceOf(0.12);
    audio::AddTone(mark, kMarkHz, 0.25, 0.0, 0.06);
    markTick_ = GetTickCount();
    marked_ = PlayThroughWaveOut(mark);
    // The mark's edges reach every pitch a little: let it pass the sound system's own
    // delay before the test starts anything, so that it is never taken for a note.
    Sleep(300);
    return true;
}

audio::Stereo Recorder::Stop(DWORD ms)
{
    audio::Stereo s;
    if (!running_)
        return s;
    DWORD asked = GetTickCount();
    RunRecorderScript("stop " + UnixPath(raw_));
    bool done = WaitFor([&] { return FileExists(raw_ + ".done"); }, ms);
    running_ = false;
    if (!done)
        return s;
    Bytes bytes = ReadBytes(raw_);
    s = audio::FromS16(bytes.data(), bytes.size());
    startTick_ = asked - (DWORD)(s.seconds() * 1000.0);
    std::vector<double> heard = marked_ ? audio::Onsets(audio::ToneTrack(s, kMarkHz), -30.0, -45.0) : std::vector<double>();
    if (!heard.empty())
        startTick_ = markTick_ - (DWORD)(heard[0] * 1000.0);
    return s;
}

bool PlayThroughWaveOut(const audio::Stereo& s)
{
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = (DWORD)s.rateHz;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * 4;
    HANDLE done = CreateEventA(NULL, FALSE, FALSE, NULL);
    HWAVEOUT out = NULL;
    if (waveOutOpen(&out, WAVE_MAPPER, &format, (DWORD_PTR)done, 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        CloseHandle(done);
        return false;
    }
    std::vector<short> pcm(2 * s.frames());
    for (size_t i = 0; i < s.frames(); ++i) {
        pcm[2 * i] = (short)(s.left[i] * 32767.0f);
        pcm[2 * i + 1] = (short)(s.right[i] * 32767.0f);
    }
    WAVEHDR header = {};
    header.lpData = (LPSTR)pcm.data();
    header.dwBufferLength = (DWORD)(pcm.size() * sizeof(short));
    bool ok = waveOutPrepareHeader(out, &header, sizeof header) == MMSYSERR_NOERROR &&
              waveOutWrite(out, &header, sizeof header) == MMSYSERR_NOERROR;
    DWORD limit = GetTickCount() + (DWORD)(s.seconds() * 1000.0) + 5000;
    while (ok && !(header.dwFlags & WHDR_DONE) && (LONG)(limit - GetTickCount()) > 0)
        WaitForSingleObject(done, 100);
    ok = ok && (header.dwFlags & WHDR_DONE);
    waveOutReset(out);
    waveOutUnprepareHeader(out, &header, sizeof header);
    waveOutClose(out);
    CloseHandle(done);
    return ok;
}

}  // namespace e2e
