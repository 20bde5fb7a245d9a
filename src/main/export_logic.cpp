// Pure helpers of File > Export Audio...
#include "main/export_logic.h"

#include <cstring>

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

// Length of the folder part: up to and including the last separator.
static size_t FolderLength(const char* path)
{
    size_t n = 0;
    for (size_t i = 0; path[i]; ++i)
        if (IsSeparator(path[i]))
            n = i + 1;
    return n;
}

bool ExportNameFor(const char* songPath, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    const char* name = songPath ? songPath + FolderLength(songPath) : "";
    size_t stem = strlen(name);
    const char* dot = strrchr(name, '.');
    if (dot && dot != name)
        stem = (size_t)(dot - name);
    if (stem == 0) {
        name = "Song";
        stem = 4;
    }
    if (stem + 5 > size)
        return false;
    memcpy(out, name, stem);
    memcpy(out + stem, ".wav", 5);
    return true;
}

bool FolderOf(const char* path, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    size_t n = path ? FolderLength(path) : 0;
    if (n + 1 > size)
        return false;
    if (n)
        memcpy(out, path, n);
    out[n] = '\0';
    return true;
}

int ProgressPermille(uint64_t done, uint64_t total)
{
    if (total == 0 || done >= total)
        return 1000;
    return (int)(done * 1000 / total);
}
