// The program's shared state: the file image, the song record and the transport globals.
#include "mmio/song.h"

BYTE* pFileBuf;
DWORD dwFileBufSize;
MIDIINFO MidiInfo;
HWND hWndMain;
int nMode = MODE_STOP;
int fFileLoaded;
int fMidiChange;
int fSequencerStarting;
MCIDEVICEID wOutDeviceID;
DWORD dwPlayPos;
DWORD dwFileSize;
char szFileName[260];
char* sTmpName;
