// The writer: names from the rows, every other byte as the image holds it, and saves that
// never leave a broken or half-written target behind.
#include "songtest.h"

using smf::Bytes;

class Writer : public SongTest {
protected:
    int Save(const std::string& path, std::vector<const char*> names)
    {
        return writemidiinfo(path.c_str(), pFileBuf, &MidiInfo, names.empty() ? nullptr : names.data());
    }
};

static const Bytes kBassBody = {0x00, 0xB0, 0x0A, 0x40, 0x00, 0xB0, 0x07, 0x7F, 0x00, 0x90, 0x3C, 0x64,
                                0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

TEST_F(Writer, RenamesTrackWithAndWithoutNameEvent)
{
    Bytes expected = Concat({{'M', 'T', 'r', 'k', 0, 0, 0, 0x21, 0x00, 0xFF, 0x03, 0x09}, Bytes{'L', 'e', 'a', 'd', ' ', 'B', 'a', 's', 's'}, kBassBody});
    smf::Track named;
    named.Name(0, "Bass").Raw(kBassBody);
    ASSERT_EQ(named.data.size(), 28u);
    smf::Track bare;
    bare.Raw(kBassBody);
    for (const smf::Track& t : {named, bare}) {
        ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
        std::string out = Path("lead.mid");
        ASSERT_EQ(Save(out, {"Lead Bass"}), 1);
        Bytes file = ReadFile(out);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 14), Bytes(pFileBuf, pFileBuf + 14));
        EXPECT_EQ(Bytes(file.begin() + 14, file.end()), expected);
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Writer, UnchangedNamesReproduceTheImage)
{
    smf::Track tempo, a, b;
    tempo.Name(0, "Tempo").Tempo(0, 400000).End();
    a.Name(0, "Piano").NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60, 64).End();
    b.Program(0, 1, 33).Text(0, "intro").Name(10, "Bass").NoteOn(0, 1, 40, 100).End();
    ASSERT_EQ(Load(smf::File(1).Add(tempo).Add(a).Add(b).Trailing({1, 2, 3}).Bytes()), 1);
    std::string first = Path("first.mid"), second = Path("second.mid");
    static int allocations;
    allocations = 0;
    SetAllocGate([](DWORD) { ++allocations; return 1; });
    ASSERT_EQ(Save(first, {}), 1);
    EXPECT_EQ(allocations, 1);   // the whole output, nothing per event or per track
    SetAllocGate(nullptr);
    EXPECT_EQ(ReadFile(first), Image());
    ASSERT_EQ(Save(second, {"Piano", "Bass"}), 1);
    EXPECT_EQ(ReadFile(second), Image());
    EXPECT_EQ(Image().size(), dwFileBufSize);   // the writer changes nothing in memory
}

TEST_F(Writer, MiddleNameReplacedInPlaceOnlyTheFirst)
{
    smf::Track t;
    t.Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(7, 0, 60, 1).Name(33, "Old").NoteOff(5, 0, 60, 0).Name(0, "Later").End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    ASSERT_EQ(Save(Path("s.mid"), {"New name"}), 1);
    smf::Track expected;
    expected.Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(7, 0, 60, 1).Name(33, "New name").NoteOff(5, 0, 60, 0).Name(0, "Later").End();
    EXPECT_EQ(ReadFile(Path("s.mid")), smf::File(0).Add(expected).Bytes());

    ASSERT_EQ(Load(ReadFile(Path("s.mid"))), 1);
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "Later");
}

TEST_F(Writer, UnlistedTracksAndEmptyNames)
{
    smf::Track tempo, melody;
    tempo.Name(0, "Conductor").Tempo(0, 500000).End();
    melody.NoteOn(0, 0, 60, 1).End();
    ASSERT_EQ(Load(smf::File(1).Add(tempo).Add(melody).Bytes()), 1);
    ASSERT_EQ(Save(Path("s.mid"), {""}), 1);
    Bytes melodyEvents = Events(1);
    smf::Track named;
    named.Raw({0x00, 0xFF, 0x03, 0x00}).Raw(melodyEvents);
    EXPECT_EQ(ReadFile(Path("s.mid")), smf::File(1).Add(tempo).Add(named).Bytes());
}

TEST_F(Writer, LongNamesUseVariableLengthAndAreCutAt255)
{
    smf::Track t;
    t.Name(0, "x").Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(0, 0, 60, 1).End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    std::string name200(200, 'a');
    ASSERT_EQ(Save(Path("200.mid"), {name200.c_str()}), 1);
    Bytes file = ReadFile(Path("200.mid"));
    EXPECT_EQ(Bytes(file.begin() + 22, file.begin() + 26), (Bytes{0x00, 0xFF, 0x03, 0x81}));
    EXPECT_EQ(file[26], 0x48);   // 200 = 81 48
    EXPECT_EQ(getdword(file.data() + 18), (DWORD)(t.data.size() - 5 + 4 + 200 + 1));
    EXPECT_EQ(file.size(), 22 + getdword(file.data() + 18));

    std::string name300(300, 'b');
    ASSERT_EQ(Save(Path("300.mid"), {name300.c_str()}), 1);
    ASSERT_EQ(Load(ReadFile(Path("300.mid"))), 1);
    EXPECT_EQ(std::string(gettrackname(&MidiInfo, 0)), std::string(255, 'b'));
    ASSERT_EQ(Load(ReadFile(Path("200.mid"))), 1);
    EXPECT_EQ(std::string(gettrackname(&MidiInfo, 0)), name200);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Writer, NameWalkStopsAtAnUndecodableEvent)
{
    smf::Track t;
    t.Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(0, 0, 60, 1).Raw({0x00, 0xF5}).Name(0, "After").End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    Bytes events = Events(0);
    ASSERT_EQ(Save(Path("s.mid"), {"Mine"}), 1);
    smf::Track expected;
    expected.Name(0, "Mine").Raw(events);
    EXPECT_EQ(ReadFile(Path("s.mid")), smf::File(0).Add(expected).Bytes());
}

TEST_F(Writer, FailedSaveLeavesExistingFileWhole)
{
    ASSERT_EQ(Load(smf::File(0).Add(smf::Track().NoteOn(0, 0, 60, 1).End()).Bytes()), 1);
    std::string target = Path("keep.mid");
    Bytes old = {'o', 'l', 'd'};
    WriteFile(target, old);

    SetAllocGate([](DWORD) { return 0; });
    EXPECT_EQ(Save(target, {"A"}), 0);
    SetAllocGate(nullptr);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"SaveBuff: GlobalAlloc failed!"});
    EXPECT_EQ(Reports()[0].caption, "(null)");
    EXPECT_EQ(Reports()[0].owner, nullptr);
    EXPECT_EQ(ReadFile(target), old);

    // A folder in the target's place cannot be replaced: no stray temporary file is left.
    Reports().clear();
    std::filesystem::create_directory(Path("folder.mid"));
    WriteFile(dir / "folder.mid" / "inside", old);
    EXPECT_EQ(Save(Path("folder.mid"), {"A"}), 0);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Tmp File create failed."});
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder.mid")));
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2);

    Reports().clear();
    EXPECT_EQ(Save(Path("no such folder/x.mid"), {"A"}), 0);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Tmp File create failed."});

    // Replacing works, and replaces the whole file.
    WriteFile(target, Bytes(5000, 0x55));
    EXPECT_EQ(Save(target, {""}), 1);
    EXPECT_EQ(ReadFile(target).size(), dwFileBufSize + 4);
}

TEST_F(Writer, LoadEditSaveLoad)
{
    smf::Track tempo, a, b, drums;
    tempo.Tempo(0, 500000).End();
    a.Name(0, "Piano").Program(0, 0, 0).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60, 64).End();
    b.Name(0, "Bass").Volume(0, 1, 90).NoteOn(0, 1, 40, 100).Data(48, {40, 0}).End();
    drums.NoteOn(0, 9, 36, 100).NoteOff(10, 9, 36, 10).End();
    ASSERT_EQ(Load(smf::File(1, 192).Add(tempo).Add(a).Add(b).Add(drums).Bytes()), 1);
    ASSERT_EQ(MidiInfo.wNumListed, 3);

    ASSERT_EQ(settrack(pFileBuf, MidiInfo.nTrackIndex[0], EV_PROGRAM, 24), 1);
    ASSERT_EQ(settrack(pFileBuf, MidiInfo.nTrackIndex[1], EV_VOLUME, 50), 1);
    ASSERT_EQ(settrack(pFileBuf, MidiInfo.nTrackIndex[1], EV_PAN, 100), 1);
    ASSERT_EQ(settrack(pFileBuf, MidiInfo.nTrackIndex[2], 0x80, 0), 1);
    Bytes drumsMuted = Events(3);
    ASSERT_EQ(Save(Path("s.mid"), {"Guitar", "Bass", "Kit"}), 1);

    ASSERT_EQ(Load(ReadFile(Path("s.mid"))), 1);
    EXPECT_TRUE(Reports().empty());
    ASSERT_EQ(getnumtracks(&MidiInfo), 3);
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "Guitar");
    EXPECT_STREQ(gettrackname(&MidiInfo, 1), "Bass");
    EXPECT_STREQ(gettrackname(&MidiInfo, 2), "Kit");
    EXPECT_EQ(getinstr(&MidiInfo, 0), 24);
    EXPECT_EQ(getvol(&MidiInfo, 1), 50);
    EXPECT_EQ(getbal(&MidiInfo, 1), 100);
    EXPECT_EQ(getinstr(&MidiInfo, 2), INSTR_DRUMS);
    EXPECT_EQ(getticks(&MidiInfo), 192);
    // The muted drums come back muted, with a name. Their muted note-ons are note-offs in the
    // saved song, so loading it again zeroes their velocities like any other note-off's.
    drumsMuted[8 + 3] = 0;
    EXPECT_EQ(Events(3), Concat({{0x00, 0xFF, 0x03, 0x03, 'K', 'i', 't'}, drumsMuted}));
    // Unmuting the saved song restores the notes.
    ASSERT_EQ(settrack(pFileBuf, 3, 0x80, 0), 1);
    Bytes unmuted = Events(3);
    EXPECT_EQ(unmuted[7 + 8 + 1], 0x99);
    EXPECT_EQ(unmuted[7 + 8 + 4 + 1], 0x89);
}

TEST_F(Writer, RejectedImageIsSavedAsItStands)
{
    Bytes junk = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ASSERT_EQ(Load(junk), 0);
    MidiInfo.wNumTracks = 0;
    MidiInfo.wNumListed = 0;
    ASSERT_EQ(Save(Path("s.mid"), {}), 1);
    EXPECT_EQ(ReadFile(Path("s.mid")), junk);
}

TEST_F(Writer, NameAfterRunningStatusAtTrackStartIsFound)
{
    smf::Track first, second;
    first.NoteOn(0, 1, 60, 1).Pan(0, 1, 1).Volume(0, 1, 2).End();   // leaves B1 behind
    second.Data(0, {0x3C, 0x40}).Name(0, "Old").NoteOn(0, 1, 62, 1).End();
    ASSERT_EQ(Load(smf::File(1).Add(first).Add(second).Bytes()), 1);
    ASSERT_TRUE(Reports().empty());
    ASSERT_EQ(settrack(pFileBuf, 0, EV_PROGRAM, 1), 1);
    ASSERT_EQ(Save(Path("s.mid"), {"A", "New"}), 1);
    ASSERT_EQ(Load(ReadFile(Path("s.mid"))), 1);
    EXPECT_STREQ(gettrackname(&MidiInfo, 1), "New");
    EXPECT_TRUE(Reports().empty());
}
