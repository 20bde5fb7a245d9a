// The system's SoundFonts, written out once for the player and midimix.
#include "sound/fontpaths.h"

#include <cstdio>

static const char* const kSystemSoundFonts[] = {
#ifdef _WIN32
    "Z:\\usr\\share\\sounds\\sf2\\default-GM.sf2",
    "Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2",
    "Z:\\usr\\share\\sounds\\sf2\\FluidR3_GM.sf2",
    "Z:\\usr\\share\\sounds\\sf3\\MuseScore_General.sf3",
#else
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf3/MuseScore_General.sf3",
#endif
};

static bool FileExists(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    fclose(f);
    return true;
}

int SoundFontCandidates(char (*paths)[SOUNDFONT_PATH_CHARS], int max)
{
    int n = 0;
    if (n < max && SoundFontBesideProgram(paths[n], SOUNDFONT_PATH_CHARS))
        ++n;
    for (const char* p : kSystemSoundFonts)
        if (n < max && FileExists(p))
            snprintf(paths[n++], SOUNDFONT_PATH_CHARS, "%s", p);
    return n;
}
