// The names Export Audio offers and the progress it shows.
#include <gtest/gtest.h>

#include <string>

#include "main/export_logic.h"

namespace {

TEST(ExportName, TheSongsNameWithTheWaveExtension)
{
    const struct { const char* song; const char* offered; } cases[] = {
        {"C:\\Music\\Morning Walk.mid", "Morning Walk.wav"},
        {"Z:/tmp/a.b.midi", "a.b.wav"},
        {"D:song", "song.wav"},
        {"C:\\Music\\NoExtension", "NoExtension.wav"},
        {"C:\\Music\\.hidden", ".hidden.wav"},     // a leading dot starts the name, not an extension
        {"C:\\Music\\trailing.", "trailing.wav"},
        {"", "Song.wav"},
        {"C:\\Music\\", "Song.wav"},
        {nullptr, "Song.wav"},
    };
    for (const auto& c : cases) {
        char out[64] = "x";
        EXPECT_TRUE(ExportNameFor(c.song, out, sizeof out)) << (c.song ? c.song : "(null)");
        EXPECT_EQ(std::string(out), c.offered) << (c.song ? c.song : "(null)");
    }
    // Exactly room for "abc.wav" and its NUL, then one byte short.
    char fits[8];
    EXPECT_TRUE(ExportNameFor("abc.mid", fits, sizeof fits));
    EXPECT_EQ(std::string(fits), "abc.wav");
    char tooSmall[7] = "x";
    EXPECT_FALSE(ExportNameFor("abc.mid", tooSmall, sizeof tooSmall));
    EXPECT_EQ(std::string(tooSmall), "");
}

TEST(ExportName, FolderKeepsItsSeparator)
{
    const struct { const char* path; const char* folder; } cases[] = {
        {"C:\\Music\\a.wav", "C:\\Music\\"}, {"/tmp/x/y.wav", "/tmp/x/"}, {"D:y.wav", "D:"},
        {"y.wav", ""}, {"", ""}, {nullptr, ""},
    };
    for (const auto& c : cases) {
        char out[64] = "x";
        EXPECT_TRUE(FolderOf(c.path, out, sizeof out));
        EXPECT_EQ(std::string(out), c.folder) << (c.path ? c.path : "(null)");
    }
    char small[4];
    EXPECT_FALSE(FolderOf("C:\\Music\\a.wav", small, sizeof small));
    EXPECT_EQ(std::string(small), "");
}

TEST(ExportProgress, ThousandthsOfTheSong)
{
    const struct { uint64_t done, total; int permille; } cases[] = {
        {0, 1000000, 0}, {1, 1000000, 0}, {999, 1000000, 0}, {1000, 1000000, 1},
        {500000, 1000000, 500}, {999999, 1000000, 999}, {1000000, 1000000, 1000}, {2000000, 1000000, 1000},
        {0, 0, 1000}, {3600000000ull * 10, 3600000000ull * 20, 500},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressPermille(c.done, c.total), c.permille) << c.done << " of " << c.total;
}

} // namespace
