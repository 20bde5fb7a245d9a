// What the player does with what it cannot do: songs the sequencer refuses, a song the reader
// rejects, a volume control that does not exist, and commands that need a song before one is
// loaded. Each action shows its one report and leaves the window telling the truth.
#include "e2e/fixture.h"

namespace e2e {
namespace {

class Refusals : public PlayerTest {
protected:
    // Every box the player raises until none has come for quietMs, each dismissed in turn.
    std::vector<BoxInfo> Reports(Player* p, DWORD quietMs = 1500)
    {
        std::vector<BoxInfo> boxes;
        while (HWND h = p->WaitDialog(quietMs)) {
            boxes.push_back(p->Describe(h));
            if (!p->Dismiss(h))
                break;
        }
        return boxes;
    }

    static std::string Texts(const std::vector<BoxInfo>& boxes)
    {
        std::string all;
        for (const BoxInfo& b : boxes)
            all += "[" + b.caption + ": " + b.text + "] ";
        return all;
    }

    // Runs the open dialog of the Open command with this file, and returns what was reported.
    std::vector<BoxInfo> OpenInDialog(Player* p, const std::string& path)
    {
        p->PostCommand(IDM_OPEN);
        HWND dialog = p->WaitDialog(8000);
        if (!dialog)
            return {};
        EXPECT_EQ(WindowText(dialog), "Open");
        EXPECT_TRUE(p->FillFileDialog(dialog, path));
        p->WaitGone(dialog, 5000);
        return Reports(p);
    }

    // A real click on the File menu, then the key of one of its items, as a user picks it.
    // True when the menu opened.
    bool ChooseFromFileMenu(Player* p, char key)
    {
        SetForegroundWindow(p->Main());
        POINT client = {0, 0};
        ClientToScreen(p->Main(), &client);
        POINT file = {client.x + 12, client.y - GetSystemMetrics(SM_CYMENU) / 2};
        if (!p->ClickAt(file))
            return false;
        bool opened = WaitFor([&] { return MenuOpen(p); }, 3000);
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[1].ki.wVk = (WORD)key;
        in[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof(INPUT));
        Pause(500);
        return opened;
    }

    static bool MenuOpen(Player* p)
    {
        struct Search { DWORD pid; bool found; } s = {p->Pid(), false};
        EnumWindows([](HWND h, LPARAM l) -> BOOL {
            Search* s = (Search*)l;
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == s->pid && IsWindowVisible(h) && ClassOf(h) == "#32768")
                s->found = true;
            return !s->found;
        }, (LPARAM)&s);
        return s.found;
    }

    static void CloseMenu(Player* p)
    {
        for (int i = 0; i < 3 && MenuOpen(p); ++i) {
            INPUT in[2] = {};
            in[0].type = in[1].type = INPUT_KEYBOARD;
            in[0].ki.wVk = in[1].ki.wVk = VK_ESCAPE;
            in[1].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(2, in, sizeof(INPUT));
            Pause(300);
        }
    }

    static bool StartsWith(const std::string& text, const std::string& head)
    {
        return text.compare(0, head.size(), head) == 0;
    }
};

const char kNotSupported[] = "This format is not supported! (Try Play only)";

TEST_F(Refusals, SongTheSequencerRefusesLeavesTheTransportStoppedWithOneReportPerAction)
{
    struct Case {
        const char* name;
        Bytes bytes;
        const char* sequencerSays;
    };
    const Case cases[] = {
        {"empty.mid", Bytes(), "The song file is empty."},
        {"foreign.mid", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'm', 'u', 's', 'i', 'c', '\r', '\n'},
         "The file is not a Standard MIDI File."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = WriteWorkFile(c.name, c.bytes);
        // Named on the command line: it is loaded and would be played at once.
        Player* p = Launch(Quoted(path));
        ASSERT_TRUE(p);
        std::vector<BoxInfo> boxes = Reports(p);
        ASSERT_EQ(boxes.size(), 2u) << Texts(boxes);
        EXPECT_EQ(boxes[0].text, kNotSupported);
        EXPECT_EQ(boxes[0].caption, "Attention");
        EXPECT_EQ(boxes[1].caption, "Zulin Error");
        EXPECT_TRUE(StartsWith(boxes[1].text, c.sequencerSays)) << boxes[1].text;
        EXPECT_NE(boxes[1].text.find("\nsize 0 pos 0 dev 0"), std::string::npos) << boxes[1].text;

        ASSERT_TRUE(p->Sync());
        EXPECT_EQ(p->Title(), "Zulin Player - " + path);
        EXPECT_FALSE(p->ButtonChecked(IDM_PLAY)) << "Play pressed while nothing plays";
        EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
        // In the stopped mode Pause does nothing; in a playing one it would press itself.
        ASSERT_TRUE(p->Command(IDM_PAUSE));
        EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE)) << "the mode is not stopped";
        EXPECT_EQ(p->Time(), "0:00.0");

        // The user tries Play: the sequencer's one error, nothing sent to a device that never
        // opened, and the transport stopped again.
        p->PostCommand(IDM_PLAY);
        boxes = Reports(p);
        ASSERT_EQ(boxes.size(), 1u) << Texts(boxes);
        EXPECT_EQ(boxes[0].caption, "Zulin Error");
        EXPECT_TRUE(StartsWith(boxes[0].text, c.sequencerSays)) << boxes[0].text;
        ASSERT_TRUE(p->Sync());
        EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
        ASSERT_TRUE(p->Command(IDM_PAUSE));
        EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
        // Stop has no device to talk to: no box.
        ASSERT_TRUE(p->Command(IDM_STOP));
        EXPECT_TRUE(Reports(p, 700).empty());
        ASSERT_TRUE(p->Quit());
    }
}

TEST_F(Refusals, SaveAsInTheMenuIsGrayedUntilASongIsLoaded)
{
    Player* p = Launch();
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->ButtonEnabled(IDM_SAVEAS));
    ASSERT_TRUE(ChooseFromFileMenu(p, 'A')) << "the File menu did not open";
    CloseMenu(p);
    EXPECT_TRUE(p->Dialogs().empty()) << "a grayed Save As was carried out: " << Texts(Reports(p, 300));

    std::string path = WriteWorkFile("menu.mid", ShortSong(4));
    EXPECT_TRUE(OpenInDialog(p, path).empty());
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->ButtonEnabled(IDM_SAVEAS));
    ASSERT_TRUE(ChooseFromFileMenu(p, 'A')) << "the File menu did not open";
    HWND save = p->WaitDialog(5000);
    ASSERT_TRUE(save) << "Save As in the menu did nothing after a load";
    EXPECT_EQ(WindowText(save), "Save As");
    EXPECT_TRUE(p->Dismiss(save, IDCANCEL));
    CloseMenu(p);
}

TEST_F(Refusals, VolumeControlThatCannotStartIsReported)
{
    // Neither "sndvol32.exe" nor "sndvol.exe" exists in this folder or on the path.
    std::string dir = WorkDir() + "novolume\\";
    CreateDirectoryA(dir.c_str(), NULL);
    Player* p = Launch("", true, dir);
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ClickToolbarButton(IDM_VOLUME));
    std::vector<BoxInfo> boxes = Reports(p);
    ASSERT_EQ(boxes.size(), 1u) << Texts(boxes);
    EXPECT_EQ(boxes[0].text, "The volume control program could not be started.");
    EXPECT_EQ(boxes[0].caption, "Attention");
    EXPECT_TRUE(boxes[0].icon);
    EXPECT_EQ(boxes[0].owner, p->Main());
    EXPECT_TRUE(p->Running());
}

TEST_F(Refusals, TimeScaleLabelsWhatIsLoadedNow)
{
    Player* p = Launch();
    ASSERT_TRUE(p);
    EXPECT_EQ(WindowText(p->TimeScale()), "") << "no labels before a song";

    std::string song = WriteWorkFile("scale.mid", ShortSong(40));   // 32 s
    EXPECT_TRUE(OpenInDialog(p, song).empty());
    std::string labels = WindowText(p->TimeScale());
    EXPECT_EQ(labels, "0:00 0:06 0:12 0:19 0:25 0:32") << "six ticks over 32 s";

    std::string empty = WriteWorkFile("scale-empty.mid", Bytes());
    std::vector<BoxInfo> boxes = OpenInDialog(p, empty);
    EXPECT_EQ(boxes.size(), 2u) << Texts(boxes);
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(p->Title(), "Zulin Player - " + empty);
    EXPECT_EQ(WindowText(p->TimeScale()), "0:00 0:00 0:00 0:00 0:00 0:00") << "the length is unknown";

    EXPECT_TRUE(OpenInDialog(p, song).empty());
    EXPECT_EQ(WindowText(p->TimeScale()), labels);
}

}  // namespace
}  // namespace e2e
