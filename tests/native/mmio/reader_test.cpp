// The reader: header checks, the song record it fills, the image it prepares for editing,
// and files that are broken in every way the bytes allow.
#include "songtest.h"

using smf::Bytes;

class Reader : public SongTest {};

TEST_F(Reader, TempoTrackAndBareMelodyGetDefaultsAndListing)
{
    smf::Track tempo;
    tempo.Tempo(0, 600000).End();
    smf::Track melody;
    melody.NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60, 0).End();
    smf::File f(1, 96);
    f.Add(tempo).Add(melody);
    Bytes file = f.Bytes();

    ASSERT_EQ(Load(file), 1);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(MidiInfo.wFormat, 1);
    EXPECT_EQ(MidiInfo.wNumTracks, 2);
    EXPECT_EQ(MidiInfo.wDivision, 96);
    EXPECT_EQ(MidiInfo.wNumListed, 1);
    EXPECT_EQ(MidiInfo.nTrackIndex[0], 1);
    EXPECT_EQ(dwFileBufSize, file.size() + 8);

    EXPECT_EQ(Events(0), tempo.data);
    Bytes expected = Concat({{0x00, 0xB0, 0x0A, 0x40, 0x00, 0xB0, 0x07, 0x7F}, melody.data});
    EXPECT_EQ(Events(1), expected);
    EXPECT_EQ(MidiInfo.Track[1].dwSize, expected.size());
    EXPECT_EQ(getdword(pFileBuf + 14 + 8 + tempo.data.size() + 4), expected.size());
    EXPECT_EQ(MidiInfo.Track[1].bPan, MI_NONE);
    EXPECT_EQ(MidiInfo.Track[1].bVolume, MI_NONE);
    EXPECT_EQ(MidiInfo.Track[0].bChannel, MI_NONE);
    // Nothing past the record's tracks is filled.
    EXPECT_EQ(MidiInfo.Track[2].dwSize, 0u);
    EXPECT_EQ(MidiInfo.nTrackIndex[1], 0);
}

TEST_F(Reader, NoteOffVelocitiesBecomeZeroNoteOnsStay)
{
    smf::Track t;
    t.Pan(0, 0, 64).Volume(0, 0, 100)
        .NoteOn(0, 0, 60, 100).NoteOff(10, 0, 60, 0x40).Data(0, {62, 0x33})   // running note-off
        .NoteOn(0, 0, 64, 0).End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    Bytes expected = t.data;
    expected[15] = 0;   // 80 3C 40
    expected[18] = 0;   // 3E 33 on running status
    EXPECT_EQ(Events(0), expected);
}

TEST_F(Reader, DefaultsOnlyWhereMissing)
{
    smf::Track drums;
    drums.Volume(0, 9, 100).NoteOn(0, 9, 36, 100).End();
    smf::Track twoChannels;
    twoChannels.NoteOn(0, 0, 60, 100).NoteOn(0, 1, 60, 100).End();
    smf::Track mixedVolume;
    mixedVolume.Pan(0, 2, 10).Volume(0, 2, 100).Volume(5, 2, 90).Program(0, 2, 24).NoteOn(0, 2, 60, 1).End();
    ASSERT_EQ(Load(smf::File(1).Add(drums).Add(twoChannels).Add(mixedVolume).Bytes()), 1);

    EXPECT_EQ(Events(0), Concat({{0x00, 0xB9, 0x0A, 0x40}, drums.data}));
    EXPECT_EQ(Events(1), twoChannels.data);
    EXPECT_EQ(Events(2), mixedVolume.data);
    EXPECT_EQ(MidiInfo.wNumListed, 3);
    EXPECT_EQ(MidiInfo.Track[0].bVolume, 100);
    EXPECT_EQ(MidiInfo.Track[1].bChannel, MI_MIXED);
    EXPECT_EQ(MidiInfo.Track[2].bVolume, MI_MIXED);
    EXPECT_EQ(MidiInfo.Track[2].bPan, 10);
    EXPECT_EQ(MidiInfo.Track[2].bProgram, 24);
}

TEST_F(Reader, TrackCountLimit)
{
    smf::File f(1);
    for (int i = 0; i < 101; ++i)
        f.Add(smf::Track().End());
    EXPECT_EQ(Load(f.Bytes()), 0);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].text, "Sorry: 101 tracks > 100 (Maximum in this version)");
    EXPECT_EQ(Reports()[0].caption, "(null)");
    EXPECT_EQ(Reports()[0].style, (UINT)MB_ICONEXCLAMATION);
    EXPECT_EQ(Reports()[0].owner, hWndMain);

    Reports().clear();
    f.list.pop_back();
    EXPECT_EQ(Load(f.Bytes()), 1);
    EXPECT_EQ(MidiInfo.wNumTracks, 100);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Reader, HeadersRejectedSilentlyLeaveRecordUntouched)
{
    Bytes good = smf::File(1).Add(smf::Track().NoteOn(0, 0, 60, 1).End()).Bytes();
    struct { size_t at; uint8_t byte; } faults[] = {{9, 3}, {9, 0x80}, {7, 7}, {0, 'X'}};
    for (auto fault : faults) {
        Bytes bad = good;
        bad[fault.at] = fault.byte;
        MidiInfo.wNumTracks = 77;
        EXPECT_EQ(Load(bad), 0) << fault.at;
        EXPECT_EQ(MidiInfo.wNumTracks, 77) << fault.at;
    }
    EXPECT_TRUE(Reports().empty());
    // Byte 8 of the format word and bytes 4 to 6 of the header length are not looked at.
    Bytes loose = good;
    loose[8] = 0x12;
    loose[4] = 0x01;
    EXPECT_EQ(Load(loose), 1);
}

TEST_F(Reader, ShortImagesNeverReadPastTheirEnd)
{
    Bytes good = smf::File(1).Add(smf::Track().NoteOn(0, 0, 60, 1).End()).Bytes();
    EXPECT_EQ(Load({}), 0);
    EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + 13)), 0);
    // The header alone, declaring one chunk whose header does not fit.
    EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + 14)), 0);
    EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + 21)), 0);
    // No chunk at all is declared: accepted, nothing listed.
    Bytes empty = smf::File(1).Bytes();
    EXPECT_EQ(Load(empty), 1);
    EXPECT_EQ(MidiInfo.wNumListed, 0);
    EXPECT_EQ(Image(), empty);
}

TEST_F(Reader, ChunkRunningPastImageIsCutThere)
{
    smf::Track t;
    t.Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(0, 0, 60, 100).NoteOff(10, 0, 60, 0x40).End();
    Bytes file = smf::File(0).Add(t).Bytes();
    // Cut inside the note-off: its bytes stay as they are.
    Bytes cut(file.begin(), file.end() - 5);
    ASSERT_EQ(Load(cut), 1);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Ptr error"});
    EXPECT_EQ(Reports()[0].caption, "Test");
    EXPECT_EQ(Reports()[0].style, (UINT)MB_ICONEXCLAMATION);
    DWORD kept = (DWORD)(cut.size() - 22);
    EXPECT_EQ(MidiInfo.Track[0].dwSize, kept);
    EXPECT_EQ(getdword(pFileBuf + 18), kept);
    EXPECT_EQ(dwFileBufSize, cut.size());
    EXPECT_EQ(Events(0), Bytes(t.data.begin(), t.data.begin() + kept));
    EXPECT_EQ(pFileBuf[dwFileBufSize - 1], 0x3C);
}

TEST_F(Reader, SpareBytesAfterEndOfTrackAreReportedAndKept)
{
    smf::Track t;
    t.Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(0, 0, 60, 100).End().Raw({0x11, 0x22});
    Bytes file = smf::File(0).Add(t).Bytes();
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Ptr error"});
    EXPECT_EQ(Image(), file);
}

TEST_F(Reader, UndecodableEventReportsPositionAndLoadGoesOn)
{
    smf::Track a, b, c;
    a.NoteOn(0, 0, 60, 1).End();
    b.NoteOn(0, 1, 60, 1).End();
    c.NoteOn(0, 2, 60, 1).Raw({0x05, 0xF1, 0x12, 0x34}).NoteOff(0, 2, 60, 0x40).End();
    Bytes file = smf::File(1).Add(a).Add(b).Add(c).Bytes();
    ASSERT_EQ(Load(file), 1);
    // Offset of the F1 event's delta-time in the image as it stood: header, two chunks of
    // 8 + 8 bytes, chunk header, the note-on of chunk 2 (4 bytes).
    DWORD offset = 14 + 2 * (8 + 8) + 8 + 4;
    ASSERT_EQ(Reports().size(), 2u);
    char expected[64];
    snprintf(expected, sizeof expected, "Track 2 Error Pos %04lX\n05F11234", (unsigned long)offset);
    EXPECT_EQ(Reports()[0].text, expected);
    EXPECT_EQ(Reports()[0].caption, "Test");
    EXPECT_EQ(Reports()[0].owner, hWndMain);
    EXPECT_EQ(Reports()[1].text, "Ptr error");
    // The track keeps what was found before the fault; its note-off after it keeps its velocity.
    EXPECT_EQ(MidiInfo.Track[2].bChannel, 2);
    Bytes events = Events(2);
    EXPECT_EQ(events[8 + 4 + 4 + 3], 0x40);
}

TEST_F(Reader, NoStatusYetIsUndecodable)
{
    smf::Track t;
    t.Data(0, {60, 100}).NoteOn(0, 0, 60, 1).End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[0].text, "Track 0 Error Pos 0016\n003C6400");
}

TEST_F(Reader, SysexAndMetaLengthsAreVariableLengthQuantities)
{
    smf::Track t;
    t.Sysex(0, Bytes(5, 0x11))
        .Text(0, std::string(10, 'x'))
        .Text(0, std::string(186, 'y'))             // length 81 3A
        .Sysex(0, Bytes(130, 0x22), 0xF7)           // escape, decoded like F0
        .Name(0, "Lead")
        .NoteOn(0, 3, 60, 100)
        .Text(0, "between")
        .Data(10, {60, 0})                          // running status after a meta event
        .Sysex(0, {0x7E, 0xF7})
        .Data(10, {62, 90})                         // and after a system-exclusive event
        .Controller(0, 3, 7, 99)
        .Text(0, "x")
        .Data(0, {7, 99})                           // controller on running status
        .End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    EXPECT_TRUE(Reports().empty()) << ReportTexts()[0];
    EXPECT_STREQ(MidiInfo.Track[0].szName, "Lead");
    EXPECT_EQ(MidiInfo.Track[0].bChannel, 3);
    EXPECT_EQ(MidiInfo.Track[0].bVolume, 99);
    EXPECT_EQ(Events(0), Concat({{0x00, 0xB3, 0x0A, 0x40}, t.data}));
}

TEST_F(Reader, RunningStatusCarriesIntoTheNextTrack)
{
    smf::Track a, b;
    a.NoteOn(0, 5, 60, 100).End();
    b.Data(0, {61, 100}).Data(10, {61, 0}).End();
    ASSERT_EQ(Load(smf::File(1).Add(a).Add(b).Bytes()), 1);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(MidiInfo.Track[1].bChannel, 5);
    EXPECT_EQ(MidiInfo.wNumListed, 2);
}

TEST_F(Reader, NamesLastOneCountsAndLongOnesAreCut)
{
    smf::Track empty, two, longest, longer;
    empty.Name(0, "").NoteOn(0, 0, 60, 1).End();
    two.Name(0, "First").NoteOn(0, 0, 60, 1).Name(0, "Second").End();
    longest.Name(0, std::string(255, 'n')).NoteOn(0, 0, 60, 1).End();
    longer.Name(0, std::string(300, 'm')).NoteOn(0, 0, 60, 1).End();
    ASSERT_EQ(Load(smf::File(1).Add(empty).Add(two).Add(longest).Add(longer).Bytes()), 1);
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "");
    EXPECT_STREQ(gettrackname(&MidiInfo, 1), "Second");
    EXPECT_EQ(std::string(gettrackname(&MidiInfo, 2)), std::string(255, 'n'));
    EXPECT_EQ(std::string(gettrackname(&MidiInfo, 3)), std::string(259, 'm'));
}

TEST_F(Reader, BytesAfterTheLastChunkStayAfterTheRebuiltChunks)
{
    smf::Track t;
    t.NoteOn(0, 0, 60, 1).End();
    Bytes trailing = {'R', 'I', 'F', 'F', 0x00, 0x01, 0x02};
    Bytes file = smf::File(0).Add(t).Trailing(trailing).Bytes();
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(dwFileBufSize, file.size() + 8);
    Bytes image = Image();
    EXPECT_EQ(Bytes(image.end() - (long)trailing.size(), image.end()), trailing);
}

TEST_F(Reader, ForeignChunkAmongTracksRejects)
{
    smf::Track a, b;
    a.NoteOn(0, 0, 60, 1).NoteOff(1, 0, 60, 9).End();
    b.Type("XFIH").End();
    Bytes file = smf::File(1).Add(a).Add(b).Bytes();
    EXPECT_EQ(Load(file), 0);
    EXPECT_TRUE(Reports().empty());
    // The tracks scanned so far keep their zeroed velocities; nothing else moved.
    Bytes expected = file;
    expected[14 + 8 + 7] = 0;
    EXPECT_EQ(Image(), expected);
}

TEST_F(Reader, NoWorkMemory)
{
    Bytes file = smf::File(0).Add(smf::Track().End()).Bytes();
    pFileBuf = AllocFixed((DWORD)file.size() + 800);
    memcpy(pFileBuf, file.data(), file.size());
    dwFileBufSize = (DWORD)file.size();
    SetAllocGate([](DWORD) { return 0; });
    EXPECT_EQ(readmidiinfo(pFileBuf, &MidiInfo), 0);
    EXPECT_EQ(dwFileBufSize, 0u);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"GlobalAlloc failed!"});
    EXPECT_EQ(Reports()[0].caption, "(null)");
    EXPECT_EQ(Reports()[0].style, (UINT)MB_OK);
    EXPECT_EQ(Reports()[0].owner, nullptr);
}

TEST_F(Reader, EachSongStartsWithoutRunningStatus)
{
    smf::Track a;
    a.NoteOn(0, 3, 60, 100).End();
    smf::Track b;
    b.Data(0, {61, 100}).NoteOn(0, 4, 60, 1).End();
    Bytes second = smf::File(0).Add(b).Bytes();
    ASSERT_EQ(Load(second), 1);
    std::vector<std::string> fresh = ReportTexts();
    Bytes freshImage = Image();
    ASSERT_EQ(fresh.size(), 2u);   // no status for the first event: undecodable, then "Ptr error"

    Reports().clear();
    ASSERT_EQ(Load(smf::File(0).Add(a).Bytes()), 1);   // leaves 93 behind
    ASSERT_EQ(Load(second), 1);
    EXPECT_EQ(ReportTexts(), fresh);
    EXPECT_EQ(Image(), freshImage);
    EXPECT_EQ(MidiInfo.Track[0].bChannel, MI_NONE);
}

TEST_F(Reader, NoDefaultsInFrontOfNotesThatContinueTheTrackBefore)
{
    smf::Track first, second, third;
    first.NoteOn(0, 1, 60, 1).End();
    second.Name(0, "carried").Data(0, {0x3C, 0x40}).NoteOn(5, 1, 62, 1).End();
    third.Text(0, "own").NoteOn(0, 1, 60, 1).Data(0, {61, 1}).End();
    ASSERT_EQ(Load(smf::File(1).Add(first).Add(second).Add(third).Bytes()), 1);
    EXPECT_EQ(Events(1), second.data);
    EXPECT_EQ(Events(2), Concat({{0x00, 0xB1, 0x0A, 0x40, 0x00, 0xB1, 0x07, 0x7F}, third.data}));
    EXPECT_EQ(getvol(&MidiInfo, 1), 127);
    EXPECT_EQ(getbal(&MidiInfo, 1), 64);
}

TEST_F(Reader, HundredTracksFillTheHeadroomExactlyWithOneAllocation)
{
    smf::File f(1);
    for (int i = 0; i < 100; ++i)
        f.Add(smf::Track().NoteOn(0, i % 16, 60, 1).NoteOff(1, i % 16, 60, 5).End());
    f.Trailing({0xAB, 0xCD});
    Bytes file = f.Bytes();
    static int allocations;
    allocations = 0;
    SetAllocGate([](DWORD) { ++allocations; return 1; });
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(allocations, 2);   // the image (by the test) and the reader's one work buffer
    EXPECT_EQ(dwFileBufSize, file.size() + 800);
    EXPECT_EQ(MidiInfo.wNumListed, 100);
    EXPECT_EQ(pFileBuf[dwFileBufSize - 1], 0xCD);
    for (int i = 0; i < 100; ++i) {
        Bytes e = Events(i);
        ASSERT_EQ(e.size(), 8u + 12u);
        EXPECT_EQ(e[1], 0xB0 + i % 16);
        EXPECT_EQ(e[8 + 4 + 3], 0);   // note-off velocity
    }
}
