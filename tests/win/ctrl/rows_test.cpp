// The track rows in a real track view: building, reading back, and each control's change
// reaching the file image, the song record and the sequencer's change flag.
#include "ctrl_harness.h"

using namespace ctrltest;

namespace {

// A melodic track: name, program, volume, pan, one note. With its own volume and pan the
// reader inserts nothing, so the offsets of its bytes are known.
smf::Track Melodic(const std::string& name, int ch, int program, int vol, int pan)
{
    smf::Track t;
    t.Name(0, name);
    if (program >= 0)
        t.Program(0, ch, program);
    t.Volume(0, ch, vol).Pan(0, ch, pan).NoteOn(0, ch, 60, 100).NoteOff(96, ch, 60, 64).End();
    return t;
}

struct Offsets {   // within a Melodic track's event data
    size_t program, volume, pan, noteOn, noteOff;
};

Offsets MelodicOffsets(const std::string& name, bool hasProgram)
{
    size_t at = 4 + name.size();
    Offsets o;
    o.program = at + 2;
    if (hasProgram)
        at += 3;
    o.volume = at + 3;
    o.pan = at + 7;
    o.noteOn = at + 9;
    o.noteOff = at + 13;
    return o;
}

// Chunk 0 is a tempo track and gets no row; rows 0..5 are chunks 1..6.
smf::File Band()
{
    smf::File f(1, 96);
    f.Add(smf::Track().Tempo(0, 500000).End());
    f.Add(Melodic("Piano", 0, 0, 100, 64));
    f.Add(Melodic("Bass", 1, 33, 90, 30));
    f.Add(Melodic("Drums", 9, 0, 110, 64));
    f.Add(smf::Track().Name(0, "Mixed").Volume(0, 2, 80).NoteOn(0, 2, 60, 90).NoteOff(48, 2, 60, 0)
              .NoteOn(0, 3, 64, 90).NoteOff(48, 3, 64, 0).End());
    f.Add(Melodic("Strings", 4, -1, 70, 20));
    f.Add(Melodic("Lead", 5, 81, 127, 127));
    return f;
}

class TrackRows : public TrackViewTest {
protected:
    void Command(int column, int row, int code = BN_CLICKED)
    {
        int id = RowControlId(column, row);
        SendMessageA(view, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(TrackViewRowPane(), id));
    }
    // The image the song layer makes from before with the same edits.
    static smf::Bytes Edited(smf::Bytes before, std::initializer_list<std::pair<int, std::pair<int, int>>> edits)
    {
        for (auto& e : edits)
            EXPECT_EQ(settrack(before.data(), e.first, e.second.first, e.second.second), 1);
        return before;
    }
};

TEST_F(TrackRows, OneRowOfSixControlsPerListedTrack)
{
    Load(Band());
    EXPECT_EQ(GetTrackViewRowCount(), 6);
    EXPECT_EQ(GetChannelRowCount(), 2);           // under the mixed track, row 3
    EXPECT_EQ(DirectChildren(TrackViewRowPane()), 36 + 12);
    EXPECT_TRUE(IsWindowVisible(view));
    EXPECT_TRUE(IsWindowVisible(hwndTrackViewSt));

    const char* classes[ROW_COLUMNS] = {"Button", "Button", "Edit", "ComboBox", "msctls_trackbar32",
                                        "msctls_trackbar32"};
    HWND* handles[ROW_COLUMNS] = {hwndOn, hwndOnly, hwndName, hwndInstr, hwndVol, hwndBal};
    for (int row = 0; row < 6; row++) {
        for (int column = 0; column < ROW_COLUMNS; column++) {
            HWND hwnd = GetDlgItem(TrackViewRowPane(), 100 * column + row);
            ASSERT_NE(hwnd, nullptr) << column << "/" << row;
            EXPECT_EQ(hwnd, handles[column][row]);
            EXPECT_STRCASEEQ(ClassOf(hwnd).c_str(), classes[column]);
            RowRect want = RowControlRect(column, row <= 3 ? row : row + 2);
            RECT rc = RectInView(hwnd);
            EXPECT_EQ(rc.left, want.x) << column << "/" << row;
            EXPECT_EQ(rc.top, want.y) << column << "/" << row;
            EXPECT_EQ(rc.right - rc.left, want.cx) << column << "/" << row;
            if (column != COL_INSTR) {   // a combo box sizes its closed field itself
                EXPECT_EQ(rc.bottom - rc.top, want.cy) << column << "/" << row;
            }
        }
        EXPECT_TRUE(Checked(hwndOn[row]));
        EXPECT_FALSE(Checked(hwndOnly[row]));
        LONG on = GetWindowLongA(hwndOn[row], GWL_STYLE), solo = GetWindowLongA(hwndOnly[row], GWL_STYLE);
        EXPECT_EQ(on & BS_TYPEMASK, BS_AUTOCHECKBOX);
        EXPECT_EQ(solo & BS_TYPEMASK, BS_RADIOBUTTON);
        EXPECT_TRUE(GetWindowLongA(hwndName[row], GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        EXPECT_EQ(GetWindowLongA(hwndInstr[row], GWL_STYLE) & 3, CBS_DROPDOWNLIST);
        EXPECT_TRUE(GetWindowLongA(hwndVol[row], GWL_STYLE) & TBS_AUTOTICKS);
        EXPECT_EQ(SendMessageA(hwndName[row], EM_GETLIMITTEXT, 0, 0), 255);
        EXPECT_EQ(SendMessageA(hwndVol[row], TBM_GETRANGEMIN, 0, 0), 0);
        EXPECT_EQ(SendMessageA(hwndVol[row], TBM_GETRANGEMAX, 0, 0), 127);
        EXPECT_EQ(SendMessageA(hwndBal[row], TBM_GETRANGEMAX, 0, 0), 127);
    }
    EXPECT_EQ(hwndOn[6], nullptr);
    EXPECT_EQ(GetDlgItem(TrackViewRowPane(), 6), nullptr);
}

TEST_F(TrackRows, ShowTheSongRecord)
{
    Load(Band());
    const char* names[] = {"Piano", "Bass", "Drums", "Mixed", "Strings", "Lead"};
    for (int row = 0; row < 6; row++)
        EXPECT_EQ(WindowText(hwndName[row]), names[row]);

    EXPECT_EQ(SendMessageA(hwndInstr[0], CB_GETCOUNT, 0, 0), 128);
    EXPECT_EQ(SendMessageA(hwndInstr[0], CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(ComboText(hwndInstr[0], 0), "Acoustic Grand Piano");
    EXPECT_EQ(ComboText(hwndInstr[0], 44), "Tremelo Strings");
    EXPECT_EQ(ComboText(hwndInstr[0], 127), "Gunshot");
    EXPECT_EQ(SendMessageA(hwndInstr[1], CB_GETCURSEL, 0, 0), 33);
    EXPECT_EQ(ComboText(hwndInstr[1], 33), "Electric Bass (finger)");
    EXPECT_EQ(SendMessageA(hwndInstr[5], CB_GETCURSEL, 0, 0), 81);

    // Drum channel, several channels, no program change: one fixed entry, disabled.
    struct { int row; const char* entry; } fixed[] = {{2, "Standard Midi Drums"}, {3, "Mixed Music"}, {4, "Mixed Music"}};
    for (auto& f : fixed) {
        EXPECT_EQ(SendMessageA(hwndInstr[f.row], CB_GETCOUNT, 0, 0), 1) << f.row;
        EXPECT_EQ(SendMessageA(hwndInstr[f.row], CB_GETCURSEL, 0, 0), 0) << f.row;
        EXPECT_EQ(ComboText(hwndInstr[f.row], 0), f.entry);
        EXPECT_FALSE(IsWindowEnabled(hwndInstr[f.row])) << f.row;
    }
    for (int row : {0, 1, 5})
        EXPECT_TRUE(IsWindowEnabled(hwndInstr[row])) << row;

    int vols[] = {100, 90, 110, 80, 70, 127}, pans[] = {64, 30, 64, 64, 20, 127};
    for (int row = 0; row < 6; row++) {
        EXPECT_EQ(SendMessageA(hwndVol[row], TBM_GETPOS, 0, 0), vols[row]) << row;
        EXPECT_EQ(SendMessageA(hwndBal[row], TBM_GETPOS, 0, 0), pans[row]) << row;
    }
}

TEST_F(TrackRows, NamesReadBackForTheWriter)
{
    Load(Band());
    char buf[300];
    EXPECT_EQ(GetRowName(1, buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "Bass");
    SetWindowTextA(hwndName[1], "Fretless");
    EXPECT_EQ(GetRowName(1, buf, sizeof buf), 8);
    EXPECT_STREQ(buf, "Fretless");
    EXPECT_EQ(GetRowName(1, buf, 4), 3);   // cut to the buffer
    EXPECT_STREQ(buf, "Fre");
    SetWindowTextA(hwndName[2], "");
    EXPECT_EQ(GetRowName(2, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    buf[0] = 'x';
    buf[1] = '\0';
    EXPECT_EQ(GetRowName(6, buf, sizeof buf), 0);   // no such row
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetRowName(-1, buf, sizeof buf), 0);

    std::string longName(255, 'n');
    SetWindowTextA(hwndName[0], longName.c_str());
    EXPECT_EQ(GetRowName(0, buf, sizeof buf), 255);
    EXPECT_EQ(std::string(buf), longName);
    // Typing the name changes neither the image nor the record.
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "Piano");
    EXPECT_EQ(fMidiChange, 0);
}

TEST_F(TrackRows, OnBoxMutesAndRestoresTheTrack)
{
    Load(Band());
    smf::Bytes before = Image();
    size_t data = ChunkData(before, 2);
    Offsets o = MelodicOffsets("Bass", true);
    ASSERT_EQ(before[data + o.noteOn], 0x91);
    ASSERT_EQ(before[data + o.noteOff], 0x81);

    SendMessageA(hwndOn[1], BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(hwndOn[1]));
    smf::Bytes after = Image();
    EXPECT_EQ(after[data + o.noteOn], 0x81);
    EXPECT_EQ(after[data + o.noteOff], 0x91);
    EXPECT_EQ(after, Edited(before, {{2, {EV_NOTEOFF, 0}}}));
    EXPECT_EQ(fMidiChange, 1);

    fMidiChange = 0;
    SendMessageA(hwndOn[1], BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(hwndOn[1]));
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(fMidiChange, 1);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(TrackRows, InstrumentChangeRewritesTheProgram)
{
    Load(Band());
    smf::Bytes before = Image();
    size_t data = ChunkData(before, 2);
    Offsets o = MelodicOffsets("Bass", true);

    SendMessageA(hwndInstr[1], CB_SETCURSEL, 40, 0);
    Command(COL_INSTR, 1, CBN_SELENDOK);   // only a changed selection counts
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(fMidiChange, 0);

    Command(COL_INSTR, 1, CBN_SELCHANGE);
    EXPECT_EQ(Image()[data + o.program], 40);
    EXPECT_EQ(Image(), Edited(before, {{2, {EV_PROGRAM, 40}}}));
    EXPECT_EQ(MidiInfo.Track[2].bProgram, 40);
    EXPECT_EQ(getinstr(&MidiInfo, 1), 40);
    EXPECT_EQ(fMidiChange, 1);

    // No selection: nothing applied.
    fMidiChange = 0;
    smf::Bytes now = Image();
    SendMessageA(hwndInstr[1], CB_SETCURSEL, (WPARAM)-1, 0);
    Command(COL_INSTR, 1, CBN_SELCHANGE);
    EXPECT_EQ(Image(), now);
    EXPECT_EQ(MidiInfo.Track[2].bProgram, 40);
    EXPECT_EQ(fMidiChange, 0);
}

TEST_F(TrackRows, FixedInstrumentEntryIsNeverAppliedAsProgram)
{
    Load(Band());
    smf::Bytes before = Image();
    Command(COL_INSTR, 2, CBN_SELCHANGE);   // the drum row's single entry 0
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(MidiInfo.Track[3].bProgram, 0);
    EXPECT_EQ(getinstr(&MidiInfo, 2), INSTR_DRUMS);
    EXPECT_EQ(fMidiChange, 0);
}

TEST_F(TrackRows, SlidersApplyOnlyWhenReleased)
{
    Load(Band());
    smf::Bytes before = Image();
    size_t data = ChunkData(before, 1);
    Offsets o = MelodicOffsets("Piano", true);

    SendMessageA(hwndVol[0], TBM_SETPOS, TRUE, 50);
    SendMessageA(view, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 50), (LPARAM)hwndVol[0]);
    SendMessageA(view, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 50), (LPARAM)hwndVol[0]);
    SendMessageA(view, WM_HSCROLL, TB_LINEDOWN, (LPARAM)hwndVol[0]);
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(fMidiChange, 0);

    SendMessageA(view, WM_HSCROLL, TB_ENDTRACK, (LPARAM)hwndVol[0]);
    EXPECT_EQ(Image()[data + o.volume], 50);
    EXPECT_EQ(Image(), Edited(before, {{1, {EV_VOLUME, 50}}}));
    EXPECT_EQ(MidiInfo.Track[1].bVolume, 50);
    EXPECT_EQ(getvol(&MidiInfo, 0), 50);
    EXPECT_EQ(fMidiChange, 1);

    fMidiChange = 0;
    SendMessageA(hwndBal[5], TBM_SETPOS, TRUE, 0);
    SendMessageA(view, WM_HSCROLL, TB_ENDTRACK, (LPARAM)hwndBal[5]);
    data = ChunkData(before, 6);
    o = MelodicOffsets("Lead", true);
    EXPECT_EQ(Image()[data + o.pan], 0);
    EXPECT_EQ(Image(), Edited(before, {{1, {EV_VOLUME, 50}}, {6, {EV_PAN, 0}}}));
    EXPECT_EQ(MidiInfo.Track[6].bPan, 0);
    EXPECT_EQ(fMidiChange, 1);

    // A slider that belongs to no row changes nothing.
    fMidiChange = 0;
    smf::Bytes now = Image();
    HWND stray = CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD, 0, 0, 10, 10, view, NULL, hInst, NULL);
    SendMessageA(stray, TBM_SETRANGE, TRUE, MAKELPARAM(0, 127));
    SendMessageA(stray, TBM_SETPOS, TRUE, 3);
    SendMessageA(view, WM_HSCROLL, TB_ENDTRACK, (LPARAM)stray);
    DestroyWindow(stray);
    EXPECT_EQ(Image(), now);
    EXPECT_EQ(fMidiChange, 0);
}

TEST_F(TrackRows, SliderOnTheMixedTrackRewritesEveryVolumeEvent)
{
    Load(Band());
    smf::Bytes before = Image();
    SendMessageA(hwndVol[3], TBM_SETPOS, TRUE, 5);
    SendMessageA(view, WM_HSCROLL, TB_ENDTRACK, (LPARAM)hwndVol[3]);
    EXPECT_EQ(Image(), Edited(before, {{4, {EV_VOLUME, 5}}}));
    EXPECT_NE(Image(), before);
    EXPECT_EQ(MidiInfo.Track[4].bVolume, 5);
}

TEST_F(TrackRows, EditorFailureIsReportedAndTheChangeStillCounts)
{
    // Spare bytes after the end-of-track event: the editor applies the setting, then says so.
    smf::File f(0, 96);
    f.Add(Melodic("Odd", 0, 5, 100, 64).Raw({0x00, 0x00}));
    Load(f);
    smf::Bytes before = Image();
    SendMessageA(hwndOn[0], BM_CLICK, 0, 0);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].text, "Error setting track");
    EXPECT_EQ(Reports()[0].caption, "Test");
    EXPECT_EQ(fMidiChange, 1);
    Offsets o = MelodicOffsets("Odd", true);
    EXPECT_EQ(Image()[ChunkData(before, 0) + o.noteOn], 0x80);
}

// Muted tracks read from the image: a Melodic track is muted when its note-on became 8n.
class TrackSolo : public TrackRows {
protected:
    bool Muted(int row)
    {
        smf::Bytes image = Image();
        static const char* names[] = {"Piano", "Bass", "Drums"};
        Offsets o = MelodicOffsets(names[row], true);
        return (image[ChunkData(image, row + 1) + o.noteOn] & 0xF0) == 0x80;
    }
    void Trio()
    {
        smf::File f(1, 96);
        f.Add(smf::Track().Tempo(0, 500000).End());
        f.Add(Melodic("Piano", 0, 0, 100, 64));
        f.Add(Melodic("Bass", 1, 33, 90, 30));
        f.Add(Melodic("Drums", 9, 0, 110, 64));
        Load(f);
    }
    bool RowEnabled(int row)
    {
        bool on = IsWindowEnabled(hwndOn[row]) != 0;
        EXPECT_EQ(IsWindowEnabled(hwndName[row]) != 0, on);
        EXPECT_EQ(IsWindowEnabled(hwndVol[row]) != 0, on);
        EXPECT_EQ(IsWindowEnabled(hwndBal[row]) != 0, on);
        EXPECT_TRUE(IsWindowEnabled(hwndOnly[row]));   // another row can always take over
        return on;
    }
};

TEST_F(TrackSolo, TakeMoveAndReleaseKeepMutesInStepWithTheBoxes)
{
    Trio();
    smf::Bytes fresh = Image();
    SendMessageA(hwndOn[1], BM_CLICK, 0, 0);   // Bass off
    ASSERT_TRUE(Muted(1));

    fMidiChange = 0;
    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);   // Piano solo
    EXPECT_TRUE(Checked(hwndOnly[0]));
    EXPECT_TRUE(RowEnabled(0));
    EXPECT_FALSE(RowEnabled(1));
    EXPECT_FALSE(RowEnabled(2));
    EXPECT_FALSE(Muted(0));
    EXPECT_TRUE(Muted(1));
    EXPECT_TRUE(Muted(2));
    EXPECT_EQ(fMidiChange, 1);

    SendMessageA(hwndOnly[1], BM_CLICK, 0, 0);   // the solo moves to Bass, whose box is off
    EXPECT_FALSE(Checked(hwndOnly[0]));
    EXPECT_TRUE(Checked(hwndOnly[1]));
    EXPECT_FALSE(RowEnabled(0));
    EXPECT_TRUE(RowEnabled(1));
    EXPECT_FALSE(RowEnabled(2));
    EXPECT_TRUE(Muted(0));
    EXPECT_TRUE(Muted(1));   // every track muted
    EXPECT_TRUE(Muted(2));

    SendMessageA(hwndOn[1], BM_CLICK, 0, 0);   // Bass on again while solo
    EXPECT_FALSE(Muted(1));

    SendMessageA(hwndOnly[1], BM_CLICK, 0, 0);   // release
    for (int row = 0; row < 3; row++) {
        EXPECT_FALSE(Checked(hwndOnly[row]));
        EXPECT_TRUE(RowEnabled(row));
        EXPECT_FALSE(Muted(row));
    }
    EXPECT_EQ(Image(), fresh);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(TrackSolo, DoubleClickNotificationActsTwice)
{
    Trio();
    smf::Bytes fresh = Image();
    Command(COL_SOLO, 2, BN_CLICKED);
    Command(COL_SOLO, 2, BN_DOUBLECLICKED);
    EXPECT_FALSE(Checked(hwndOnly[2]));
    EXPECT_EQ(Image(), fresh);
}

TEST_F(TrackSolo, FixedInstrumentBoxesStayDisabled)
{
    Load(Band());
    // Rows 2 (drums), 3 and 4 (mixed) hold a fixed entry.
    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);
    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);   // release enables the other rows
    EXPECT_TRUE(IsWindowEnabled(hwndVol[2]));
    EXPECT_TRUE(IsWindowEnabled(hwndInstr[1]));
    for (int row : {2, 3, 4})
        EXPECT_FALSE(IsWindowEnabled(hwndInstr[row])) << row;

    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);
    SendMessageA(hwndOnly[2], BM_CLICK, 0, 0);   // take-over enables the drum row
    EXPECT_TRUE(IsWindowEnabled(hwndVol[2]));
    EXPECT_TRUE(IsWindowEnabled(hwndOn[2]));
    EXPECT_FALSE(IsWindowEnabled(hwndInstr[2]));
    SendMessageA(hwndOnly[2], BM_CLICK, 0, 0);
    for (int row : {2, 3, 4})
        EXPECT_FALSE(IsWindowEnabled(hwndInstr[row])) << row;
    for (int row : {0, 1, 5})
        EXPECT_TRUE(IsWindowEnabled(hwndInstr[row])) << row;
}

TEST_F(TrackRows, NextSongReplacesEveryRow)
{
    Load(Band());
    SendMessageA(hwndOnly[1], BM_CLICK, 0, 0);
    SendMessageA(hwndOn[1], BM_CLICK, 0, 0);
    HWND old = hwndName[0];

    smf::File one(0, 96);
    one.Add(Melodic("Solo flute", 0, 73, 100, 64));
    Load(one);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(GetTrackViewRowCount(), 1);
    EXPECT_EQ(DirectChildren(TrackViewRowPane()), 6);
    EXPECT_EQ(WindowText(hwndName[0]), "Solo flute");
    EXPECT_TRUE(Checked(hwndOn[0]));
    EXPECT_FALSE(Checked(hwndOnly[0]));
    EXPECT_TRUE(IsWindowEnabled(hwndOn[0]));
    EXPECT_EQ(SendMessageA(hwndInstr[0], CB_GETCURSEL, 0, 0), 73);
    EXPECT_EQ(hwndOn[1], nullptr);
}

TEST_F(TrackRows, SongWithoutListedTracksShowsAnEmptyView)
{
    Load(Band());
    smf::File tempoOnly(1, 96);
    tempoOnly.Add(smf::Track().Tempo(0, 500000).End());
    Load(tempoOnly);
    EXPECT_EQ(GetTrackViewRowCount(), 0);
    EXPECT_EQ(DirectChildren(TrackViewRowPane()), 0);
    EXPECT_TRUE(IsWindowVisible(view));
    EXPECT_TRUE(IsWindowVisible(hwndTrackViewSt));
    EXPECT_EQ(nRange, 0);
}

// Fails the creation of one window class, counted from the hook's start.
static HHOOK hFailHook;
static const char* szFailClass;
static int nFailAfter;

static LRESULT CALLBACK FailCreationHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        CBT_CREATEWNDA* cw = (CBT_CREATEWNDA*)lParam;
        if (!IS_INTRESOURCE(cw->lpcs->lpszClass) && lstrcmpiA(cw->lpcs->lpszClass, szFailClass) == 0 &&
            nFailAfter-- == 0)
            return 1;
    }
    return CallNextHookEx(hFailHook, code, wParam, lParam);
}

TEST_F(TrackRows, FailedBuildLeavesNoControlsBehind)
{
    Load(Band());
    ASSERT_EQ(LoadImage(Band().Bytes()), 1);
    szFailClass = "COMBOBOX";
    nFailAfter = 2;   // the third row's instrument box
    hFailHook = SetWindowsHookExA(WH_CBT, FailCreationHook, NULL, GetCurrentThreadId());
    ASSERT_NE(hFailHook, nullptr);
    int built = InsertTrackViewItems(view);
    UnhookWindowsHookEx(hFailHook);

    EXPECT_EQ(built, 0);
    EXPECT_EQ(DirectChildren(TrackViewRowPane()), 0);
    EXPECT_FALSE(IsWindowVisible(view));
    EXPECT_EQ(GetTrackViewRowCount(), 0);
    for (int row = 0; row < 3; row++)
        EXPECT_EQ(hwndOn[row], nullptr) << row;

    ASSERT_EQ(InsertTrackViewItems(view), 1);
    EXPECT_EQ(DirectChildren(TrackViewRowPane()), 36 + 12);
    EXPECT_TRUE(IsWindowVisible(view));
}

}  // namespace
