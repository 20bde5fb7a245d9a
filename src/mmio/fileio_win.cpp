// Open and Save As: the file dialogs, the whole-file read into a new image, the reader, the
// playback copy, and the save through the writer with the names typed in the rows.
#include <cstddef>
#include <windows.h>
#include <commdlg.h>
#include "mmio/mmio.h"

#define PATH_CHARS 256

#define OPEN_FLAGS (OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES)
#define SAVE_FLAGS (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_LONGNAMES)
static_assert(OPEN_FLAGS == 0x281804, "open dialog flags");
static_assert(SAVE_FLAGS == 0x280006, "save dialog flags");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76, "the dialog record as the 32-bit platform knows it");
#endif

// Display text and pattern pairs; the rest of the 256 bytes stays zero.
static const char szFilter[256] = "Midi Files (*.mid)\0*.mid\0All Files (*.*)\0*.*\0";

BOOL AskFileName(const FILEDIALOG* dialog, BOOL save)
{
    OPENFILENAMEA ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = dialog->owner;
    ofn.lpstrFilter = dialog->filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = dialog->path;
    ofn.nMaxFile = dialog->pathChars;
    ofn.lpstrFileTitle = dialog->fileTitle;
    ofn.nMaxFileTitle = dialog->fileTitle ? dialog->fileTitleChars : 0;
    ofn.lpstrInitialDir = dialog->initialDir;
    ofn.lpstrTitle = dialog->caption;
    ofn.lpstrDefExt = dialog->defaultExt;
    ofn.Flags = dialog->flags;
    return save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
}

static int FileDialog(char* szPath, char* szTitleBuf, DWORD flags, BOOL save)
{
    FILEDIALOG dialog = {};
    dialog.owner = hWndMain;
    dialog.filter = szFilter;
    dialog.path = szPath;
    dialog.pathChars = PATH_CHARS;
    dialog.fileTitle = szTitleBuf;
    dialog.fileTitleChars = PATH_CHARS;
    dialog.flags = flags;
    return AskFileName(&dialog, save);
}

static ROWCOUNTPROC pfnRowCount;
static ROWNAMEPROC pfnRowName;

void SetRowNameSource(ROWCOUNTPROC count, ROWNAMEPROC name)
{
    pfnRowCount = count;
    pfnRowName = name;
}

static void ReportFile(const char* text)
{
    Report(nullptr, text, nullptr, MB_OK);
}

// Reads the whole file into a new image and has the reader prepare it. The previous song
// (image, record) is given up only once the new one has been read and the reader has had
// its work memory, so a failed load leaves it whole.
static int LoadSongFile(const char* szPath)
{
    HANDLE h = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ReportFile("File open failed.");
        return 0;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(h, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        ReportFile("GetFileSize failed!");
        CloseHandle(h);
        return 0;
    }
    BYTE* image = (high == 0 && size <= 0xFFFFFFFFu - 800) ? AllocFixed(size + 800) : nullptr;
    if (!image) {
        CloseHandle(h);
        ReportFile("GlobalAlloc failed!");
        return 0;
    }
    DWORD got = 0;
    if (!ReadFile(h, image, size, &got, nullptr))
        got = 0;
    CloseHandle(h);
    if (got != size) {
        FreeFixed(image);
        ReportFile("Zero bytes read.");
        return 0;
    }

    static MIDIINFO previousInfo;
    BYTE* previousImage = pFileBuf;
    DWORD previousSize = dwFileBufSize;
    previousInfo = MidiInfo;
    pFileBuf = image;
    dwFileBufSize = size;
    int read = ReadSongImage(pFileBuf, &MidiInfo);
    if (read < 0) {
        FreeFixed(image);
        pFileBuf = previousImage;
        dwFileBufSize = previousSize;
        MidiInfo = previousInfo;
        return 0;
    }
    FreeFixed(previousImage);
    if (read == 0) {
        Report(hWndMain, "This format is not supported! (Try Play only)", "Attention", MB_OK | MB_ICONEXCLAMATION);
        MidiInfo.wNumTracks = 0;
        MidiInfo.wNumListed = 0;
    }
    settmp(sTmpName, pFileBuf, dwFileBufSize);
    dwPlayPos = 0;
    return 1;
}

int mcimidiSelectFile(char* szFile)
{
    char szPath[PATH_CHARS];
    char szFileTitle[PATH_CHARS];
    if (szFile && szFile[0]) {
        if (lstrlenA(szFile) >= PATH_CHARS) {
            ReportFile("File open failed.");   // a cut name would open another file
            return 0;
        }
        lstrcpynA(szPath, szFile, PATH_CHARS);
    } else {
        szPath[0] = 0;
        szFileTitle[0] = 0;
        if (!FileDialog(szPath, szFileTitle, OPEN_FLAGS, FALSE))
            return 0;
        if (szFile)
            lstrcpynA(szFile, szPath, 260);
    }
    return LoadSongFile(szPath);
}

int mcimidiSaveFile(char* szFile)
{
    // Nothing to save before a song was read: refused, and no file is written.
    if (!pFileBuf || dwFileBufSize == 0) {
        Report(hWndMain, "Error save file", "Attention", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    char szPath[PATH_CHARS];
    char szFileTitle[PATH_CHARS];
    lstrcpynA(szPath, szFile ? szFile : "", PATH_CHARS);
    szFileTitle[0] = 0;
    if (!FileDialog(szPath, szFileTitle, SAVE_FLAGS, TRUE))
        return 0;

    static char szNames[MAX_TRACKS][PATH_CHARS];
    const char* names[MAX_TRACKS];
    // A row without a name box (the rows could not all be built) keeps the song's own name
    // rather than saving an empty one.
    int rows = pfnRowCount && pfnRowName ? pfnRowCount() : 0;
    for (int k = 0; k < MAX_TRACKS; ++k) {
        szNames[k][0] = 0;
        if (k < rows)
            pfnRowName(k, szNames[k], PATH_CHARS);
        names[k] = k < rows ? szNames[k] : nullptr;
    }
    if (!writemidiinfo(szPath, pFileBuf, &MidiInfo, names)) {
        Report(hWndMain, "Error save file", "Attention", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (szFile)
        lstrcpynA(szFile, szPath, 260);
    return 1;
}
