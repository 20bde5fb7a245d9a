// The pure half of what the program keeps between runs: the recent files' list, its
// stored form (strings one after another, each ending in a zero, the list in one more
// zero) and the text of its menu items.
#pragma once

#include <cstddef>

#define RECENT_FILES 4
#define RECENT_CHARS 260   // one path with its terminator

// Reads a stored list of at most maxItems paths of fewer than RECENT_CHARS characters.
// Returns the count, or -1 when the data is not such a list (an empty path, a missing
// terminator, too many or too long entries).
int ParseStringList(const char* data, size_t bytes, char (*items)[RECENT_CHARS], int maxItems);
// The stored form of items[0..count-1]; the number of bytes, 0 when out is too small.
size_t FormatStringList(char (*items)[RECENT_CHARS], int count, char* out, size_t size);

// Puts path first in the list, taking out an earlier entry for the same file (names
// compared without case, as the platform does) and the oldest one past RECENT_FILES.
void AddRecentFile(char (*items)[RECENT_CHARS], int* count, const char* path);
void RemoveRecentFile(char (*items)[RECENT_CHARS], int* count, int index);

// The menu text of entry index: "&1 " and the path, shortened to at most maxChars
// characters by leaving out folders in the middle ("C:\...\folder\song.mid"), with each
// '&' doubled so it shows as itself.
void RecentMenuText(int index, const char* path, size_t maxChars, char* out, size_t size);
