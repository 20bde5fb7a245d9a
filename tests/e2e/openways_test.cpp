// The ways Windows users open songs and reach commands: a file dropped on the window, the
// recent files, the keyboard shortcuts.
#include "e2e/fixture.h"
#include "e2e/input.h"
#include "main/settings.h"

#include <shlobj.h>

namespace e2e {
namespace {

class OpenWays : public PlayerTest {
protected:
    // As the shell's drop target hands it to a window that accepts files: a DROPFILES block
    // in the receiving process's memory, the names in UTF-16 one after another, each ending
    // in a zero and the list in one more.
    static bool Drop(Player* p, const std::vector<std::string>& paths)
    {
        std::vector<BYTE> block(sizeof(DROPFILES));
        DROPFILES header = {};
        header.pFiles = sizeof(DROPFILES);
        header.pt.x = 20;
        header.pt.y = 20;
        header.fWide = TRUE;
        memcpy(block.data(), &header, sizeof header);
        for (const std::string& path : paths) {
            wchar_t wide[MAX_PATH];
            int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            const BYTE* bytes = (const BYTE*)wide;
            block.insert(block.end(), bytes, bytes + n * sizeof(wchar_t));
        }
        block.insert(block.end(), sizeof(wchar_t), 0);
        void* remote = VirtualAllocEx(p->Process(), NULL, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        return remote && WriteProcessMemory(p->Process(), remote, block.data(), block.size(), NULL) &&
               PostMessageA(p->Main(), WM_DROPFILES, (WPARAM)remote, 0);
    }

    static bool TitleNames(Player* p, const std::string& path)
    {
        return WaitFor([&] { return p->Title().find(path) != std::string::npos; }, 5000);
    }

    static int StoredRecent(char (*items)[RECENT_CHARS])
    {
        return ReadSettingList("Recent Files", items, RECENT_FILES);
    }

    // A key pressed while the player has the keyboard; a dialog it opens is returned.
    static HWND KeyOpensDialog(Player* p, WORD vk, std::initializer_list<WORD> mods, DWORD ms)
    {
        SetForegroundWindow(p->Main());
        std::vector<HWND> before = p->Dialogs();
        PressKey(vk, mods);
        return p->WaitDialog(ms, std::set<HWND>(before.begin(), before.end()));
    }
};

TEST_F(OpenWays, ADroppedFileIsOpenedAndPlayedAndTheSecondIgnored)
{
    std::string first = WriteWorkFile("dropped.mid", ShortSong(64));
    std::string second = WriteWorkFile("second.mid", ShortSong(8));
    Player* p = Launch();
    ASSERT_TRUE(p);
    ASSERT_TRUE(Drop(p, {first, second}));
    EXPECT_TRUE(TitleNames(p, first)) << p->Title();
    EXPECT_TRUE(WaitFor([&] { return p->ButtonChecked(IDM_PLAY); }, 5000)) << "the dropped song does not play";
    // A drop while it plays replaces the song.
    ASSERT_TRUE(Drop(p, {second}));
    EXPECT_TRUE(TitleNames(p, second)) << p->Title();
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(OpenWays, ADropWhileADialogIsOpenIsRefusedAndTheDialogGoesOn)
{
    std::string song = WriteWorkFile("refused.mid", ShortSong(8));
    Player* p = Launch();
    ASSERT_TRUE(p);
    const std::string title = p->Title();
    p->PostCommand(IDM_ABOUT);
    HWND about = p->WaitDialog(5000);
    ASSERT_TRUE(about);
    ASSERT_TRUE(Drop(p, {song}));
    Pause(800);
    EXPECT_EQ(p->Title(), title);
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_TRUE(p->Dismiss(about));
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(p->Title(), title);
}

TEST_F(OpenWays, ARecentFileSurvivesARestartAndLeavesTheListOnceItHasVanished)
{
    std::string song = WriteWorkFile("recent.mid", ShortSong(8));
    Player* first = Launch(Quoted(song));
    ASSERT_TRUE(first);
    ASSERT_TRUE(TitleNames(first, song));
    ASSERT_TRUE(first->Quit());
    char items[RECENT_FILES][RECENT_CHARS];
    ASSERT_EQ(StoredRecent(items), 1);
    EXPECT_STREQ(items[0], song.c_str());

    Player* p = Launch();
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->Command(IDM_RECENT1));
    EXPECT_TRUE(TitleNames(p, song)) << "File > 1 did not open the song";
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY)) << "opened as File > Open opens, not played";

    ASSERT_TRUE(DeleteFileA(song.c_str()));
    p->PostCommand(IDM_RECENT1);
    BoxInfo box;
    ASSERT_TRUE(p->WaitBox(&box));
    EXPECT_FALSE(box.text.empty());
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(StoredRecent(items), 0) << "the vanished song stays listed";
    p->PostCommand(IDM_RECENT1);   // no entry now: nothing happens
    Pause(500);
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(OpenWays, ADamagedStoredListIsIgnoredAndRewritten)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL), ERROR_SUCCESS);
    const char damaged[] = {'C', ':', '\\', 'x'};   // no terminator
    RegSetValueExA(key, "Recent Files", 0, REG_MULTI_SZ, (const BYTE*)damaged, sizeof damaged);
    RegCloseKey(key);
    Player* p = Launch();
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->Sync());
    char items[RECENT_FILES][RECENT_CHARS];
    EXPECT_EQ(StoredRecent(items), 0);
}

TEST_F(OpenWays, ShortcutsReachTheirCommandsAndDoNothingWhileGrayed)
{
    Player* idle = Launch();
    ASSERT_TRUE(idle);
    // Nothing loaded: Save As, Export, Play and Loop are grayed, and so are their keys.
    EXPECT_FALSE(KeyOpensDialog(idle, 'S', {VK_CONTROL}, 800));
    EXPECT_FALSE(KeyOpensDialog(idle, 'E', {VK_CONTROL}, 800));
    EXPECT_FALSE(KeyOpensDialog(idle, VK_F5, {}, 300));
    EXPECT_FALSE(KeyOpensDialog(idle, 'L', {VK_CONTROL}, 300));
    EXPECT_FALSE(idle->ButtonChecked(IDM_PLAY));
    EXPECT_FALSE(idle->ButtonChecked(IDM_LOOP));
    HWND open = KeyOpensDialog(idle, 'O', {VK_CONTROL}, 5000);
    ASSERT_TRUE(open) << "Ctrl+O";
    EXPECT_TRUE(idle->Dismiss(open, IDCANCEL));
    ASSERT_TRUE(idle->Quit());

    std::string song = WriteWorkFile("keys.mid", ShortSong(400));
    Player* p = Launch(Quoted(song));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitFor([&] { return p->ButtonChecked(IDM_PLAY); }, 5000));
    KeyOpensDialog(p, VK_ESCAPE, {}, 0);
    EXPECT_TRUE(WaitFor([&] { return !p->ButtonChecked(IDM_PLAY); }, 3000)) << "Esc";
    KeyOpensDialog(p, VK_F5, {}, 0);
    EXPECT_TRUE(WaitFor([&] { return p->ButtonChecked(IDM_PLAY); }, 3000)) << "F5";
    // Space on the On box is the box's own; on a volume slider it pauses.
    ASSERT_TRUE(WaitFor([&] { return p->Rows() > 0; }, 3000));
    for (int i = 0; i < 4; ++i) {
        PressKey(VK_TAB);
        Pause(150);
    }
    KeyOpensDialog(p, VK_SPACE, {}, 0);
    EXPECT_TRUE(WaitFor([&] { return p->ButtonChecked(IDM_PAUSE); }, 3000)) << "Space";
    KeyOpensDialog(p, 'L', {VK_CONTROL}, 0);
    EXPECT_TRUE(WaitFor([&] { return p->ButtonChecked(IDM_LOOP); }, 3000)) << "Ctrl+L";
    HWND save = KeyOpensDialog(p, 'S', {VK_CONTROL}, 5000);
    ASSERT_TRUE(save) << "Ctrl+S";
    EXPECT_TRUE(p->Dismiss(save, IDCANCEL));
    HWND exportName = KeyOpensDialog(p, 'E', {VK_CONTROL}, 5000);
    ASSERT_TRUE(exportName) << "Ctrl+E";
    EXPECT_EQ(WindowText(exportName), "Export Audio");
    EXPECT_TRUE(p->Dismiss(exportName, IDCANCEL));
}

}  // namespace
}  // namespace e2e
