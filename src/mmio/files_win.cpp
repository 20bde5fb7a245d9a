// Whole-file writes and the playback copy on Windows.
#include "mmio/song.h"

static char path[260];
static char stmp[260];

char* gettmpname(void)
{
    GetTempPathA(sizeof path, path);
    if (!GetTempFileNameA(path, "gy", 0, stmp))
        return nullptr;
    return stmp;
}

int settmp(const char* szFile, const BYTE* bytes, DWORD count)
{
    HANDLE h = szFile ? CreateFileA(szFile, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                      : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    DWORD written = 0;
    if (!WriteFile(h, bytes, count, &written, nullptr))
        written = 0;
    CloseHandle(h);
    if (written != count) {
        ReportWriteFailure(WRITE_SHORT, "TMP bytes no write.");
        return 0;
    }
    return 1;
}

int deltmp(const char* szFile)
{
    if (!szFile || !*szFile)
        return 0;
    return DeleteFileA(szFile) ? 1 : 0;
}

int ReplaceFileAtomically(const char* szFile, const BYTE* bytes, DWORD count)
{
    // The temporary file lives in the target's folder, so the final move is a rename.
    char dir[MAX_PATH];
    char tmp[MAX_PATH];
    int dirLen = 0;
    if (szFile) {
        for (int i = 0; szFile[i]; ++i)
            if (szFile[i] == '\\' || szFile[i] == '/' || szFile[i] == ':')
                dirLen = i + 1;
    }
    if (!szFile || !*szFile || dirLen >= (int)sizeof dir) {
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    if (dirLen)
        lstrcpynA(dir, szFile, dirLen + 1);
    else
        lstrcpynA(dir, ".", sizeof dir);
    if (!GetTempFileNameA(dir, "gy", 0, tmp)) {
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    HANDLE h = CreateFileA(tmp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DeleteFileA(tmp);
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    DWORD written = 0;
    if (!WriteFile(h, bytes, count, &written, nullptr))
        written = 0;
    BOOL flushed = FlushFileBuffers(h);
    CloseHandle(h);
    if (written != count || !flushed) {
        DeleteFileA(tmp);
        ReportWriteFailure(WRITE_SHORT, "TMP bytes no write.");
        return 0;
    }
    if (!MoveFileExA(tmp, szFile, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(tmp);
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    return 1;
}
