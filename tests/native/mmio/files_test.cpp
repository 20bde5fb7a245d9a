// Whole-file writes, the playback copy's name and its deletion, with the platform's own
// file calls.
#include "songtest.h"

using smf::Bytes;

class Files : public SongTest {};

TEST_F(Files, SettmpWritesWholeBuffersAndEmptiesOldContent)
{
    std::string f = Path("copy.mid");
    Bytes big(100000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = (uint8_t)(i * 7);
    EXPECT_EQ(settmp(f.c_str(), big.data(), (DWORD)big.size()), 1);
    EXPECT_EQ(ReadFile(f), big);
    Bytes small = {1, 2, 3};
    EXPECT_EQ(settmp(f.c_str(), small.data(), 3), 1);
    EXPECT_EQ(ReadFile(f), small);
    EXPECT_EQ(settmp(f.c_str(), nullptr, 0), 1);
    EXPECT_TRUE(std::filesystem::exists(f));
    EXPECT_EQ(std::filesystem::file_size(f), 0u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Files, SettmpFailuresAreReported)
{
    Bytes b = {1};
    EXPECT_EQ(settmp(nullptr, b.data(), 1), 0);
    EXPECT_EQ(settmp(Path("missing/x.mid").c_str(), b.data(), 1), 0);
    ASSERT_EQ(ReportTexts(), std::vector<std::string>(2, "Tmp File create failed."));
    EXPECT_EQ(Reports()[0].caption, "(null)");
    EXPECT_EQ(Reports()[0].style, (UINT)MB_OK);
    EXPECT_EQ(Reports()[0].owner, nullptr);
}

TEST_F(Files, TemporaryNameIsANewEmptyFile)
{
    char* name = gettmpname();
    ASSERT_NE(name, nullptr);
    std::string first = name;
    std::filesystem::path p(first);
    EXPECT_EQ(p.filename().string().rfind("gy", 0), 0u) << first;
    EXPECT_TRUE(std::filesystem::exists(p));
    EXPECT_EQ(std::filesystem::file_size(p), 0u);
    EXPECT_EQ((p.parent_path() / "x").lexically_normal(), (std::filesystem::temp_directory_path() / "x").lexically_normal());

    std::string second = gettmpname();
    EXPECT_NE(first, second);
    EXPECT_EQ(deltmp(first.c_str()), 1);
    EXPECT_EQ(deltmp(second.c_str()), 1);
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_EQ(deltmp(first.c_str()), 0);   // already gone
    EXPECT_EQ(deltmp(""), 0);
    EXPECT_EQ(deltmp(nullptr), 0);
}

TEST_F(Files, AtomicReplaceLeavesOnlyTheTarget)
{
    std::string target = Path("song.mid");
    WriteFile(target, Bytes(10, 1));
    Bytes b = {9, 8, 7};
    EXPECT_EQ(ReplaceFileAtomically(target.c_str(), b.data(), 3), 1);
    EXPECT_EQ(ReadFile(target), b);
    EXPECT_EQ(ReplaceFileAtomically(Path("new.mid").c_str(), b.data(), 3), 1);
    EXPECT_EQ(ReplaceFileAtomically(Path("empty.mid").c_str(), nullptr, 0), 1);
    EXPECT_EQ(std::filesystem::file_size(Path("empty.mid")), 0u);
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(ReplaceFileAtomically(nullptr, b.data(), 3), 0);
    EXPECT_EQ(ReplaceFileAtomically("", b.data(), 3), 0);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>(2, "Tmp File create failed."));
}
