// The SoundFont store.
#include "sound/soundfonts.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "sound/fontpaths.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

#define MAX_RETIRED_FONTS 16

static INIT_ONCE InitOnce = INIT_ONCE_STATIC_INIT;
static CRITICAL_SECTION csFonts;   // everything below but the font itself; never held while loading

static std::atomic<SoundFont*> pFont{nullptr};
static std::atomic<bool> fLoading{false};
static char szPath[SOUNDFONT_PATH_CHARS];
static char szPreferred[SOUNDFONT_PATH_CHARS];
static BOOL fSearched, fUserFont;
static HANDLE hLoader;
static SoundFont* Retired[MAX_RETIRED_FONTS];
static int nRetired;

static BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&csFonts);
    return TRUE;
}

static void EnsureInit(void)
{
    InitOnceExecuteOnce(&InitOnce, InitLock, nullptr, nullptr);
}

bool SoundFontBesideProgram(char* path, size_t size)
{
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, folder, sizeof folder);
    char* slash = n > 0 && n < sizeof folder ? strrchr(folder, '\\') : nullptr;
    if (!slash)
        return false;
    slash[1] = '\0';
    char pattern[MAX_PATH + 8];
    snprintf(pattern, sizeof pattern, "%s*.sf2", folder);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char best[MAX_PATH] = "";
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (!best[0] || lstrcmpiA(fd.cFileName, best) < 0))
            lstrcpynA(best, fd.cFileName, sizeof best);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return best[0] && snprintf(path, size, "%s%s", folder, best) < (int)size;
}

// Takes sf as the font that plays (under csFonts); the previous one is kept until the
// synthesizer lets it go.
static void Install(SoundFont* sf, const char* path)
{
    SoundFont* previous = pFont.exchange(sf);
    if (previous && nRetired < MAX_RETIRED_FONTS)
        Retired[nRetired++] = previous;
    // else: kept for the rest of the run; the synthesizer may still be fading it out
    lstrcpynA(szPath, path, sizeof szPath);
}

// The search: the remembered choice, then the candidates; the first that loads plays. A
// font that cannot be used is passed over without a word.
static DWORD WINAPI LoadThread(LPVOID)
{
    char paths[1 + SOUNDFONT_CANDIDATES][SOUNDFONT_PATH_CHARS];
    int n = 0;
    EnterCriticalSection(&csFonts);
    if (szPreferred[0])
        lstrcpynA(paths[n++], szPreferred, SOUNDFONT_PATH_CHARS);
    LeaveCriticalSection(&csFonts);
    n += SoundFontCandidates(paths + n, SOUNDFONT_CANDIDATES);
    for (int i = 0; i < n; ++i) {
        SoundFont* sf = nullptr;
        char message[256];
        if (LoadSoundFontFile(paths[i], &sf, message, sizeof message) != SF_LOAD_OK)
            continue;
        EnterCriticalSection(&csFonts);
        const BOOL keep = !pFont.load();   // the user may have chosen one meanwhile
        if (keep)
            Install(sf, paths[i]);
        LeaveCriticalSection(&csFonts);
        if (!keep)
            FreeSoundFont(sf);
        break;
    }
    fLoading.store(false);
    return 0;
}

void LoadSoundFontAhead(void)
{
    EnsureInit();
    EnterCriticalSection(&csFonts);
    if (!fSearched && !pFont.load()) {
        fSearched = TRUE;
        fLoading.store(true);
        hLoader = CreateThread(nullptr, 0, LoadThread, nullptr, 0, nullptr);
        if (!hLoader)
            fLoading.store(false);
    }
    LeaveCriticalSection(&csFonts);
}

// Waits for a search under way (never under csFonts: the search takes it).
static void WaitForSearch(void)
{
    EnterCriticalSection(&csFonts);
    HANDLE h = hLoader;
    hLoader = nullptr;
    LeaveCriticalSection(&csFonts);
    if (!h)
        return;
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
}

const SoundFont* SoundFontToPlay(BOOL* loading)
{
    // The loader clears fLoading after it has installed what it found.
    *loading = fLoading.load();
    return pFont.load();
}

int ChooseSoundFont(const char* path, char* message, size_t messageSize)
{
    EnsureInit();
    SoundFont* sf = nullptr;
    int loaded = LoadSoundFontFile(path, &sf, message, messageSize);
    if (loaded != SF_LOAD_OK)
        return loaded;
    EnterCriticalSection(&csFonts);
    Install(sf, path);
    fSearched = TRUE;
    fUserFont = TRUE;
    LeaveCriticalSection(&csFonts);
    return SF_LOAD_OK;
}

BOOL UserChoseSoundFont(void)
{
    EnsureInit();
    EnterCriticalSection(&csFonts);
    BOOL chose = fUserFont;
    LeaveCriticalSection(&csFonts);
    return chose;
}

void PreferSoundFont(const char* path)
{
    EnsureInit();
    EnterCriticalSection(&csFonts);
    lstrcpynA(szPreferred, path ? path : "", sizeof szPreferred);
    LeaveCriticalSection(&csFonts);
}

void SoundFontInUse(char* path, size_t size)
{
    if (!path || size == 0)
        return;
    LoadSoundFontAhead();
    WaitForSearch();
    EnterCriticalSection(&csFonts);
    lstrcpynA(path, szPath, (int)size);
    LeaveCriticalSection(&csFonts);
}

void FreeRetiredSoundFonts(Synth* synth)
{
    EnsureInit();
    EnterCriticalSection(&csFonts);
    if (synth && !SynthUsesSoundFont(synth, pFont.load())) {
        SynthReset(synth);
        SynthSetSoundFont(synth, pFont.load());
    }
    int kept = 0;
    for (int i = 0; i < nRetired; ++i)
        if (synth && SynthUsesSoundFont(synth, Retired[i]))
            Retired[kept++] = Retired[i];
        else
            FreeSoundFont(Retired[i]);
    nRetired = kept;
    LeaveCriticalSection(&csFonts);
}
