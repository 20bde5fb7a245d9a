// The registry under HKCU\Software\Zulin Player. Every read is bounded by its buffer and
// checked for its type and its terminators: a value written by anyone else is untrusted.
#include "main/settings.h"

#define RECENT_LIST_BYTES (RECENT_FILES * RECENT_CHARS + 2)

// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a value never stored, or another error (a
// value of another type reads as ERROR_INVALID_DATA).
static LONG ReadValue(const char* name, DWORD wantType, char* data, DWORD* bytes)
{
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD type = 0;
    status = RegQueryValueExA(key, name, nullptr, &type, (BYTE*)data, bytes);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && type != wantType)
        status = ERROR_INVALID_DATA;
    return status;
}

static BOOL WriteValue(const char* name, DWORD type, const char* data, DWORD bytes)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return FALSE;
    LONG status = RegSetValueExA(key, name, 0, type, (const BYTE*)data, bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

int ReadSettingList(const char* name, char (*items)[RECENT_CHARS], int maxItems)
{
    static char data[RECENT_LIST_BYTES];
    DWORD bytes = sizeof data;
    LONG status = ReadValue(name, REG_MULTI_SZ, data, &bytes);
    if (status == ERROR_FILE_NOT_FOUND)
        return 0;    // never stored: an empty list
    if (status != ERROR_SUCCESS)
        return -1;   // of another type, or larger than any good list
    return ParseStringList(data, bytes, items, maxItems);
}

BOOL WriteSettingList(const char* name, char (*items)[RECENT_CHARS], int count)
{
    static char data[RECENT_LIST_BYTES];
    size_t bytes = FormatStringList(items, count, data, sizeof data);
    return bytes != 0 && WriteValue(name, REG_MULTI_SZ, data, (DWORD)bytes);
}

BOOL ReadSettingString(const char* name, char* text, size_t size)
{
    if (size < 2)
        return FALSE;
    DWORD bytes = (DWORD)(size - 1);   // room for a terminator the value may lack
    if (ReadValue(name, REG_SZ, text, &bytes) != ERROR_SUCCESS || bytes == 0)
        return FALSE;
    text[bytes] = '\0';   // a value stored without its terminator ends here
    return text[0] != '\0';
}

BOOL WriteSettingString(const char* name, const char* text)
{
    return WriteValue(name, REG_SZ, text, (DWORD)lstrlenA(text) + 1);
}

BOOL RememberedSoundFont(char* path, size_t size)
{
    return ReadSettingString("SoundFont", path, size);
}

BOOL RememberSoundFont(const char* path)
{
    return WriteSettingString("SoundFont", path);
}
