// The column header as it is drawn: pictures of the window at two widths and maximized, and
// in each the titles at the left edges of their columns with nothing else in the header.
// Pixels exist only on a real display: scripts/screenshot-header.sh runs this under a virtual
// one and names the folder for the pictures in PLAYER_SHOT_DIR.
#include <cstdlib>
#include <fstream>
#include "e2e/fixture.h"
#include "e2e/input.h"

namespace e2e {
namespace {

// Pixels of a part of the screen, top row first, as 0x00RRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[(size_t)y * width + x] & 0xFFFFFF; }
};

// Asks the script that runs this test for a picture of the screen inside r and waits for
// it: the request "<name>.want" holds the rectangle; the answer is "<name>.bmp", a 24-bit
// bitmap of exactly that part of the screen (the script also keeps it as a PNG). The player
// draws into its own window surfaces, which another process's screen DC does not see.
bool Capture(const std::string& dir, const std::string& name, const RECT& r, Picture* pic)
{
    std::string bmp = dir + "\\" + name + ".bmp";
    DeleteFileA(bmp.c_str());
    {
        std::ofstream want(dir + "\\" + name + ".want.tmp");
        want << (r.right - r.left) << " " << (r.bottom - r.top) << " " << r.left << " " << r.top << "\n";
    }
    MoveFileA((dir + "\\" + name + ".want.tmp").c_str(), (dir + "\\" + name + ".want").c_str());
    if (!WaitFor([&] { return FileExists(bmp); }, 20000))
        return false;
    Bytes b = ReadBytes(bmp);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return false;
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = v << 8 | b[at + i];
        return v;
    };
    uint32_t offset = le(10, 4);
    int width = (int)le(18, 4);
    int height = (int)le(22, 4);
    int bpp = (int)le(28, 2);
    bool bottomUp = height > 0;
    if (height < 0)
        height = -height;
    if ((bpp != 24 && bpp != 32) || width != r.right - r.left || height != r.bottom - r.top)
        return false;
    size_t stride = ((size_t)width * (bpp / 8) + 3) & ~(size_t)3;
    if (offset + stride * height > b.size())
        return false;
    pic->width = width;
    pic->height = height;
    pic->pixels.assign((size_t)width * height, 0);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = &b[offset + stride * (bottomUp ? height - 1 - y : y)];
        for (int x = 0; x < width; ++x) {
            const unsigned char* px = row + x * (bpp / 8);
            pic->pixels[(size_t)y * width + x] = (DWORD)px[2] << 16 | (DWORD)px[1] << 8 | px[0];
        }
    }
    return true;
}

bool IsInk(DWORD rgb)
{
    return ((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF) < 3 * 100;
}

class HeaderShots : public PlayerTest {
protected:
    // Checks the header in a picture of the main window: each column's title starts within a
    // few pixels of where its row controls start, and right of the last title the header is
    // plain background over its whole width.
    void CheckHeader(Player* p, const Picture& pic, const RECT& shot)
    {
        RECT hc;
        GetClientRect(p->Header(), &hc);
        MapWindowPoints(p->Header(), NULL, (POINT*)&hc, 2);
        auto inkIn = [&](int x0, int x1) {   // screen x, inclusive
            for (int x = std::max(x0, (int)hc.left); x <= x1 && x < hc.right; ++x)
                for (int y = hc.top; y < hc.bottom; ++y)
                    if (IsInk(pic.At(x - shot.left, y - shot.top)))
                        return true;
            return false;
        };
        const char* names[] = {"On", "Solo", "Track Name", "Instrument", "Volume", "Balance"};
        int lastLeft = 0;
        for (int column = 0; column < 6; ++column) {
            SCOPED_TRACE(names[column]);
            RECT control;
            GetWindowRect(p->Row(column, 0), &control);
            lastLeft = control.left;
            EXPECT_TRUE(inkIn(control.left, control.left + 6)) << "no title at the column's left edge " << control.left;
            if (column > 0) {
                EXPECT_FALSE(inkIn(control.left - 3, control.left - 1)) << "the previous title runs into this column";
            }
        }
        // "Balance" is well under 80 pixels in any small font; beyond it, nothing may stand.
        DWORD background = pic.At(hc.right - 2 - shot.left, hc.top + 1 - shot.top);
        int stray = 0;
        for (int x = lastLeft + 80; x < hc.right; ++x)
            for (int y = hc.top; y < hc.bottom; ++y)
                if (pic.At(x - shot.left, y - shot.top) != background)
                    ++stray;
        EXPECT_EQ(stray, 0) << "stale lines in the header right of its titles";
    }
};

TEST_F(HeaderShots, TitlesStandOverTheirColumnsAtTwoWidthsAndMaximized)
{
    const char* dir = getenv("PLAYER_SHOT_DIR");
    if (!dir || !*dir)
        GTEST_SKIP() << "needs a real display (scripts/screenshot-header.sh)";
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitFor([&] { return p->Rows() > 0; }, 5000));
    ASSERT_TRUE(p->Command(IDM_STOP));

    struct Step { const char* file; int width; bool maximize; bool reload; };
    const Step steps[] = {
        {"header-585", 0, false, false},      // as View Track List shows it
        {"header-800", 800, false, false},    // made wider by the user
        {"header-maximized", 0, true, false},
        {"header-reloaded", 0, false, true},  // the song opened again, still maximized
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.file);
        if (s.width) {
            RECT r = p->Rect();
            SetWindowPos(p->Main(), NULL, r.left, r.top, s.width, r.bottom - r.top, SWP_NOZORDER);
        }
        if (s.maximize)
            ShowWindow(p->Main(), SW_MAXIMIZE);
        if (s.reload) {
            p->PostCommand(IDM_OPEN);
            HWND dialog = p->WaitDialog(8000);
            ASSERT_TRUE(dialog) << "no open dialog";
            ASSERT_TRUE(p->FillFileDialog(dialog, DemoPath()));
            ASSERT_TRUE(p->WaitGone(dialog, 5000));
        }
        ASSERT_TRUE(p->Sync());
        Pause(1000);   // the window is drawn
        // A maximized window's frame lies off the screen; the picture is of what is on it.
        RECT whole = p->Rect(), screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, shot;
        IntersectRect(&shot, &whole, &screen);
        Picture pic;
        ASSERT_TRUE(Capture(dir, s.file, shot, &pic)) << "no picture came";
        CheckHeader(p, pic, shot);
    }
}

// Ink in the top line of a control in a picture of the screen part shot.
int TopLineInk(const Picture& pic, const RECT& shot, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    int ink = 0;
    for (int x = r.left; x < r.right; ++x)
        if (IsInk(pic.At(x - shot.left, r.top - shot.top)))
            ++ink;
    return ink;
}

TEST_F(HeaderShots, OnAndSoloShowTheFocusMark)
{
    const char* dir = getenv("PLAYER_SHOT_DIR");
    if (!dir || !*dir)
        GTEST_SKIP() << "needs a real display (scripts/screenshot-header.sh)";
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitFor([&] { return p->Rows() > 0; }, 5000));
    ASSERT_TRUE(p->Command(IDM_STOP));
    SetForegroundWindow(p->Main());

    struct Step { const char* file; int focused; };
    for (const Step& s : {Step{"focus-on", 0}, Step{"focus-solo", 1}}) {
        SCOPED_TRACE(s.file);
        if (s.focused == 1) {
            ASSERT_TRUE(PressKey(VK_TAB));
        }
        Pause(1000);
        RECT on, solo, shot;
        GetWindowRect(p->Row(0, 0), &on);
        GetWindowRect(p->Row(1, 0), &solo);
        UnionRect(&shot, &on, &solo);
        InflateRect(&shot, 4, 4);
        Picture pic;
        ASSERT_TRUE(Capture(dir, s.file, shot, &pic)) << "no picture came";
        int onInk = TopLineInk(pic, shot, p->Row(0, 0)), soloInk = TopLineInk(pic, shot, p->Row(1, 0));
        EXPECT_GE(s.focused == 0 ? onInk : soloInk, 4) << "no focus mark on the focused control";
        EXPECT_EQ(s.focused == 0 ? soloInk : onInk, 0) << "a focus mark where the focus is not";
    }
}

}  // namespace
}  // namespace e2e
