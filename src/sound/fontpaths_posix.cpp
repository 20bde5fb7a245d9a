// Natively the program's folder holds no SoundFont of its own.
#include "sound/fontpaths.h"

bool SoundFontBesideProgram(char*, size_t)
{
    return false;
}
