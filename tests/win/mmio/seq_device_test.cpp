// The program's own MCI sequencer, driven with the MCI commands the player sends, against a
// recording sink on a virtual clock.
#include <gtest/gtest.h>

#include "seq_support.h"

using namespace seqtest;

namespace {

typedef Notices::Notice Notice;

// 96 ticks a quarter; 600000 us a quarter until tick 192 (set in the first track), then
// 300000. Tick t is t * 6250 us before 192 and 1200000 + (t - 192) * 3125 us after.
smf::Bytes TempoSong()
{
    smf::File f(1, 96);
    f.Add(smf::Track().Tempo(0, 600000).Tempo(192, 300000).End(96));
    f.Add(smf::Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60, 0).NoteOn(96, 0, 62, 90).NoteOff(96, 0, 62, 0).End());
    f.Add(smf::Track().Program(0, 1, 33).NoteOn(48, 1, 40, 80).NoteOff(144, 1, 40, 0).End());
    return f.Bytes();
}

const LONGLONG T0 = 1000000;   // the recorder's clock when a play starts

class SeqDevice : public ::testing::Test {
protected:
    Recorder rec;
    Notices notices;
    MCIDEVICEID Opened(const TempFile& file)
    {
        MCIDEVICEID id = 0;
        EXPECT_EQ(Open(file.path, &id), 0u);
        EXPECT_NE(id, 0u);
        return id;
    }
};

}  // namespace

TEST_F(SeqDevice, PlaysEveryTrackInTimeOrderOnTheSongClock)
{
    TempFile file(TempoSong());
    MCIDEVICEID id = Opened(file);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_LENGTH), 1500u);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_TIME_FORMAT), (DWORD_PTR)MCI_FORMAT_MILLISECONDS);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_MODE), (DWORD_PTR)MCI_MODE_STOP);

    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    EXPECT_EQ(notices.got[0], (Notice{MCI_NOTIFY_SUCCESSFUL, (LPARAM)id}));
    std::vector<Sent> want = {
        {T0, NoteOn(0, 60, 100), {}},
        {T0, Prog(1, 33), {}},
        {T0 + 300000, NoteOn(1, 40, 80), {}},
        {T0 + 600000, NoteOff(0, 60), {}},
        {T0 + 1200000, NoteOn(0, 62, 90), {}},
        {T0 + 1200000, NoteOff(1, 40), {}},
        {T0 + 1500000, NoteOff(0, 62), {}},
    };
    EXPECT_EQ(rec.Take(), want);
    EXPECT_EQ(rec.Now(), T0 + 1500000);   // the play lasts to the end of the song
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 1500u);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_MODE), (DWORD_PTR)MCI_MODE_STOP);

    EXPECT_EQ(Simple(id, MCI_CLOSE), 0u);
    EXPECT_EQ(rec.opens, 1);
    EXPECT_EQ(rec.closes, 1);
    EXPECT_EQ(Simple(id, MCI_STOP), (MCIERROR)SEQERR_INVALID_DEVICE);
}

TEST_F(SeqDevice, SmpteSongsKeepFrameTimeWhateverTheTempo)
{
    smf::File f(0, 0xE728);   // 25 frames of 40 ticks: a tick is a millisecond
    f.Add(smf::Track().Tempo(0, 100000).NoteOn(250, 2, 50, 60).NoteOff(750, 2, 50, 0).End());
    TempFile file(f.Bytes());
    MCIDEVICEID id = Opened(file);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_LENGTH), 1000u);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    std::vector<Sent> want = {{T0 + 250000, NoteOn(2, 50, 60), {}}, {T0 + 1000000, NoteOff(2, 50), {}}};
    EXPECT_EQ(rec.Take(), want);
    Simple(id, MCI_CLOSE);
}

TEST_F(SeqDevice, LengthAndPositionCountMillisecondsAtAnyTempo)
{
    TempFile file(SlowSong());
    MCIDEVICEID id = Opened(file);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_LENGTH), 5333u);

    MCI_SET_PARMS set = {};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    EXPECT_EQ(SeqSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, (DWORD_PTR)&set), 0u);
    set.dwTimeFormat = MCI_SEQ_FORMAT_SONGPTR;
    EXPECT_EQ(SeqSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, (DWORD_PTR)&set), (MCIERROR)SEQERR_TIME_FORMAT);

    rec.Freeze(T0 + 2100000);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 2100u);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_MODE), (DWORD_PTR)MCI_MODE_PLAY);
    EXPECT_EQ(Simple(id, MCI_PAUSE), 0u);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 2100u);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_MODE), (DWORD_PTR)MCI_MODE_PAUSE);
    std::vector<Sent> before = rec.Take();
    ASSERT_EQ(before.size(), 4u + 32u);   // quarters 0..3, then silence
    EXPECT_EQ(before[3], (Sent{T0 + 2000001, NoteOn(0, 63, 100), {}}));

    // Resuming goes on from where the pause left the song: quarter 4 is 566668 us away.
    rec.Freeze(LLONG_MAX);
    ASSERT_EQ(Resume(id, notices.hwnd), 0u);
    ASSERT_TRUE(notices.WaitFor(2));
    std::vector<Sent> after = rec.Take();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0], (Sent{T0 + 2100000 + 566668, NoteOn(0, 64, 100), {}}));
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 5333u);
    Simple(id, MCI_CLOSE);
}

TEST_F(SeqDevice, PlayFromTheMiddleChasesSettingsAndSoundsNoEarlierNote)
{
    smf::File f(1, 96);   // 500000 us a quarter: tick 96 is 500 ms
    f.Add(smf::Track()
              .Sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
              .Controller(0, 0, 0, 8).Program(0, 0, 5).Volume(0, 0, 100)
              .NoteOn(0, 0, 60, 100)
              .Volume(96, 0, 80).PitchBend(0, 0, 0, 0x50)
              .NoteOff(96, 0, 60, 0).NoteOn(0, 0, 64, 90).NoteOff(96, 0, 64, 0).End());
    f.Add(smf::Track().Program(0, 9, 16).Channel(10, 0xD9, {40}).End());
    TempFile file(f.Bytes());
    MCIDEVICEID id = Opened(file);

    ASSERT_EQ(PlayFrom(id, notices.hwnd, 750), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    EXPECT_EQ(notices.got[0].flag, (WPARAM)MCI_NOTIFY_SUCCESSFUL);
    std::vector<Sent> want = {
        {T0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {T0, Ctl(0, 0, 8), {}},
        {T0, Prog(0, 5), {}},
        {T0, Ctl(0, 7, 80), {}},
        {T0, 0xE0 | 0x50u << 16, {}},
        {T0, Prog(9, 16), {}},
        {T0, 0xD9 | 40u << 8, {}},
        {T0 + 250000, NoteOff(0, 60), {}},
        {T0 + 250000, NoteOn(0, 64, 90), {}},
        {T0 + 750000, NoteOff(0, 64), {}},
    };
    EXPECT_EQ(rec.Take(), want);

    // From the very start nothing is chased: the events themselves come in order.
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(notices.WaitFor(2));
    std::vector<Sent> all = rec.Take();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].msg, 0xF0u);
    EXPECT_EQ(all[1].msg, Ctl(0, 0, 8));
    Simple(id, MCI_CLOSE);
}

TEST_F(SeqDevice, InterruptedPlaysAreAbortedAndSilenced)
{
    TempFile file(SlowSong());
    MCIDEVICEID id = Opened(file);
    std::vector<DWORD> silence = Silence();

    // Stop: the play ends at once, every channel is silenced, the position stays.
    rec.Freeze(T0 + 1000000);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    EXPECT_EQ(Simple(id, MCI_STOP), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    EXPECT_EQ(notices.got[0], (Notice{MCI_NOTIFY_ABORTED, (LPARAM)id}));
    std::vector<DWORD> sent = Messages(rec.Take());
    ASSERT_EQ(sent.size(), 2u + 32u);
    EXPECT_EQ(std::vector<DWORD>(sent.begin() + 2, sent.end()), silence);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_MODE), (DWORD_PTR)MCI_MODE_STOP);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 1000u);

    // A new play while one runs: the old request is aborted, the new one ends normally.
    rec.Freeze(rec.Now() + 500000);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    rec.Freeze(LLONG_MAX);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 5000), 0u);
    ASSERT_TRUE(notices.WaitFor(3));
    EXPECT_EQ(notices.got[1], (Notice{MCI_NOTIFY_ABORTED, (LPARAM)id}));
    EXPECT_EQ(notices.got[2], (Notice{MCI_NOTIFY_SUCCESSFUL, (LPARAM)id}));
    rec.Take();

    // Pause aborts too; a play without notice posts nothing when it is ended.
    rec.Freeze(rec.Now() + 100000);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    EXPECT_EQ(Simple(id, MCI_PAUSE), 0u);
    ASSERT_TRUE(notices.WaitFor(4));
    EXPECT_EQ(notices.got[3], (Notice{MCI_NOTIFY_ABORTED, (LPARAM)id}));
    rec.Freeze(rec.Now() + 100000);
    MCI_PLAY_PARMS quiet = {};
    ASSERT_EQ(SeqSendCommand(id, MCI_PLAY, MCI_FROM, (DWORD_PTR)&quiet), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    EXPECT_EQ(Simple(id, MCI_STOP), 0u);

    // Close while playing: aborted, silenced, and the identifier is gone.
    rec.Take();
    rec.Freeze(rec.Now() + 100000);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    EXPECT_EQ(Simple(id, MCI_CLOSE), 0u);
    ASSERT_TRUE(notices.WaitFor(5));
    notices.Drain();
    ASSERT_EQ(notices.got.size(), 5u);
    EXPECT_EQ(notices.got[4], (Notice{MCI_NOTIFY_ABORTED, (LPARAM)id}));
    sent = Messages(rec.Take());
    ASSERT_GE(sent.size(), 32u);
    EXPECT_EQ(std::vector<DWORD>(sent.end() - 32, sent.end()), silence);
    EXPECT_EQ(Simple(id, MCI_STOP), (MCIERROR)SEQERR_INVALID_DEVICE);
}

TEST_F(SeqDevice, PlayBeyondTheEndFinishesAtOnce)
{
    TempFile file(TempoSong());
    MCIDEVICEID id = Opened(file);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 1500), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 99999), 0u);
    ASSERT_TRUE(notices.WaitFor(2));
    EXPECT_EQ(notices.got[1], (Notice{MCI_NOTIFY_SUCCESSFUL, (LPARAM)id}));
    for (const Sent& s : rec.Take())
        EXPECT_NE(s.msg & 0xF0, 0x90u) << "a note sounded after the end";
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 1500u);
    Simple(id, MCI_CLOSE);
}

TEST_F(SeqDevice, OpenReadsTheWholeFileAndLetsGoOfIt)
{
    TempFile file(TempoSong());
    MCIDEVICEID first = Opened(file);
    MCIDEVICEID second = Opened(file);
    EXPECT_NE(first, second);
    // The playback copy can be rewritten or deleted while the device is open.
    file.Write(SlowSong());
    EXPECT_EQ(StatusOf(first, MCI_STATUS_LENGTH), 1500u);
    EXPECT_TRUE(DeleteFileA(file.path.c_str()));
    ASSERT_EQ(PlayFrom(first, notices.hwnd, 0), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    EXPECT_EQ(notices.got[0].flag, (WPARAM)MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(rec.Take().size(), 7u);
    Simple(first, MCI_CLOSE);
    Simple(second, MCI_CLOSE);
    EXPECT_EQ(rec.opens, 2);
    EXPECT_EQ(rec.closes, 2);
}

TEST_F(SeqDevice, ErrorsHaveCodesWithTexts)
{
    MCIDEVICEID id = 0;
    TempFile empty({});
    TempFile text({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!'});
    EXPECT_EQ(Open(empty.path + ".missing", &id), (MCIERROR)SEQERR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("C:\\no such folder\\x.mid", &id), (MCIERROR)SEQERR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(empty.path, &id), (MCIERROR)SEQERR_EMPTY_FILE);
    EXPECT_EQ(Open(text.path, &id), (MCIERROR)SEQERR_NOT_MIDI);
    EXPECT_EQ(Open("", &id), (MCIERROR)SEQERR_NO_ELEMENT);

    TempFile song(TempoSong());
    MCI_OPEN_PARMSA wave = {};
    wave.lpstrDeviceType = "waveaudio";
    wave.lpstrElementName = song.path.c_str();
    EXPECT_EQ(SeqSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, (DWORD_PTR)&wave), (MCIERROR)SEQERR_DEVICE_TYPE);
    EXPECT_EQ(rec.opens, 0);

    id = Opened(song);
    DWORD_PTR v = 0;
    EXPECT_EQ(Status(id, MCI_STATUS_CURRENT_TRACK, &v), (MCIERROR)SEQERR_BAD_ITEM);
    EXPECT_EQ(Simple(id, MCI_RECORD), (MCIERROR)SEQERR_UNSUPPORTED);
    EXPECT_EQ(Simple(id + 1000, MCI_PLAY), (MCIERROR)SEQERR_INVALID_DEVICE);
    Simple(id, MCI_CLOSE);

    for (MCIERROR e = SEQERR_BASE; e <= SEQERR_LAST; ++e) {
        char buf[256] = "";
        EXPECT_TRUE(SeqGetErrorString(e, buf, sizeof buf)) << e;
        EXPECT_GT(strlen(buf), 10u) << e;
    }
    char small[8];
    EXPECT_TRUE(SeqGetErrorString(SEQERR_NOT_MIDI, small, sizeof small));
    EXPECT_EQ(strlen(small), 7u);
    char buf[256];
    EXPECT_TRUE(SeqGetErrorString(0, buf, sizeof buf));
    EXPECT_STREQ(buf, "The specified command was carried out.");
    EXPECT_TRUE(SeqGetErrorString(MCIERR_FILE_NOT_FOUND, buf, sizeof buf));   // the platform's text
    EXPECT_FALSE(SeqGetErrorString(0xFFFF, buf, sizeof buf));
}

TEST(SeqDeviceRealClock, PlaysInRealTimeWithNoOutputDevice)
{
    SetSequencerSink(nullptr);
    smf::File f(0, 96);
    f.Add(smf::Track().NoteOn(0, 0, 60, 100).NoteOff(48, 0, 60, 0).End(10));   // 302 ms
    TempFile file(f.Bytes());
    Notices notices;
    MCIDEVICEID id = 0;
    ASSERT_EQ(Open(file.path, &id), 0u);
    EXPECT_EQ(StatusOf(id, MCI_STATUS_LENGTH), 302u);
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    ASSERT_EQ(PlayFrom(id, notices.hwnd, 0), 0u);
    EXPECT_LE(StatusOf(id, MCI_STATUS_POSITION), 302u);
    ASSERT_TRUE(notices.WaitFor(1, 10000));
    QueryPerformanceCounter(&end);
    double ms = (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)freq.QuadPart;
    EXPECT_EQ(notices.got[0].flag, (WPARAM)MCI_NOTIFY_SUCCESSFUL);
    EXPECT_GE(ms, 295.0);   // the clock never runs early; late is the benchmark's business
    EXPECT_EQ(StatusOf(id, MCI_STATUS_POSITION), 302u);
    EXPECT_EQ(Simple(id, MCI_CLOSE), 0u);
}

TEST(SeqDeviceRealClock, RapidCommandsLeaveExactlyOneNoticePerPlay)
{
    SetSequencerSink(nullptr);
    TempFile file(SlowSong());
    Notices notices;
    MCIDEVICEID id = 0;
    ASSERT_EQ(Open(file.path, &id), 0u);
    const int plays = 60;
    for (int i = 0; i < plays; ++i) {
        ASSERT_EQ(PlayFrom(id, notices.hwnd, (DWORD)(i * 97) % 5000), 0u);
        // Every third play is ended by the next play, or by the close.
        UINT end = i % 3 == 0 ? MCI_STOP : i % 3 == 1 ? MCI_PAUSE : 0;
        if (end) {
            EXPECT_EQ(Simple(id, end), 0u);
        }
    }
    EXPECT_EQ(Simple(id, MCI_CLOSE), 0u);
    ASSERT_TRUE(notices.WaitFor(plays));
    notices.Drain();
    ASSERT_EQ(notices.got.size(), (size_t)plays);
    for (const Notices::Notice& n : notices.got)
        EXPECT_EQ(n, (Notices::Notice{MCI_NOTIFY_ABORTED, (LPARAM)id}));
}
