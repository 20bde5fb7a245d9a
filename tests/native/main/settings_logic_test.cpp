#include <gtest/gtest.h>
#include <string>
#include "main/settings_logic.h"

static int Parse(const std::string& data, char (*items)[RECENT_CHARS])
{
    return ParseStringList(data.data(), data.size(), items, RECENT_FILES);
}

TEST(StoredList, ReadsWhatItWrites)
{
    char items[RECENT_FILES][RECENT_CHARS] = {"C:\\a.mid", "D:\\songs\\b.mid"};
    char data[2 * RECENT_CHARS];
    size_t bytes = FormatStringList(items, 2, data, sizeof data);
    char back[RECENT_FILES][RECENT_CHARS];
    ASSERT_EQ(ParseStringList(data, bytes, back, RECENT_FILES), 2);
    EXPECT_STREQ(back[0], "C:\\a.mid");
    EXPECT_STREQ(back[1], "D:\\songs\\b.mid");
}

TEST(StoredList, RefusesDamagedOrTooLongData)
{
    const std::string tooLong(RECENT_CHARS, 'x');
    const struct { const char* what; std::string data; int count; } cases[] = {
        {"empty list", std::string("\0", 1), 0},
        {"two final zeros", std::string("a\0\0", 3), 1},
        {"no final zero", std::string("a\0b", 3), -1},
        {"an empty entry inside", std::string("a\0\0b\0\0", 6), -1},
        {"five entries", std::string("a\0b\0c\0d\0e\0\0", 11), -1},
        {"an entry too long", tooLong + std::string("\0\0", 2), -1},
        {"nothing at all", std::string(), -1},
    };
    for (const auto& c : cases) {
        char items[RECENT_FILES][RECENT_CHARS];
        EXPECT_EQ(Parse(c.data, items), c.count) << c.what;
    }
}

TEST(RecentFiles, NewestFirstNoTwiceAndAtMostFour)
{
    char items[RECENT_FILES][RECENT_CHARS];
    int count = 0;
    for (const char* p : {"C:\\1.mid", "C:\\2.mid", "C:\\3.mid", "C:\\4.mid", "C:\\5.mid", "c:\\3.MID"})
        AddRecentFile(items, &count, p);
    ASSERT_EQ(count, 4);
    EXPECT_STREQ(items[0], "c:\\3.MID");
    EXPECT_STREQ(items[1], "C:\\5.mid");
    EXPECT_STREQ(items[2], "C:\\4.mid");
    EXPECT_STREQ(items[3], "C:\\2.mid");
    RemoveRecentFile(items, &count, 1);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(items[1], "C:\\4.mid");
}

TEST(RecentFiles, MenuTextIsNumberedShortenedAndShowsAmpersands)
{
    const struct { int index; const char* path; const char* text; } cases[] = {
        {0, "C:\\a.mid", "&1 C:\\a.mid"},
        {3, "C:\\R&B\\a.mid", "&4 C:\\R&&B\\a.mid"},
        {1, "C:\\very long folder name\\another long one\\songs\\tune.mid", "&2 C:\\...\\songs\\tune.mid"},
    };
    for (const auto& c : cases) {
        char text[RECENT_CHARS + 16];
        RecentMenuText(c.index, c.path, 28, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    char text[RECENT_CHARS + 16];
    RecentMenuText(0, ("C:\\" + std::string(100, 'n') + ".mid").c_str(), 28, text, sizeof text);
    EXPECT_LE(strlen(text), 3u + 28u);
}
