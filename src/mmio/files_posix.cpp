// Whole-file writes and the playback copy, natively (POSIX).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "mmio/song.h"

static char path[260];
static char stmp[260];

char* gettmpname(void)
{
    const char* dir = getenv("TMPDIR");
    snprintf(path, sizeof path, "%s", dir && *dir ? dir : "/tmp");
    if (snprintf(stmp, sizeof stmp, "%s/gyXXXXXX", path) >= (int)sizeof stmp)
        return nullptr;
    int fd = mkstemp(stmp);
    if (fd < 0)
        return nullptr;
    close(fd);
    return stmp;
}

static int WriteAll(int fd, const BYTE* bytes, DWORD count)
{
    DWORD done = 0;
    while (done < count) {
        ssize_t n = write(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        done += (DWORD)n;
    }
    return 1;
}

int settmp(const char* szFile, const BYTE* bytes, DWORD count)
{
    int fd = szFile ? open(szFile, O_WRONLY | O_CREAT | O_TRUNC, 0666) : -1;
    if (fd < 0) {
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    int ok = WriteAll(fd, bytes, count);
    if (close(fd) != 0)
        ok = 0;
    if (!ok) {
        ReportWriteFailure(WRITE_SHORT, "TMP bytes no write.");
        return 0;
    }
    return 1;
}

int deltmp(const char* szFile)
{
    if (!szFile || !*szFile)
        return 0;
    return unlink(szFile) == 0;
}

int ReplaceFileAtomically(const char* szFile, const BYTE* bytes, DWORD count)
{
    char tmp[4096];
    const char* slash = szFile ? strrchr(szFile, '/') : nullptr;
    int dirLen = slash ? (int)(slash - szFile) + 1 : 0;
    if (!szFile || !*szFile || snprintf(tmp, sizeof tmp, "%.*s.gyXXXXXX", dirLen, szFile) >= (int)sizeof tmp) {
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    int fd = mkstemp(tmp);
    if (fd < 0) {
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    // Keep the permissions of the file being replaced; a new file gets the usual ones.
    struct stat st;
    mode_t mode;
    if (stat(szFile, &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);

    int ok = WriteAll(fd, bytes, count) && fsync(fd) == 0;
    if (close(fd) != 0)
        ok = 0;
    if (!ok) {
        unlink(tmp);
        ReportWriteFailure(WRITE_SHORT, "TMP bytes no write.");
        return 0;
    }
    if (rename(tmp, szFile) != 0) {
        unlink(tmp);
        ReportWriteFailure(WRITE_CREATE_FAILED, "Tmp File create failed.");
        return 0;
    }
    return 1;
}
