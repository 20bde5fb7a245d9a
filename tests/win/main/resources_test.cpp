// The player's resources as built into player.exe: strings, menu, toolbar strip, icons and
// the two dialog templates.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "win/winutil.h"

namespace {

#define REQUIRE_PLAYER() \
    ASSERT_TRUE(PlayerResources()) << "player.exe must be built beside the test (target player)"

std::string String(UINT id)
{
    char buf[256] = "";
    int n = LoadStringA(PlayerResources(), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

const BYTE* Resource(LPCSTR name, LPCSTR type, DWORD* size)
{
    HRSRC found = FindResourceA(PlayerResources(), name, type);
    if (!found)
        return nullptr;
    *size = SizeofResource(PlayerResources(), found);
    return (const BYTE*)LockResource(LoadResource(PlayerResources(), found));
}

TEST(Resources, StringTableHoldsEveryTextAndNothingElse)
{
    REQUIRE_PLAYER();
    const struct { UINT id; const char* text; } strings[] = {
        {1, "Zulin Player"}, {2, "Track Name"}, {3, "Instrument"}, {4, "Volume"}, {5, "Balance"},
        {7, "Set Music Position"}, {100, "New midi file"}, {101, "Open midi file"},
        {103, "Save midi file as..."}, {204, "Stop Playing Music (Go to begining)"}, {205, "Play Music"},
        {206, "Pause Music"}, {207, "Record Track"}, {300, "Loop Music"}, {301, "View Track List"},
        {302, "Volume Control"}, {400, "About"},
    };
    for (const auto& s : strings)
        EXPECT_EQ(String(s.id), s.text) << "string " << s.id;
    for (UINT absent : {0u, 6u, 8u, 102u, 106u, 208u, 401u, 404u})
        EXPECT_EQ(String(absent), "") << "string " << absent;
}

struct Item {
    std::string text;   // "-" for a separator
    UINT id;
    bool grayed;
};

std::vector<Item> Items(HMENU menu)
{
    std::vector<Item> items;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        char text[64] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        if (state & MF_SEPARATOR)
            items.push_back({"-", 0, false});
        else
            items.push_back({text, GetMenuItemID(menu, i), (state & MF_GRAYED) != 0});
    }
    return items;
}

bool operator==(const Item& a, const Item& b)
{
    return a.text == b.text && a.id == b.id && a.grayed == b.grayed;
}

std::ostream& operator<<(std::ostream& os, const Item& i)
{
    return os << "{" << i.text << ", " << i.id << (i.grayed ? ", grayed}" : "}");
}

TEST(Resources, MenuHasThreePopupsWithNewAndHelpGrayed)
{
    REQUIRE_PLAYER();
    HMENU menu = LoadMenuA(PlayerResources(), MAKEINTRESOURCEA(IDM_MAINMENU));
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    const char* popups[] = {"&File", "&Music", "&Help"};
    const std::vector<Item> expected[] = {
        {{"&New", 100, true}, {"&Open...\tCtrl+O", 101, false}, {"Save &As...\tCtrl+S", 103, false},
         {"&Export Audio...\tCtrl+E", 104, true}, {"-", 0, false},
         {"E&xit", 106, false}},
        {{"&Play\tF5", 205, false}, {"&Stop\tEsc", 204, false}, {"P&ause\tSpace", 206, false}, {"-", 0, false},
         {"&Record Track", 207, false}, {"-", 0, false}, {"Sound&Font...", 303, false},
         {"Show &Channels", 304, false}},
        {{"&Help", 401, true}, {"-", 0, false}, {"&About Zulin Player...", 400, false}},
    };
    for (int i = 0; i < 3; i++) {
        char text[32] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, popups[i]);
        HMENU sub = GetSubMenu(menu, i);
        ASSERT_TRUE(sub);
        EXPECT_EQ(Items(sub), expected[i]) << popups[i];
    }
    EXPECT_TRUE(GetMenuState(menu, 304, MF_BYCOMMAND) & MF_CHECKED);   // channel rows are shown at first
    DestroyMenu(menu);
    // No accelerators: the ampersands give menu mnemonics only.
    DWORD size = 0;
    EXPECT_EQ(Resource(MAKEINTRESOURCEA(IDM_MAINMENU), RT_ACCELERATOR, &size), nullptr);
}

// ---- Toolbar strip ---------------------------------------------------------------------

struct Strip {
    BITMAPINFOHEADER info;
    std::vector<RGBQUAD> palette;
    std::vector<BYTE> bits;   // bottom-up rows of 4-bit pixels
    int Pixel(int x, int y) const
    {
        int stride = ((info.biWidth * 4 + 31) / 32) * 4;
        BYTE b = bits[(size_t)(info.biHeight - 1 - y) * stride + x / 2];
        return x % 2 ? b & 15 : b >> 4;
    }
    COLORREF Colour(int x, int y) const
    {
        const RGBQUAD& q = palette[Pixel(x, y)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
};

bool ReadStrip(Strip* s)
{
    DWORD size = 0;
    const BYTE* p = Resource(MAKEINTRESOURCEA(IDB_TOOLBAR), RT_BITMAP, &size);
    if (!p || size < sizeof(BITMAPINFOHEADER) + 64)
        return false;
    memcpy(&s->info, p, sizeof s->info);
    const RGBQUAD* pal = (const RGBQUAD*)(p + s->info.biSize);
    s->palette.assign(pal, pal + 16);
    const BYTE* bits = (const BYTE*)(pal + 16);
    size_t stride = ((s->info.biWidth * 4 + 31) / 32) * 4;
    size_t need = stride * (size_t)s->info.biHeight;
    if ((size_t)(bits - p) + need > size)
        return false;
    s->bits.assign(bits, bits + need);
    return true;
}

// Colours in picture i (16 pixels wide) other than the ground.
std::vector<COLORREF> Colours(const Strip& s, int i)
{
    std::vector<COLORREF> out;
    for (int y = 0; y < 15; y++)
        for (int x = 16 * i; x < 16 * i + 16; x++) {
            COLORREF c = s.Colour(x, y);
            if (c != RGB(192, 192, 192) && std::find(out.begin(), out.end(), c) == out.end())
                out.push_back(c);
        }
    return out;
}

bool Has(const std::vector<COLORREF>& colours, COLORREF c)
{
    return std::find(colours.begin(), colours.end(), c) != colours.end();
}

TEST(Resources, ToolbarStripHoldsTwelvePicturesOnTheButtonFace)
{
    REQUIRE_PLAYER();
    Strip s;
    ASSERT_TRUE(ReadStrip(&s));
    EXPECT_EQ(s.info.biWidth, 192);
    EXPECT_EQ(s.info.biHeight, 15);
    EXPECT_EQ(s.info.biBitCount, 4);
    EXPECT_EQ(s.info.biCompression, (DWORD)BI_RGB);
    const COLORREF standard[16] = {
        RGB(0, 0, 0), RGB(128, 0, 0), RGB(0, 128, 0), RGB(128, 128, 0), RGB(0, 0, 128), RGB(128, 0, 128),
        RGB(0, 128, 128), RGB(192, 192, 192), RGB(128, 128, 128), RGB(255, 0, 0), RGB(0, 255, 0),
        RGB(255, 255, 0), RGB(0, 0, 255), RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(RGB(s.palette[i].rgbRed, s.palette[i].rgbGreen, s.palette[i].rgbBlue), standard[i]) << i;

    for (int i = 0; i < 12; i++) {
        EXPECT_EQ(s.Colour(16 * i, 0), RGB(192, 192, 192)) << "ground of picture " << i;
        EXPECT_FALSE(Colours(s, i).empty()) << "picture " << i << " is empty";
        for (int j = 0; j < i; j++) {
            bool same = true;
            for (int y = 0; y < 15 && same; y++)
                for (int x = 0; x < 16 && same; x++)
                    same = s.Pixel(16 * i + x, y) == s.Pixel(16 * j + x, y);
            EXPECT_FALSE(same) << "pictures " << j << " and " << i << " are the same";
        }
    }
    const COLORREF black = RGB(0, 0, 0);
    EXPECT_TRUE(Has(Colours(s, 0), RGB(255, 255, 255)) && Has(Colours(s, 0), black));   // page and note
    EXPECT_TRUE(Has(Colours(s, 1), RGB(255, 255, 0)));                                 // yellow folder
    EXPECT_TRUE(Has(Colours(s, 2), RGB(128, 128, 0)));                                 // olive disk
    EXPECT_EQ(Colours(s, 3), std::vector<COLORREF>{black});                            // black square
    EXPECT_EQ(Colours(s, 4), std::vector<COLORREF>{RGB(0, 128, 0)});                   // green triangle
    EXPECT_EQ(Colours(s, 5), std::vector<COLORREF>{black});                            // two bars
    EXPECT_EQ(Colours(s, 6), std::vector<COLORREF>{RGB(255, 0, 0)});                   // red disc
    EXPECT_EQ(Colours(s, 7), std::vector<COLORREF>{black});                            // question mark
}

// ---- Icons -----------------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, ThreeIconsEachOne32x32SixteenColourImage)
{
    REQUIRE_PLAYER();
    LPCSTR names[] = {"DLG_ICON", MAKEINTRESOURCEA(IDI_PLAYER), MAKEINTRESOURCEA(IDI_SMALL)};
    for (LPCSTR name : names) {
        SCOPED_TRACE(IS_INTRESOURCE(name) ? std::to_string((UINT_PTR)name) : std::string(name));
        DWORD size = 0;
        const BYTE* group = Resource(name, RT_GROUP_ICON, &size);
        ASSERT_TRUE(group);
        ASSERT_GE(size, 6 + sizeof(GroupIconEntry));
        EXPECT_EQ(*(const WORD*)(group + 4), 1) << "one image";
        GroupIconEntry e;
        memcpy(&e, group + 6, sizeof e);
        EXPECT_EQ(e.width, 32);
        EXPECT_EQ(e.height, 32);
        EXPECT_EQ(e.colours, 16);
        EXPECT_EQ(e.bitCount, 4);
        const BYTE* image = Resource(MAKEINTRESOURCEA(e.id), RT_ICON, &size);
        ASSERT_TRUE(image);
        BITMAPINFOHEADER bi;
        memcpy(&bi, image, sizeof bi);
        EXPECT_EQ(bi.biWidth, 32);
        EXPECT_EQ(bi.biHeight, 64);   // colour bits and mask
        EXPECT_EQ(bi.biBitCount, 4);
    }
}

// ---- Dialogs ---------------------------------------------------------------------------

struct Control {
    DWORD style;
    int x, y, cx, cy;
    int id;
    std::string cls, text;
};

struct Dialog {
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, font;
    int points = 0;
    std::vector<Control> controls;
};

std::string Narrow(const WORD*& p)
{
    std::string s;
    while (*p)
        s += (char)*p++;
    p++;
    return s;
}

// A menu, class or title field: an ordinal (0xFFFF, n), nothing (0) or a string.
std::string Field(const WORD*& p)
{
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return "button";
        case 0x82: return "static";
        }
        return "#" + std::to_string(ordinal);
    }
    return Narrow(p);
}

// Class names are case-insensitive; the compiler may keep them as text or as atoms.
std::string ClassField(const WORD*& p)
{
    std::string s = Field(p);
    for (char& c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

bool ReadDialog(int id, Dialog* d)
{
    DWORD size = 0;
    const BYTE* p = Resource(MAKEINTRESOURCEA(id), RT_DIALOG, &size);
    if (!p)
        return false;
    const DLGTEMPLATE* t = (const DLGTEMPLATE*)p;
    d->style = t->style;
    d->x = t->x, d->y = t->y, d->cx = t->cx, d->cy = t->cy;
    const WORD* w = (const WORD*)(t + 1);
    Field(w);   // menu
    Field(w);   // class
    d->caption = Narrow(w);
    if (t->style & DS_SETFONT) {
        d->points = *w++;
        d->font = Narrow(w);
    }
    for (int i = 0; i < t->cdit; i++) {
        w = (const WORD*)(((UINT_PTR)w + 3) & ~(UINT_PTR)3);
        const DLGITEMTEMPLATE* it = (const DLGITEMTEMPLATE*)w;
        Control c;
        c.style = it->style;
        c.x = it->x, c.y = it->y, c.cx = it->cx, c.cy = it->cy;
        c.id = (short)it->id;
        w = (const WORD*)(it + 1);
        c.cls = ClassField(w);
        c.text = Field(w);
        WORD extra = *w++;
        w = (const WORD*)((const BYTE*)w + extra);
        d->controls.push_back(c);
        if ((const BYTE*)w > p + size)
            return false;
    }
    return true;
}

const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
const DWORD kChild = WS_CHILD | WS_VISIBLE;

void ExpectControl(const Control& c, const char* cls, int id, DWORD style, int x, int y, int cx, int cy)
{
    EXPECT_EQ(c.cls, cls);
    EXPECT_EQ(c.id, id);
    EXPECT_EQ(c.style, style | kChild) << std::hex << c.style;
    EXPECT_EQ(c.x, x);
    EXPECT_EQ(c.y, y);
    EXPECT_EQ(c.cx, cx);
    EXPECT_EQ(c.cy, cy);
}

// Splits a two-line text.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    lines.push_back(text.substr(start));
    return lines;
}

void ExpectNewsAndContact(const std::string& text)
{
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 2u) << text;
    EXPECT_EQ(lines[0].rfind("Last News: ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), strlen("Last News: "));
    EXPECT_EQ(lines[1].rfind("E-mail: ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find('@'), std::string::npos);
}

#define VERSION_STR2(x) #x
#define VERSION_STR(x) VERSION_STR2(x)

TEST(Resources, AboutBoxTemplate)
{
    REQUIRE_PLAYER();
    Dialog d;
    ASSERT_TRUE(ReadDialog(IDD_ABOUT, &d));
    EXPECT_EQ(d.caption, "About Zulin Player");
    EXPECT_EQ(d.style, kDialogStyle) << std::hex << d.style;
    EXPECT_EQ(d.font, "MS Sans Serif");
    EXPECT_EQ(d.points, 8);
    EXPECT_EQ(d.x, 20);
    EXPECT_EQ(d.y, 10);
    EXPECT_EQ(d.cx, 250);
    EXPECT_EQ(d.cy, 80);
    ASSERT_EQ(d.controls.size(), 4u);
    ExpectControl(d.controls[0], "button", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 200, 5, 40, 15);
    EXPECT_EQ(d.controls[0].text, "OK");
    ExpectControl(d.controls[1], "static", -1, SS_ICON, 5, 5, 20, 20);
    EXPECT_EQ(d.controls[1].text, "DLG_ICON");
    ExpectControl(d.controls[2], "static", -1, SS_CENTER | WS_GROUP, 40, 5, 150, 30);
    std::vector<std::string> product = Lines(d.controls[2].text);
    ASSERT_EQ(product.size(), 2u);
    EXPECT_EQ(product[0], "Zulin MIDI Player. Version: 1.00 (98.6)");
    EXPECT_NE(product[1].find(VERSION_STR(PLAYER_VERSION)), std::string::npos) << product[1];
    ExpectControl(d.controls[3], "static", -1, SS_CENTER | WS_GROUP, 20, 50, 210, 30);
    ExpectNewsAndContact(d.controls[3].text);
}

TEST(Resources, RecordNoticeTemplate)
{
    REQUIRE_PLAYER();
    Dialog d, about;
    ASSERT_TRUE(ReadDialog(IDD_RECORD, &d));
    ASSERT_TRUE(ReadDialog(IDD_ABOUT, &about));
    EXPECT_FALSE(d.caption.empty());
    EXPECT_EQ(d.style, kDialogStyle) << std::hex << d.style;
    EXPECT_EQ(d.font, "MS Sans Serif");
    EXPECT_EQ(d.points, 8);
    EXPECT_EQ(d.x, 20);
    EXPECT_EQ(d.y, 10);
    EXPECT_EQ(d.cx, 250);
    EXPECT_EQ(d.cy, 170);
    ASSERT_EQ(d.controls.size(), 6u);
    ExpectControl(d.controls[0], "button", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 200, 5, 40, 15);
    EXPECT_EQ(d.controls[0].text, "OK");
    ExpectControl(d.controls[1], "static", -1, SS_ICON, 5, 5, 20, 20);
    EXPECT_EQ(d.controls[1].text, "DLG_ICON");
    ExpectControl(d.controls[2], "static", -1, SS_LEFT | WS_GROUP, 40, 5, 150, 50);
    EXPECT_NE(d.controls[2].text.find("later version"), std::string::npos) << d.controls[2].text;
    ExpectControl(d.controls[3], "static", -1, SS_LEFT | WS_GROUP, 20, 40, 200, 50);
    ExpectControl(d.controls[4], "static", -1, SS_LEFT | WS_GROUP, 20, 90, 200, 50);
    EXPECT_GE(Lines(d.controls[4].text).size(), 3u) << "a short list of lines";
    ExpectControl(d.controls[5], "static", -1, SS_CENTER | WS_GROUP, 20, 140, 200, 30);
    EXPECT_EQ(d.controls[5].text, about.controls[3].text);
    ExpectNewsAndContact(d.controls[5].text);
}

// The export's progress: a line of text, the bar and Cancel; no close box, so a render ends
// only by Cancel or by itself.
TEST(Resources, ExportProgressTemplate)
{
    REQUIRE_PLAYER();
    Dialog d;
    ASSERT_TRUE(ReadDialog(IDD_EXPORT, &d));
    EXPECT_EQ(d.caption, "Exporting Audio");
    EXPECT_EQ(d.style, (DWORD)(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT)) << std::hex << d.style;
    EXPECT_EQ(d.font, "MS Sans Serif");
    EXPECT_EQ(d.points, 8);
    ASSERT_EQ(d.controls.size(), 3u);
    ExpectControl(d.controls[0], "static", -1, SS_LEFT, 10, 8, 180, 10);
    EXPECT_FALSE(d.controls[0].text.empty());
    ExpectControl(d.controls[1], "msctls_progress32", IDC_EXPORT_PROGRESS, WS_BORDER, 10, 22, 180, 12);
    ExpectControl(d.controls[2], "button", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 75, 42, 50, 14);
    EXPECT_EQ(d.controls[2].text, "Cancel");
}

}  // namespace
