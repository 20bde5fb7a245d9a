// Shared fixture of the song layer tests: loads images the way the program's Open does and
// records every report instead of showing it.
#pragma once

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "mmio/song.h"
#include "smfbuild.h"

struct ReportRecord {
    HWND owner;
    std::string text;
    std::string caption;   // "(null)" for the platform's default caption
    UINT style;
};

inline std::vector<ReportRecord>& Reports()
{
    static std::vector<ReportRecord> list;
    return list;
}

inline int RecordReport(HWND owner, const char* text, const char* caption, UINT style)
{
    Reports().push_back({owner, text ? text : "", caption ? caption : "(null)", style});
    return 1;
}

inline std::vector<std::string> ReportTexts()
{
    std::vector<std::string> out;
    for (const ReportRecord& r : Reports())
        out.push_back(r.text);
    return out;
}

inline smf::Bytes ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return smf::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& p, const smf::Bytes& b)
{
    std::ofstream out(p, std::ios::binary);
    out.write((const char*)b.data(), (std::streamsize)b.size());
}

class SongTest : public ::testing::Test {
protected:
    std::filesystem::path dir;

    void SetUp() override
    {
        Reports().clear();
        previous = SetReportProc(RecordReport);
        *SharedRunningStatus() = 0;
        memset(&MidiInfo, 0, sizeof MidiInfo);
        hWndMain = (HWND)0x1234;
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (std::string("songtest_") + t->test_suite_name() + "_" + t->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }

    void TearDown() override
    {
        SetReportProc(previous);
        SetAllocGate(nullptr);
        FreeFixed(pFileBuf);
        pFileBuf = nullptr;
        dwFileBufSize = 0;
        hWndMain = nullptr;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // Reads bytes into a fresh image with the 800 bytes of headroom, as a load does.
    int Load(const smf::Bytes& file)
    {
        FreeFixed(pFileBuf);
        pFileBuf = AllocFixed((DWORD)file.size() + 800);
        memset(pFileBuf, 0xEE, file.size() + 800);
        if (!file.empty())
            memcpy(pFileBuf, file.data(), file.size());
        dwFileBufSize = (DWORD)file.size();
        return readmidiinfo(pFileBuf, &MidiInfo);
    }

    smf::Bytes Image() const { return smf::Bytes(pFileBuf, pFileBuf + dwFileBufSize); }

    // The event bytes of chunk ordinal t in the image.
    smf::Bytes Events(int t) const
    {
        DWORD start = 0, end = 0;
        EXPECT_TRUE(FindTrackChunk(pFileBuf, dwFileBufSize, t, &start, &end));
        return smf::Bytes(pFileBuf + start, pFileBuf + end);
    }

    std::string Path(const char* name) const { return (dir / name).string(); }

private:
    REPORTPROC previous = nullptr;
};

inline smf::Bytes Concat(std::initializer_list<smf::Bytes> parts)
{
    smf::Bytes out;
    for (const smf::Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
