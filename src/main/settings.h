// What the program keeps between runs, under HKCU\Software\Zulin Player: the recent files
// and the SoundFont the user chose. Nothing else is stored.
#pragma once

#include <windows.h>
#include "main/settings_logic.h"

#define SETTINGS_KEY "Software\\Zulin Player"

// The list stored as value name, at most maxItems paths; 0 when none was ever stored. -1
// when it cannot be read or is damaged or too long (the caller then writes a good one).
int ReadSettingList(const char* name, char (*items)[RECENT_CHARS], int maxItems);
BOOL WriteSettingList(const char* name, char (*items)[RECENT_CHARS], int count);
// A string value of fewer than size characters; FALSE when there is none or it is damaged.
BOOL ReadSettingString(const char* name, char* text, size_t size);
BOOL WriteSettingString(const char* name, const char* text);

// The SoundFont last loaded through Music > SoundFont..., as it was chosen (the file may
// have gone since). FALSE when none is remembered.
BOOL RememberedSoundFont(char* path, size_t size);
BOOL RememberSoundFont(const char* path);
