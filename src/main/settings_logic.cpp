#include "main/settings_logic.h"

#include <cctype>
#include <cstdio>
#include <cstring>

int ParseStringList(const char* data, size_t bytes, char (*items)[RECENT_CHARS], int maxItems)
{
    if (!data || bytes == 0)
        return -1;
    int count = 0;
    size_t at = 0;
    for (;;) {
        if (at >= bytes)
            return -1;   // no final zero
        if (data[at] == '\0')
            return at + 1 == bytes || (at + 2 == bytes && data[at + 1] == '\0') ? count : -1;
        size_t len = 0;
        while (at + len < bytes && data[at + len] != '\0')
            ++len;
        if (at + len >= bytes || len >= RECENT_CHARS || count >= maxItems)
            return -1;
        memcpy(items[count], data + at, len);
        items[count][len] = '\0';
        ++count;
        at += len + 1;
    }
}

size_t FormatStringList(char (*items)[RECENT_CHARS], int count, char* out, size_t size)
{
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        size_t len = strlen(items[i]);
        if (at + len + 1 >= size)
            return 0;
        memcpy(out + at, items[i], len + 1);
        at += len + 1;
    }
    if (at >= size)
        return 0;
    out[at++] = '\0';
    return at;
}

static bool SameFile(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (tolower((unsigned char)*a) != tolower((unsigned char)*b))
            return false;
    return *a == *b;
}

void RemoveRecentFile(char (*items)[RECENT_CHARS], int* count, int index)
{
    if (index < 0 || index >= *count)
        return;
    for (int i = index; i + 1 < *count; ++i)
        memcpy(items[i], items[i + 1], RECENT_CHARS);
    --*count;
}

void AddRecentFile(char (*items)[RECENT_CHARS], int* count, const char* path)
{
    if (!path || !*path || strlen(path) >= RECENT_CHARS)
        return;
    for (int i = *count - 1; i >= 0; --i)
        if (SameFile(items[i], path))
            RemoveRecentFile(items, count, i);
    if (*count >= RECENT_FILES)
        *count = RECENT_FILES - 1;
    for (int i = *count; i > 0; --i)
        memcpy(items[i], items[i - 1], RECENT_CHARS);
    snprintf(items[0], RECENT_CHARS, "%s", path);
    ++*count;
}

// Keeps the root ("C:\" or "\\server\") and as many of the last folders as fit.
static void ShortenPath(const char* path, size_t maxChars, char* out, size_t size)
{
    size_t len = strlen(path);
    if (len <= maxChars) {
        snprintf(out, size, "%s", path);
        return;
    }
    size_t root = 0;
    while (root < len && path[root] == '\\')
        ++root;
    while (root < len && path[root] != '\\')
        ++root;
    if (root < len)
        ++root;   // the root's own backslash
    const char* tail = path + len;
    // Step back over whole components while root + "...\" + tail fits.
    for (const char* p = path + len; p > path + root; --p) {
        if (p[-1] != '\\')
            continue;
        if (root + 4 + (size_t)(path + len - p) > maxChars)
            break;
        tail = p;
    }
    if (tail == path + len) {
        // Even the file name alone is too long: its end is cut.
        const char* name = strrchr(path, '\\');
        name = name ? name + 1 : path;
        snprintf(out, size, "...\\%.*s...", (int)(maxChars > 10 ? maxChars - 7 : 3), name);
        return;
    }
    snprintf(out, size, "%.*s...\\%s", (int)root, path, tail);
}

void RecentMenuText(int index, const char* path, size_t maxChars, char* out, size_t size)
{
    char shortPath[RECENT_CHARS];
    ShortenPath(path, maxChars, shortPath, sizeof shortPath);
    size_t at = (size_t)snprintf(out, size, "&%d ", index + 1);
    for (const char* p = shortPath; *p && at + 2 < size; ++p) {
        if (*p == '&')
            out[at++] = '&';
        out[at++] = *p;
    }
    if (at < size)
        out[at] = '\0';
}
