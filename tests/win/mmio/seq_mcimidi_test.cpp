// The sequencer operations over the program's own sequencer: units of eighths of a second,
// the reopen after a change, and the error boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "seq_support.h"

using namespace seqtest;

namespace {

struct Box {
    HWND owner;
    std::string text;
    std::string caption;   // "(null)" for the platform's default
    UINT style;
};

std::vector<Box> boxes;

int CaptureBox(HWND owner, const char* text, const char* caption, UINT style)
{
    boxes.push_back({owner, text ? text : "", caption ? caption : "(null)", style});
    return IDOK;
}

// 5333 ms, 42 eighths of a second, with program 5 on channel 0.
smf::Bytes Song()
{
    return SlowSong(5);
}

const LONGLONG T0 = 1000000;

class McimidiTest : public ::testing::Test {
protected:
    Recorder rec;
    Notices notices;
    smf::Bytes image = Song();
    TempFile copy{image};
    char tmpName[MAX_PATH];
    REPORTPROC oldReport = nullptr;

    void SetUp() override
    {
        UseOwnSequencer();
        oldReport = SetReportProc(CaptureBox);
        boxes.clear();
        lstrcpynA(tmpName, copy.path.c_str(), sizeof tmpName);
        sTmpName = tmpName;
        pFileBuf = image.data();
        dwFileBufSize = (DWORD)image.size();
        hWndMain = notices.hwnd;
        nMode = MODE_STOP;
        fFileLoaded = 1;
        fMidiChange = 0;
        wOutDeviceID = 0;
        dwPlayPos = 0;
        dwFileSize = 0;
    }
    void TearDown() override
    {
        if (wOutDeviceID)
            SequencerSendCommand(wOutDeviceID, MCI_CLOSE, MCI_WAIT, 0);
        wOutDeviceID = 0;
        SetReportProc(oldReport);
        pFileBuf = nullptr;
        sTmpName = nullptr;
    }
    // The editor's switch-off: the song's note-ons (keys 60-67) become note-offs.
    void SwitchTrackOff()
    {
        for (size_t k = 0; k + 2 < image.size(); ++k)
            if (image[k] == 0x90 && image[k + 1] >= 60 && image[k + 1] < 68)
                image[k] = 0x80;
    }
    // The bytes of the image's program change value.
    BYTE* ProgramValue()
    {
        static const BYTE pc[] = {0xC0, 5};
        auto it = std::search(image.begin(), image.end(), pc, pc + 2);
        return it == image.end() ? nullptr : &*(it + 1);
    }
    std::string Line(DWORD size, DWORD pos, DWORD dev)
    {
        char b[64];
        snprintf(b, sizeof b, "\nsize %d pos %d dev %d", (int)size, (int)pos, (int)dev);
        return b;
    }
    std::string Text(MCIERROR err)
    {
        char b[256] = "";
        SequencerGetErrorString(err, b, sizeof b);
        return b;
    }
};

}  // namespace

TEST_F(McimidiTest, OpenMeasuresTheSongInEighthsOfASecond)
{
    MCIDEVICEID id = mcimidiOpen(sTmpName);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(dwFileSize, 42u);   // 5333 ms
    MCI_STATUS_PARMS st = {};
    st.dwItem = MCI_STATUS_TIME_FORMAT;
    EXPECT_EQ(SequencerSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, (DWORD_PTR)&st), 0u);
    EXPECT_EQ(st.dwReturn, (DWORD_PTR)MCI_FORMAT_MILLISECONDS);
    EXPECT_EQ(mcimidiPosition(id), 0u);
    EXPECT_EQ(mcimidiClose(id), 0u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(McimidiTest, FailedOpenIsReportedAndKeepsTheLength)
{
    dwFileSize = 7;
    dwPlayPos = 3;
    TempFile empty({});
    EXPECT_EQ(mcimidiOpen((copy.path + ".gone").c_str()), 0u);
    EXPECT_EQ(mcimidiOpen(empty.path.c_str()), 0u);
    EXPECT_EQ(dwFileSize, 7u);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].caption, "Zulin Error");
    EXPECT_EQ(boxes[0].style, (UINT)MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[0].text, Text(SEQERR_FILE_NOT_FOUND) + Line(7, 3, 0));
    EXPECT_EQ(boxes[1].text, Text(SEQERR_EMPTY_FILE) + Line(7, 3, 0));
    EXPECT_EQ(rec.opens, 0);
}

TEST_F(McimidiTest, PlayStartsAtTheStoredPositionAndNotifiesTheWindow)
{
    wOutDeviceID = mcimidiOpen(sTmpName);
    ASSERT_NE(wOutDeviceID, 0u);
    dwPlayPos = 16;   // 2000 ms: quarter 3 is 1 us later
    EXPECT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u);
    ASSERT_TRUE(notices.WaitFor(1));
    EXPECT_EQ(notices.got[0], (Notices::Notice{MCI_NOTIFY_SUCCESSFUL, (LPARAM)wOutDeviceID}));
    std::vector<Sent> want = {
        {T0, Prog(0, 5), {}},
        {T0 + 1, NoteOn(0, 63, 100), {}},
        {T0 + 666668, NoteOn(0, 64, 100), {}},
        {T0 + 1333335, NoteOn(0, 65, 100), {}},
        {T0 + 2000002, NoteOn(0, 66, 100), {}},
        {T0 + 2666669, NoteOn(0, 67, 100), {}},
    };
    EXPECT_EQ(rec.Take(), want);
    EXPECT_EQ(mcimidiPosition(wOutDeviceID), 42u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(McimidiTest, APositionPastTheLengthIsShownWithTheNumbers)
{
    wOutDeviceID = mcimidiOpen(sTmpName);
    ASSERT_EQ(dwFileSize, 42u);
    dwPlayPos = 42;
    EXPECT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u);
    EXPECT_TRUE(boxes.empty());
    dwPlayPos = 43;
    EXPECT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The specified command was carried out." + Line(42, 43, wOutDeviceID));
    EXPECT_EQ(boxes[0].caption, "Zulin Error");
    ASSERT_TRUE(notices.WaitFor(2));
}

TEST_F(McimidiTest, ErrorBoxesNameTheErrorOrAdmitTheyCannot)
{
    dwFileSize = 0xFFFFFFFF;   // shown signed, as the line has always shown it
    dwPlayPos = 5;
    wOutDeviceID = 0;
    EXPECT_EQ(mcimidiError(SEQERR_NOT_MIDI), IDOK);
    EXPECT_EQ(mcimidiError(0xFFFF), IDOK);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "The file is not a Standard MIDI File.\nsize -1 pos 5 dev 0");
    EXPECT_EQ(boxes[1].text, "Unrecognaized error");
    EXPECT_EQ(boxes[1].caption, "Zulin Error");
    EXPECT_EQ(boxes[1].style, (UINT)MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[1].owner, nullptr);

    // Commands to a device that is not open: each reported, each returning its code
    // (close returns the box's answer).
    boxes.clear();
    dwFileSize = 1;
    EXPECT_EQ(mcimidiStop(77), (DWORD)SEQERR_INVALID_DEVICE);
    EXPECT_EQ(mcimidiPause(77), (DWORD)SEQERR_INVALID_DEVICE);
    EXPECT_EQ(mcimidiClose(77), (DWORD)IDOK);
    ASSERT_EQ(boxes.size(), 3u);
    for (const Box& b : boxes)
        EXPECT_EQ(b.text, Text(SEQERR_INVALID_DEVICE) + Line(1, 5, 0));
}

TEST_F(McimidiTest, ChangeDuringPlayRewritesTheCopyAndPlaysOnFromThePosition)
{
    MCIDEVICEID first = mcimidiOpen(sTmpName);
    wOutDeviceID = first;
    nMode = MODE_PLAY;
    rec.Freeze(T0 + 2100000);
    ASSERT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    rec.Take();

    // The row's edit: program 5 becomes 7.
    BYTE* program = ProgramValue();
    ASSERT_NE(program, nullptr);
    *program = 7;
    rec.Freeze(LLONG_MAX);
    EXPECT_EQ(mcimidiChange(), 1);
    EXPECT_EQ(fMidiChange, 0);
    EXPECT_EQ(dwPlayPos, 16u);                 // 2100 ms
    EXPECT_NE(wOutDeviceID, 0u);
    EXPECT_NE(wOutDeviceID, first);
    EXPECT_EQ(copy.Read(), image);
    EXPECT_EQ(rec.closes, 1);                  // the old device is gone
    EXPECT_EQ(SequencerSendCommand(first, MCI_STOP, MCI_WAIT, 0), (MCIERROR)SEQERR_INVALID_DEVICE);

    ASSERT_TRUE(notices.WaitFor(2));
    EXPECT_EQ(notices.got[0], (Notices::Notice{MCI_NOTIFY_ABORTED, (LPARAM)first}));
    EXPECT_EQ(notices.got[1], (Notices::Notice{MCI_NOTIFY_SUCCESSFUL, (LPARAM)wOutDeviceID}));
    // Nothing is silenced or sent again: the change at once, then the song goes on with its
    // next note at its own time on the same clock.
    std::vector<Sent> sent = rec.Take();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].msg, Prog(0, 7));
    EXPECT_EQ(sent[1].msg, NoteOn(0, 64, 100));
    EXPECT_EQ(sent[1].t, T0 + 4 * 666667);
    EXPECT_EQ(rec.opens, 2);
    EXPECT_EQ(rec.closes, 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(McimidiTest, ChangeThatSwitchesATrackOffReleasesItsNotes)
{
    wOutDeviceID = mcimidiOpen(sTmpName);
    nMode = MODE_PLAY;
    rec.Freeze(T0 + 2100000);
    ASSERT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u);
    ASSERT_TRUE(rec.WaitFrozen());
    rec.Take();

    SwitchTrackOff();
    rec.Freeze(LLONG_MAX);
    EXPECT_EQ(mcimidiChange(), 1);
    ASSERT_TRUE(notices.WaitFor(2));
    std::vector<DWORD> sent = Messages(rec.Take());
    std::vector<DWORD> want = {NoteOff(0, 60), NoteOff(0, 61), NoteOff(0, 62), NoteOff(0, 63)};
    ASSERT_GE(sent.size(), want.size());
    EXPECT_EQ(std::vector<DWORD>(sent.begin(), sent.begin() + 4), want);
    for (size_t k = 4; k < sent.size(); ++k)
        EXPECT_NE(sent[k] & 0xF0, 0x90u) << k;   // the rest of the track stays silent
}

TEST_F(McimidiTest, RestartThatDoesNotPlayOnSilencesTheHeldSound)
{
    struct Case {
        const char* what;
        bool reopen;
        DWORD resumeAt;     // eighths of a second
    };
    const Case cases[] = {
        {"the copy cannot be reopened", false, 0},
        {"the play starts elsewhere", true, 30},
    };
    for (const Case& c : cases) {
        wOutDeviceID = mcimidiOpen(sTmpName);
        rec.Freeze(T0 + 2100000);
        ASSERT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u) << c.what;
        ASSERT_TRUE(rec.WaitFrozen()) << c.what;
        rec.Take();
        int closes = rec.closes;

        SequencerKeepSoundOnRestart();
        EXPECT_EQ(mcimidiStop(wOutDeviceID), 0u);
        EXPECT_EQ(mcimidiClose(wOutDeviceID), 0u);
        wOutDeviceID = 0;
        EXPECT_EQ(rec.closes, closes) << c.what;   // held open
        rec.Freeze(LLONG_MAX);
        if (c.reopen) {
            wOutDeviceID = mcimidiOpen(sTmpName);
            dwPlayPos = c.resumeAt;
            EXPECT_EQ(mcimidiPlay(hWndMain, wOutDeviceID), 0u);
        }
        SequencerEndRestart();
        if (wOutDeviceID) {
            mcimidiClose(wOutDeviceID);
            wOutDeviceID = 0;
        }
        std::vector<DWORD> sent = Messages(rec.Take());
        std::vector<DWORD> silence = Silence();
        ASSERT_GE(sent.size(), silence.size()) << c.what;
        EXPECT_EQ(std::vector<DWORD>(sent.begin(), sent.begin() + 32), silence) << c.what;
        EXPECT_EQ(rec.opens, rec.closes) << c.what;
        notices.Drain();
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(McimidiTest, ChangeWhilePausedWaitsForTheResume)
{
    wOutDeviceID = mcimidiOpen(sTmpName);
    MCIDEVICEID first = wOutDeviceID;
    nMode = MODE_PAUSE;
    *ProgramValue() = 9;
    smf::Bytes before = copy.Read();
    EXPECT_EQ(mcimidiChange(), 1);
    EXPECT_EQ(fMidiChange, 1);
    EXPECT_EQ(wOutDeviceID, first);
    EXPECT_EQ(copy.Read(), before);

    // Stopped, or with no file, likewise only the flag.
    nMode = MODE_STOP;
    EXPECT_EQ(mcimidiChange(), 1);
    nMode = MODE_PLAY;
    fFileLoaded = 0;
    EXPECT_EQ(mcimidiChange(), 1);
    EXPECT_EQ(wOutDeviceID, first);
    notices.Drain();
    EXPECT_TRUE(notices.got.empty());

    dwPlayPos = 8;
    EXPECT_EQ(mcimidiPlay(hWndMain, first), 0u);
    EXPECT_EQ(fMidiChange, 0);
    EXPECT_NE(wOutDeviceID, first);
    EXPECT_EQ(copy.Read(), image);
    ASSERT_TRUE(notices.WaitFor(1));
    EXPECT_EQ(notices.got[0], (Notices::Notice{MCI_NOTIFY_SUCCESSFUL, (LPARAM)wOutDeviceID}));
    std::vector<DWORD> sent = Messages(rec.Take());
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], Prog(0, 9));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(McimidiTest, AFailedReopenLeavesNoDeviceAndReportsThePlayToo)
{
    wOutDeviceID = mcimidiOpen(sTmpName);
    MCIDEVICEID first = wOutDeviceID;
    char missing[] = "C:\\no such folder\\gy1.tmp";
    sTmpName = missing;
    fMidiChange = 1;
    DWORD err = mcimidiPlay(hWndMain, wOutDeviceID);
    EXPECT_EQ(err, (DWORD)SEQERR_INVALID_DEVICE);
    EXPECT_EQ(wOutDeviceID, 0u);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Tmp File create failed.");
    EXPECT_EQ(boxes[1].text, Text(SEQERR_FILE_NOT_FOUND) + Line(42, 0, first));   // reported inside the open
    EXPECT_EQ(boxes[2].text, Text(SEQERR_INVALID_DEVICE) + Line(42, 0, 0));
    EXPECT_EQ(rec.opens, rec.closes);
}

namespace {

// One MCI command as the sequencer operations sent it.
struct Call {
    MCIDEVICEID id;
    UINT msg;
    DWORD_PTR flags;
    std::string detail;   // the members of the record that were set
    bool operator==(const Call& o) const { return id == o.id && msg == o.msg && flags == o.flags && detail == o.detail; }
};

std::vector<Call> calls;

std::ostream& operator<<(std::ostream& os, const Call& c)
{
    return os << "{" << c.id << ", 0x" << std::hex << c.msg << ", 0x" << c.flags << std::dec << ", " << c.detail << "}";
}

MCIERROR WatchCommand(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param)
{
    char d[400] = "";
    switch (msg) {
    case MCI_OPEN: {
        const MCI_OPEN_PARMSA* p = (const MCI_OPEN_PARMSA*)param;
        snprintf(d, sizeof d, "type %s element %s callback %d alias %s", p->lpstrDeviceType, p->lpstrElementName, (int)p->dwCallback,
                 p->lpstrAlias ? p->lpstrAlias : "none");
        break;
    }
    case MCI_SET:
        snprintf(d, sizeof d, "format %d", (int)((const MCI_SET_PARMS*)param)->dwTimeFormat);
        break;
    case MCI_STATUS:
        snprintf(d, sizeof d, "item %d", (int)((const MCI_STATUS_PARMS*)param)->dwItem);
        break;
    case MCI_PLAY: {
        const MCI_PLAY_PARMS* p = (const MCI_PLAY_PARMS*)param;
        snprintf(d, sizeof d, "callback %s from %u", (HWND)p->dwCallback == hWndMain ? "main" : "other", (unsigned)p->dwFrom);
        break;
    }
    }
    calls.push_back({id, msg, flags, d});
    return SeqSendCommand(id, msg, flags, param);
}

}  // namespace

TEST_F(McimidiTest, SendsTheCommandsFlagsAndRecordsOfTheSequencer)
{
    SetSequencerCalls(WatchCommand, SeqGetErrorString);
    calls.clear();
    std::string element = std::string("element ") + sTmpName;
    std::string open = "type sequencer " + element + " callback 0 alias none";

    MCIDEVICEID id = mcimidiOpen(sTmpName);
    wOutDeviceID = id;
    dwPlayPos = 8;
    rec.Freeze(T0 + 1000000);
    mcimidiPlay(hWndMain, id);
    ASSERT_TRUE(rec.WaitFrozen());
    EXPECT_EQ(mcimidiPosition(id), 16u);   // played from 1000 ms for 1000 ms
    mcimidiPause(id);
    mcimidiStop(id);
    // A change while playing: position, then the reopen on the rewritten copy.
    nMode = MODE_PLAY;
    mcimidiChange();
    EXPECT_EQ(dwPlayPos, 16u);
    MCIDEVICEID second = wOutDeviceID;
    mcimidiClose(second);
    wOutDeviceID = 0;

    std::vector<Call> want = {
        {0, MCI_OPEN, 0x2202, open},
        {id, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, "format 0"},
        {id, MCI_STATUS, 0x0102, "item 1"},
        {id, MCI_PLAY, 0x0005, "callback main from 1000"},
        {id, MCI_STATUS, 0x0100, "item 2"},
        {id, MCI_PAUSE, 0x0002, ""},
        {id, MCI_STOP, 0x0002, ""},
        {id, MCI_STATUS, 0x0100, "item 2"},
        {id, MCI_STOP, 0x0002, ""},
        {id, MCI_CLOSE, 0x0002, ""},
        {0, MCI_OPEN, 0x2202, open},
        {second, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, "format 0"},
        {second, MCI_STATUS, 0x0102, "item 1"},
        {second, MCI_PLAY, 0x0005, "callback main from 2000"},
        {second, MCI_CLOSE, 0x0002, ""},
    };
    EXPECT_EQ(calls, want);
    UseOwnSequencer();
}
