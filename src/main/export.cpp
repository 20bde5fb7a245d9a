// File > Export Audio...: the song as the user hears it now (every row setting, solo and
// mute are in the image) rendered through the synthesizer to a WAV file. The render runs on
// a thread of its own under a modal progress dialog; it writes a temporary file beside the
// target, which replaces the target only when everything was written.
#include "main/main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <commdlg.h>

#include "main/export_logic.h"
#include "sound/soundfonts.h"
#include "mmio/mmio.h"
#include "sound/render.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

#define EXPORT_PATH_CHARS 260
#define IDT_EXPORT_POLL 1

enum ExportResult {
    EXPORT_OK,
    EXPORT_CANCELLED,
    EXPORT_NO_SOUNDFONT,
    EXPORT_BAD_SOUNDFONT,   // szMessage holds the loader's sentence
    EXPORT_NO_MEMORY,
    EXPORT_NOT_MIDI,
    EXPORT_WRITE_FAILED,
};

// One export: what the worker thread reads, and what it and the dialog share.
struct EXPORTJOB {
    BYTE* pImage;                 // a private copy of the playback image
    DWORD cbImage;
    char szFont[EXPORT_PATH_CHARS];
    char szTemp[EXPORT_PATH_CHARS];
    volatile LONG nPermille;      // written by the worker, read by the dialog
    volatile LONG fCancel;        // written by the dialog, read by the worker
    HANDLE hThread;
    int nResult;                  // the worker's; read once the thread has ended
    char szMessage[512];
};

// ---- The SoundFont -------------------------------------------------------------------

// The export sounds like the live output: the SoundFont the user chose, else the one the
// player plays or would look for first.
static bool FindExportSoundFont(char* path, size_t size)
{
    path[0] = '\0';
    SoundFontInUse(path, size);
    return path[0] != '\0';
}

// ---- The worker ----------------------------------------------------------------------

static bool ExportProgress(void* ctx, uint64_t doneUs, uint64_t totalUs)
{
    EXPORTJOB* job = (EXPORTJOB*)ctx;
    InterlockedExchange(&job->nPermille, ProgressPermille(doneUs, totalUs));
    return InterlockedCompareExchange(&job->fCancel, 0, 0) == 0;
}

static int RenderJob(EXPORTJOB* job)
{
    SoundFont* font = nullptr;
    if (LoadSoundFontFile(job->szFont, &font, job->szMessage, sizeof job->szMessage) != SF_LOAD_OK)
        return EXPORT_BAD_SOUNDFONT;
    SynthConfig config;
    Synth* synth = CreateSynth(config);
    if (!synth) {
        FreeSoundFont(font);
        return EXPORT_NO_MEMORY;
    }
    SynthSetSoundFont(synth, font);

    int result = EXPORT_WRITE_FAILED;
    WAVWRITER wav;
    bool opened = WavOpen(&wav, job->szTemp);
    if (opened) {
        RENDEROUTPUT out = {WavWriteProc, &wav, ExportProgress, job};
        int rendered = RenderSong(job->pImage, job->cbImage, synth, 0, &out, nullptr);
        bool closed = WavClose(&wav);
        result = rendered == RENDER_CANCELLED  ? EXPORT_CANCELLED
               : rendered == RENDER_NOT_MIDI   ? EXPORT_NOT_MIDI
               : rendered == RENDER_NO_MEMORY  ? EXPORT_NO_MEMORY
               : rendered == RENDER_OK && closed ? EXPORT_OK
                                                 : EXPORT_WRITE_FAILED;
    } else if (wav.f) {
        WavClose(&wav);
    }
    DestroySynth(synth);
    FreeSoundFont(font);
    return result;
}

static DWORD WINAPI ExportThread(LPVOID param)
{
    EXPORTJOB* job = (EXPORTJOB*)param;
    job->nResult = RenderJob(job);
    return 0;
}

// ---- The progress dialog -------------------------------------------------------------

static void CancelExport(HWND hDlg, EXPORTJOB* job)
{
    InterlockedExchange(&job->fCancel, 1);
    EnableWindow(GetDlgItem(hDlg, IDCANCEL), FALSE);
}

// Polls the worker: the bar follows its progress, and the dialog ends once it has ended.
static void PollExport(HWND hDlg, EXPORTJOB* job)
{
    SendDlgItemMessageA(hDlg, IDC_EXPORT_PROGRESS, PBM_SETPOS, (WPARAM)InterlockedCompareExchange(&job->nPermille, 0, 0), 0);
    if (WaitForSingleObject(job->hThread, 0) == WAIT_OBJECT_0) {
        KillTimer(hDlg, IDT_EXPORT_POLL);
        EndDialog(hDlg, IDOK);
    }
}

static INT_PTR OnExportInit(HWND hDlg, EXPORTJOB* job)
{
    SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)job);
    SendDlgItemMessageA(hDlg, IDC_EXPORT_PROGRESS, PBM_SETRANGE32, 0, 1000);
    job->hThread = CreateThread(NULL, 0, ExportThread, job, 0, NULL);
    if (!job->hThread) {
        job->nResult = EXPORT_NO_MEMORY;
        EndDialog(hDlg, IDABORT);
        return TRUE;
    }
    SetTimer(hDlg, IDT_EXPORT_POLL, 50, NULL);
    return TRUE;
}

static INT_PTR CALLBACK ExportDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    EXPORTJOB* job = (EXPORTJOB*)GetWindowLongPtrA(hDlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG: return OnExportInit(hDlg, (EXPORTJOB*)lParam);
    case WM_TIMER:      if (job) PollExport(hDlg, job); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && job)
            CancelExport(hDlg, job);
        return TRUE;
    }
    return FALSE;
}

// ---- The command ---------------------------------------------------------------------

static void ReportExport(HWND hwnd, const char* text)
{
    Report(hwnd, text, "Attention", MB_OK | MB_ICONEXCLAMATION);
}

static void ReportExportFailure(HWND hwnd, const EXPORTJOB* job, int result, const char* target)
{
    char text[700];
    switch (result) {
    case EXPORT_NO_SOUNDFONT:
        snprintf(text, sizeof text, "No SoundFont was found to play the song with, so it cannot be exported.");
        break;
    case EXPORT_BAD_SOUNDFONT:
        snprintf(text, sizeof text, "%s", job->szMessage);
        break;
    case EXPORT_NO_MEMORY:
        snprintf(text, sizeof text, "There is not enough memory to export the song.");
        break;
    case EXPORT_NOT_MIDI:
        snprintf(text, sizeof text, "The song cannot be exported: it holds no music the player can play.");
        break;
    default:
        snprintf(text, sizeof text, "The audio could not be written to %s.", target);
        break;
    }
    ReportExport(hwnd, text);
}

static bool AskExportName(HWND hwnd, char* path)
{
    static const char szWaveFilter[] = "Wave Files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";
    if (!ExportNameFor(szFileName, path, EXPORT_PATH_CHARS))
        path[0] = '\0';
    FILEDIALOG dialog = {};
    dialog.owner = hwnd;
    dialog.filter = szWaveFilter;
    dialog.path = path;
    dialog.pathChars = EXPORT_PATH_CHARS;
    dialog.caption = "Export Audio";
    dialog.defaultExt = "wav";
    dialog.flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    return AskFileName(&dialog, TRUE) != 0;
}

// The temporary file lives in the target's folder, so the final move is a rename.
static bool MakeTempBeside(const char* target, char* temp)
{
    char folder[EXPORT_PATH_CHARS];
    if (!FolderOf(target, folder, sizeof folder))
        return false;
    if (!folder[0])
        lstrcpynA(folder, ".", sizeof folder);
    return GetTempFileNameA(folder, "gy", 0, temp) != 0;
}

LRESULT OnExportAudio(HWND hwnd)
{
    if (!fFileLoaded || !pFileBuf || dwFileBufSize == 0)
        return 0;
    char target[EXPORT_PATH_CHARS];
    if (!AskExportName(hwnd, target))
        return 0;

    EXPORTJOB* job = (EXPORTJOB*)calloc(1, sizeof(EXPORTJOB));
    BYTE* image = (BYTE*)malloc(dwFileBufSize);
    if (!job || !image) {
        free(job);
        free(image);
        ReportExportFailure(hwnd, nullptr, EXPORT_NO_MEMORY, target);
        return 0;
    }
    // The image as it is now: edits made while the dialog is up do not reach the render.
    memcpy(image, pFileBuf, dwFileBufSize);
    job->pImage = image;
    job->cbImage = dwFileBufSize;

    int result = EXPORT_OK;
    if (!FindExportSoundFont(job->szFont, sizeof job->szFont))
        result = EXPORT_NO_SOUNDFONT;
    else if (!MakeTempBeside(target, job->szTemp))
        result = EXPORT_WRITE_FAILED;
    else {
        job->nResult = EXPORT_NO_MEMORY;   // what stands when the dialog cannot even be made
        DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_EXPORT), hwnd, ExportDlgProc, (LPARAM)job);
        if (job->hThread) {
            WaitForSingleObject(job->hThread, INFINITE);
            CloseHandle(job->hThread);
        }
        result = job->nResult;
        if (result == EXPORT_OK && !MoveFileExA(job->szTemp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            result = EXPORT_WRITE_FAILED;
        if (result != EXPORT_OK)
            DeleteFileA(job->szTemp);
    }
    if (result != EXPORT_OK && result != EXPORT_CANCELLED)
        ReportExportFailure(hwnd, job, result, target);
    free(image);
    free(job);
    return 0;
}
