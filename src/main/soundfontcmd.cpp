// Music > SoundFont...: the user's choice of the SoundFont the synthesizer plays from.
#include "main/main.h"

#include <commdlg.h>
#include <cstring>

#include "main/settings.h"
#include "sound/soundfonts.h"
#include "mmio/mmio.h"
#include "synth/soundfont.h"

// Display text and pattern pairs, ending in an empty pair.
static const char szSoundFontFilter[] = "SoundFont Files (*.sf2;*.sf3)\0*.sf2;*.sf3\0";

static BOOL fOwnSequencerForSoundFont;

// Where the platform's sequencer plays (a machine with a MIDI output device), a chosen
// SoundFont takes playback to the own sequencer and the synthesizer; a song that plays
// goes on from where it was, a paused one resumes there.
static void PlayThroughSoundFont(HWND hwnd)
{
    if (midiOutGetNumDevs() == 0 || fOwnSequencerForSoundFont)
        return;   // the own sequencer plays already
    fOwnSequencerForSoundFont = TRUE;
    const BOOL playing = nMode == MODE_PLAY;
    if (playing)
        dwPlayPos = mcimidiPosition(wOutDeviceID);
    if (wOutDeviceID != 0) {
        mcimidiStop(wOutDeviceID);
        mcimidiClose(wOutDeviceID);
        wOutDeviceID = 0;
    }
    UseOwnSequencer();
    if (fFileLoaded && nMode != MODE_STOP) {
        wOutDeviceID = mcimidiOpen(sTmpName);
        if (playing)
            mcimidiPlay(hwnd, wOutDeviceID);
    }
}

LRESULT OnSoundFont(HWND hwnd)
{
    // The font chosen last time comes first, even when it has gone since: the dialog then
    // still starts in its folder.
    char path[MAX_PATH];
    char folder[MAX_PATH] = "";
    if (RememberedSoundFont(path, sizeof path)) {
        lstrcpynA(folder, path, sizeof folder);
        char* slash = strrchr(folder, '\\');
        if (slash)
            *slash = '\0';
        else
            folder[0] = '\0';
    } else {
        SoundFontInUse(path, sizeof path);
    }
    FILEDIALOG dialog = {};
    dialog.initialDir = folder[0] ? folder : NULL;
    dialog.owner = hwnd;
    dialog.filter = szSoundFontFilter;
    dialog.path = path;
    dialog.pathChars = sizeof path;
    dialog.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    if (!AskFileName(&dialog, FALSE))
        return 0;   // cancelled: the SoundFont in use stays
    char message[320];
    if (ChooseSoundFont(path, message, sizeof message) != SF_LOAD_OK) {
        Report(hwnd, message, "Attention", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    RememberSoundFont(path);
    PlayThroughSoundFont(hwnd);
    return 0;
}
