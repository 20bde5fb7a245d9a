// Test support for the sequencer: a sink that records what would be sent and when, on a
// virtual clock; a message-only window that collects MM_MCINOTIFY; temporary song files.
#pragma once

#include <windows.h>
#include <algorithm>
#include <climits>
#include <mutex>
#include <string>
#include <vector>

#include "mmio/sequencer.h"
#include "smfbuild.h"

namespace seqtest {

struct Sent {
    LONGLONG t;              // virtual microseconds
    DWORD msg;               // short message, or F0 / F7 for system-exclusive
    std::vector<BYTE> data;  // system-exclusive bytes after the status
    bool operator==(const Sent& o) const { return t == o.t && msg == o.msg && data == o.data; }
};

// Time stands still except in the waits of the play thread, which jump to their due time at
// once. A wait for a time after freezeAt runs the clock to freezeAt, sets `frozen` and blocks
// until the play is ended, so a test can stop, pause or restart a play at a known point.
class Recorder {
public:
    std::mutex m;
    std::vector<Sent> sent;
    LONGLONG now = 1000000;
    LONGLONG freezeAt = LLONG_MAX;
    bool held = false;       // a wait is blocked at freezeAt
    int opens = 0, closes = 0;
    HANDLE frozen = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    Recorder() { SetSequencerSink(Sink()); }
    ~Recorder()
    {
        SetSequencerSink(nullptr);
        CloseHandle(frozen);
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    const SEQSINK* Sink()
    {
        static SEQSINK s;
        s = {this, OnOpen, OnClose, OnShort, OnSysEx, OnNow, OnWait, nullptr, FALSE};
        return &s;
    }
    std::vector<Sent> Take()
    {
        std::lock_guard<std::mutex> g(m);
        std::vector<Sent> out;
        out.swap(sent);
        return out;
    }
    void Freeze(LONGLONG at)
    {
        std::lock_guard<std::mutex> g(m);
        freezeAt = at;
        ResetEvent(frozen);
    }
    bool WaitFrozen() { return WaitForSingleObject(frozen, 5000) == WAIT_OBJECT_0; }
    LONGLONG Now()
    {
        std::lock_guard<std::mutex> g(m);
        return now;
    }

private:
    static Recorder* Of(void* ctx) { return static_cast<Recorder*>(ctx); }
    static void OnOpen(void* ctx) { std::lock_guard<std::mutex> g(Of(ctx)->m); ++Of(ctx)->opens; }
    static void OnClose(void* ctx) { std::lock_guard<std::mutex> g(Of(ctx)->m); ++Of(ctx)->closes; }
    static void OnShort(void* ctx, DWORD msg)
    {
        Recorder* r = Of(ctx);
        std::lock_guard<std::mutex> g(r->m);
        r->sent.push_back({r->now, msg, {}});
    }
    static void OnSysEx(void* ctx, BYTE status, const BYTE* data, DWORD len)
    {
        Recorder* r = Of(ctx);
        std::lock_guard<std::mutex> g(r->m);
        r->sent.push_back({r->now, status, std::vector<BYTE>(data, data + len)});
    }
    static LONGLONG OnNow(void* ctx)
    {
        Recorder* r = Of(ctx);
        std::lock_guard<std::mutex> g(r->m);
        return r->now;
    }
    static BOOL OnWait(void* ctx, LONGLONG t, HANDLE hAbort)
    {
        Recorder* r = Of(ctx);
        {
            std::lock_guard<std::mutex> g(r->m);
            if (t <= r->freezeAt) {
                if (t > r->now)
                    r->now = t;
                return TRUE;
            }
            if (r->now < r->freezeAt)
                r->now = r->freezeAt;
            r->held = true;
            SetEvent(r->frozen);
        }
        WaitForSingleObject(hAbort, INFINITE);
        std::lock_guard<std::mutex> g(r->m);
        r->held = false;
        return FALSE;
    }
};

// A message-only window that keeps every MM_MCINOTIFY it receives.
class Notices {
public:
    struct Notice {
        WPARAM flag;
        LPARAM device;
        bool operator==(const Notice& o) const { return flag == o.flag && device == o.device; }
    };
    HWND hwnd = nullptr;
    std::vector<Notice> got;

    Notices()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "SeqTestNotices";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "SeqTestNotices", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, (LONG_PTR)this);
    }
    ~Notices() { DestroyWindow(hwnd); }
    Notices(const Notices&) = delete;
    Notices& operator=(const Notices&) = delete;

    // Pumps messages until n notices have arrived or the time is up.
    bool WaitFor(size_t n, DWORD timeoutMs = 5000)
    {
        DWORD start = GetTickCount();
        while (got.size() < n) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (got.size() >= n)
                break;
            if (GetTickCount() - start > timeoutMs)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return true;
    }
    // Lets whatever is already posted arrive.
    void Drain()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == MM_MCINOTIFY) {
            Notices* self = (Notices*)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
            if (self)
                self->got.push_back({wParam, lParam});
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
};

// A temporary file holding the bytes given, deleted at the end of the test.
class TempFile {
public:
    std::string path;
    explicit TempFile(const std::vector<uint8_t>& bytes)
    {
        char dir[MAX_PATH], name[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "sqt", 0, name);
        path = name;
        Write(bytes);
    }
    ~TempFile() { DeleteFileA(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    void Write(const std::vector<uint8_t>& bytes) const
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD n = 0;
        if (!bytes.empty())
            WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr);
        CloseHandle(h);
    }
    std::vector<uint8_t> Read() const
    {
        std::vector<uint8_t> out;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return out;
        out.resize(GetFileSize(h, nullptr));
        DWORD n = 0;
        if (!out.empty())
            ReadFile(h, out.data(), (DWORD)out.size(), &n, nullptr);
        CloseHandle(h);
        out.resize(n);
        return out;
    }
};

// MCI commands to the own sequencer, with the records filled in.
inline MCIERROR Open(const std::string& path, MCIDEVICEID* id)
{
    MCI_OPEN_PARMSA p = {};
    p.lpstrDeviceType = "sequencer";
    p.lpstrElementName = path.c_str();
    MCIERROR err = SeqSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, (DWORD_PTR)&p);
    *id = err ? 0 : p.wDeviceID;
    return err;
}

inline MCIERROR Status(MCIDEVICEID id, DWORD item, DWORD_PTR* value)
{
    MCI_STATUS_PARMS p = {};
    p.dwItem = item;
    MCIERROR err = SeqSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, (DWORD_PTR)&p);
    *value = p.dwReturn;
    return err;
}

inline DWORD_PTR StatusOf(MCIDEVICEID id, DWORD item)
{
    DWORD_PTR v = 0xDEAD;
    Status(id, item, &v);
    return v;
}

inline MCIERROR PlayFrom(MCIDEVICEID id, HWND notify, DWORD fromMs)
{
    MCI_PLAY_PARMS p = {};
    p.dwCallback = (DWORD_PTR)notify;
    p.dwFrom = fromMs;
    return SeqSendCommand(id, MCI_PLAY, MCI_NOTIFY | MCI_FROM, (DWORD_PTR)&p);
}

inline MCIERROR Resume(MCIDEVICEID id, HWND notify)
{
    MCI_PLAY_PARMS p = {};
    p.dwCallback = (DWORD_PTR)notify;
    return SeqSendCommand(id, MCI_PLAY, MCI_NOTIFY, (DWORD_PTR)&p);
}

inline MCIERROR Simple(MCIDEVICEID id, UINT msg)
{
    MCI_GENERIC_PARMS p = {};
    return SeqSendCommand(id, msg, MCI_WAIT, (DWORD_PTR)&p);
}

// 90 beats a minute, a note on each of 8 quarters (666667 us apart): 5333336 us, ending a
// quarter after the last note. With a program, a program change on channel 0 first.
inline smf::Bytes SlowSong(int program = -1)
{
    smf::Track t;
    t.Tempo(0, 666667);
    if (program >= 0)
        t.Program(0, 0, program);
    for (int q = 0; q < 8; ++q)
        t.NoteOn(q == 0 ? 0 : 480, 0, 60 + q, 100);
    t.End(480);
    smf::File f(0, 480);
    f.Add(t);
    return f.Bytes();
}

inline DWORD NoteOn(int ch, int key, int vel) { return (DWORD)(0x90 | ch) | (DWORD)key << 8 | (DWORD)vel << 16; }
inline DWORD NoteOff(int ch, int key) { return (DWORD)(0x80 | ch) | (DWORD)key << 8; }
inline DWORD Ctl(int ch, int c, int v) { return (DWORD)(0xB0 | ch) | (DWORD)c << 8 | (DWORD)v << 16; }
inline DWORD Prog(int ch, int p) { return (DWORD)(0xC0 | ch) | (DWORD)p << 8; }

// The 32 messages that silence every channel.
inline std::vector<DWORD> Silence()
{
    std::vector<DWORD> out;
    for (int c = 0; c < 16; ++c) {
        out.push_back(Ctl(c, 123, 0));
        out.push_back(Ctl(c, 120, 0));
    }
    return out;
}

inline std::vector<DWORD> Messages(const std::vector<Sent>& sent)
{
    std::vector<DWORD> out;
    for (const Sent& s : sent)
        out.push_back(s.msg);
    return out;
}

}  // namespace seqtest
