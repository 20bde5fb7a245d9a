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

// Another program reading the file (a virus scanner, an indexer, a tool watching the copy)
// holds it for a moment without sharing it for writing: the create is tried again for as
// long as such a read takes, before the write is given up.
#define SHARING_RETRIES 25
#define SHARING_RETRY_MS 8

int settmp(const char* szFile, const BYTE* bytes, DWORD count)
{
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int tries = 0; szFile; ++tries) {
        h = CreateFileA(szFile, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        if (h != INVALID_HANDLE_VALUE || tries == SHARING_RETRIES ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION))
            break;
        Sleep(SHARING_RETRY_MS);
    }
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
