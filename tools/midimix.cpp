// midimix: loads a MIDI file the way the player's Open does, applies track settings the way
// the track rows do, prints the song record, and writes the playback image, a saved song or
// the song's audio rendered through the synthesizer. Batch edits and export without the
// window, the song layer's and the renderer's benchmark and their black-box test surface.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ctrl/ctrl_logic.h"
#include "sound/fontpaths.h"
#include "sound/render.h"
#include "mmio/song.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

namespace {

const char kUsage[] =
    "usage: midimix FILE [--mute ROW]... [--volume ROW=V]... [--pan ROW=V]...\n"
    "               [--program ROW=P]... [--name ROW=TEXT]... [--prepared OUT] [--save OUT]\n"
    "               [--render OUT.wav [--soundfont SF2] [--start MS] [--no-effects]]\n"
    "\n"
    "Loads FILE as the player opens it and prints the song record: the header values, one\n"
    "'chunk' line per track chunk, one 'row' line per listed track (a row of the track view)\n"
    "and one 'channel' line per channel row (a channel of a track that plays on several).\n"
    "ROW counts the listed tracks from 0; ROW.CH is channel CH (1 to 16) of that row's track, a\n"
    "channel row, and may stand wherever ROW does but in --name. V and P are 0 to 127.\n"
    "Settings apply in the order given:\n"
    "  --mute ROW         switch the row's notes off (the same again switches them back on);\n"
    "                     a track switched off silences its channel rows too\n"
    "  --volume ROW=V     main volume (controller 7)\n"
    "  --pan ROW=V        balance (controller 10)\n"
    "  --program ROW=P    instrument (General MIDI program)\n"
    "  --name ROW=TEXT    the row's name for --save (at most 255 characters are kept)\n"
    "  --prepared OUT     write the prepared image as the player's playback copy holds it\n"
    "  --save OUT         save the song as the player's Save As does, with the rows' names\n"
    "  --render OUT.wav   render the song as the player plays it to a 16-bit stereo 44,100 Hz\n"
    "                     WAV file, until the last note has died away; then print\n"
    "                     'render SECONDS s, peak DBFS dBFS, voices MAX'\n"
    "  --soundfont SF2    the SoundFont to render with (else the one the player would use:\n"
    "                     on Windows a .sf2 beside the program, then the system's)\n"
    "  --start MS         render from MS milliseconds, with the state in force there\n"
    "  --no-effects       render without reverb and chorus\n"
    "Messages of the song layer go to stderr as 'CAPTION: TEXT'.\n"
    "Exit status: 0 loaded and every write done; 2 the file is not a song this player edits\n"
    "(only --prepared is then done); 1 any other failure.\n";

const int kNameBoxLimit = 255;   // characters a row's name box holds

enum EditKind { EDIT_MUTE, EDIT_VOLUME, EDIT_PAN, EDIT_PROGRAM, EDIT_NAME };

struct Edit {
    EditKind kind;
    int row;
    int channel;        // 0..15 for a channel row, -1 for the track's own row
    int value;          // 0..127 for volume, pan and program
    std::string text;   // for a name
};

struct Options {
    const char* file = nullptr;
    std::vector<Edit> edits;
    const char* prepared = nullptr;
    const char* save = nullptr;
    const char* render = nullptr;
    const char* soundFont = nullptr;
    const char* start = nullptr;
    uint64_t startUs = 0;
    bool effects = true;
};

// Prints one message of the song layer as a single line: a null caption stands for the
// platform's default one, and line breaks are shown as \n.
int PrintReport(HWND, const char* text, const char* caption, UINT)
{
    std::string line = caption ? caption : "Error";
    line += ": ";
    for (const char* p = text ? text : ""; *p; p++) {
        if (*p == '\n')
            line += "\\n";
        else if (*p != '\r')
            line += *p;
    }
    fprintf(stderr, "%s\n", line.c_str());
    fflush(stderr);
    return 1;   // IDOK
}

bool Fail(const char* what, const char* arg)
{
    fprintf(stderr, "midimix: %s: %s\n%s", what, arg, kUsage);
    return false;
}

// A decimal number from first to last (exclusive) within 0..max.
bool ParseNumber(const char* first, const char* last, int max, int* out)
{
    if (first == last || last - first > 9)
        return false;
    int n = 0;
    for (const char* p = first; p < last; p++) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (*p - '0');
    }
    if (n > max)
        return false;
    *out = n;
    return true;
}

// ROW, or ROW.CH with CH counted from 1, from first to last (exclusive).
bool ParseRowOrChannel(const char* first, const char* last, Edit* edit)
{
    const char* dot = (const char*)memchr(first, '.', (size_t)(last - first));
    edit->channel = -1;
    if (!dot)
        return ParseNumber(first, last, MAX_TRACKS - 1, &edit->row);
    int ch = 0;
    if (!ParseNumber(first, dot, MAX_TRACKS - 1, &edit->row) || !ParseNumber(dot + 1, last, MAX_CHANNELS, &ch) || ch < 1)
        return false;
    edit->channel = ch - 1;
    return true;
}

bool ParseRow(const char* arg, Edit* edit)
{
    return ParseRowOrChannel(arg, arg + strlen(arg), edit);
}

// ROW=V with V in 0..127, or ROW=TEXT for a name.
bool ParseRowValue(const char* arg, Edit* edit)
{
    const char* eq = strchr(arg, '=');
    if (!eq || !ParseRowOrChannel(arg, eq, edit))
        return false;
    if (edit->kind == EDIT_NAME) {
        if (edit->channel >= 0)
            return false;   // a channel row's label is not the track's name
        edit->text.assign(eq + 1, strnlen(eq + 1, kNameBoxLimit));
        return true;
    }
    return ParseNumber(eq + 1, eq + strlen(eq), 127, &edit->value);
}

bool ParseArguments(int argc, char** argv, Options* opt)
{
    static const struct { const char* flag; EditKind kind; } kEditFlags[] = {
        {"--mute", EDIT_MUTE}, {"--volume", EDIT_VOLUME}, {"--pan", EDIT_PAN},
        {"--program", EDIT_PROGRAM}, {"--name", EDIT_NAME},
    };
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') {
            if (opt->file)
                return Fail("more than one FILE", arg);
            opt->file = arg;
            continue;
        }
        if (!strcmp(arg, "--no-effects")) {
            opt->effects = false;
            continue;
        }
        static const char* const kValueFlags[] = {"--prepared", "--save", "--render", "--soundfont", "--start"};
        const char** slot = nullptr;
        const char** slots[] = {&opt->prepared, &opt->save, &opt->render, &opt->soundFont, &opt->start};
        for (size_t k = 0; k < sizeof kValueFlags / sizeof kValueFlags[0]; k++)
            if (!strcmp(arg, kValueFlags[k]))
                slot = slots[k];
        bool isWrite = slot != nullptr;
        const EditKind* kind = nullptr;
        for (const auto& f : kEditFlags)
            if (!strcmp(arg, f.flag))
                kind = &f.kind;
        if (!isWrite && !kind)
            return Fail("unknown option", arg);
        if (i + 1 >= argc)
            return Fail("missing value after", arg);
        const char* value = argv[++i];
        if (isWrite) {
            if (*slot)
                return Fail("given twice", arg);
            *slot = value;
            continue;
        }
        Edit edit{*kind, 0, -1, 0, std::string()};
        bool ok = *kind == EDIT_MUTE ? ParseRow(value, &edit) : ParseRowValue(value, &edit);
        if (!ok) {
            std::string what = std::string("bad value for ") + arg;
            return Fail(what.c_str(), value);
        }
        opt->edits.push_back(edit);
    }
    if (!opt->file)
        return Fail("missing", "FILE");
    if (opt->start) {
        int ms = 0;
        if (!ParseNumber(opt->start, opt->start + strlen(opt->start), 999999999, &ms))
            return Fail("bad value for --start", opt->start);
        opt->startUs = (uint64_t)ms * 1000;
    }
    if (!opt->render && (opt->soundFont || opt->start || !opt->effects))
        return Fail("only with --render", opt->soundFont ? "--soundfont" : opt->start ? "--start" : "--no-effects");
    return true;
}

// Reads the whole file into a new image with the reader's headroom, as Open does.
bool LoadImage(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f) {
        Report(nullptr, "File open failed.", nullptr, MB_OK);
        return false;
    }
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0)
        size = ftell(f);
    if (size < 0 || (unsigned long)size > 0xFFFFFFFFul - 800 || fseek(f, 0, SEEK_SET) != 0) {
        fclose(f);
        Report(nullptr, "GetFileSize failed!", nullptr, MB_OK);
        return false;
    }
    dwFileBufSize = (DWORD)size;
    pFileBuf = AllocFixed(dwFileBufSize + 800);
    if (!pFileBuf) {
        fclose(f);
        dwFileBufSize = 0;
        Report(nullptr, "GlobalAlloc failed!", nullptr, MB_OK);
        return false;
    }
    size_t got = fread(pFileBuf, 1, dwFileBufSize, f);
    fclose(f);
    if (got != dwFileBufSize) {
        dwFileBufSize = 0;
        Report(nullptr, "Zero bytes read.", nullptr, MB_OK);
        return false;
    }
    return true;
}

// Shows a name on one line: the text up to its NUL, line breaks as \n and \r.
std::string PrintableName(const char* name)
{
    std::string s;
    for (const char* p = name; *p; p++) {
        if (*p == '\n')
            s += "\\n";
        else if (*p == '\r')
            s += "\\r";
        else
            s += *p;
    }
    return s;
}

bool IsListed(const MIDIINFO* info, int chunk)
{
    for (int k = 0; k < info->wNumListed && k < MAX_TRACKS; k++)
        if (info->nTrackIndex[k] == chunk)
            return true;
    return false;
}

void PrintRecord(const MIDIINFO* info)
{
    printf("format %u\ntracks %u\ndivision %u\nlisted %u\n", (unsigned)info->wFormat,
           (unsigned)info->wNumTracks, (unsigned)info->wDivision, (unsigned)info->wNumListed);
    for (int c = 0; c < info->wNumTracks && c < MAX_TRACKS; c++) {
        const TRACKINFO& t = info->Track[c];
        printf("chunk %d size %lu channel %u program %u volume %u pan %u listed %s name \"%s\"\n", c,
               (unsigned long)t.dwSize, (unsigned)t.bChannel, (unsigned)t.bProgram,
               (unsigned)t.bVolume, (unsigned)t.bPan, IsListed(info, c) ? "yes" : "no",
               PrintableName(t.szName).c_str());
    }
    for (int r = 0; r < getnumtracks(info); r++)
        printf("row %d chunk %d instrument %d volume %d balance %d\n", r, info->nTrackIndex[r],
               getinstr(info, r), getvol(info, r), getbal(info, r));
    for (int r = 0; r < getnumtracks(info); r++)
        for (int ch = 0; ch < MAX_CHANNELS; ch++)
            if (getchannels(info, r) & (1u << ch))
                printf("channel %d.%d chunk %d instrument %d volume %d balance %d\n", r, ch + 1,
                       info->nTrackIndex[r], getchannelinstr(info, r, ch), getchannelvol(info, r, ch),
                       getchannelbal(info, r, ch));
}

// The On boxes of the rows: each --mute flips one, and the notes are swapped once all are
// known, as the rows keep them: a track that is off silences its channels whatever their boxes.
struct MuteState {
    bool fTrackOff[MAX_TRACKS] = {};
    unsigned channelsOff[MAX_TRACKS] = {};
};

bool ApplyMutes(const MuteState& m, const MIDIINFO* info)
{
    bool ok = true;
    for (int r = 0; r < getnumtracks(info); r++) {
        unsigned notes = getchannels(info, r);
        if (!notes)
            notes = 1;   // a track without channel rows swaps as one
        unsigned silenced = SilencedChannels(notes, !m.fTrackOff[r], ~m.channelsOff[r], 0xFFFF);
        bool whole = false;
        unsigned swap = ChannelsToSwap(notes, 0, silenced, &whole);
        int chunk = info->nTrackIndex[r];
        if (whole)
            ok = settrack(pFileBuf, chunk, EV_NOTEOFF, 0) == 1 && ok;
        else if (swap)
            ok = setchannelmute(pFileBuf, chunk, (WORD)swap) == 1 && ok;
    }
    return ok;
}

// Applies one setting as a track row does: the value goes into the record, then the editor
// rewrites the image.
bool ApplyEdit(const Edit& e, MIDIINFO* info, std::vector<std::string>* names, MuteState* mutes)
{
    int chunk = info->nTrackIndex[e.row];
    TRACKINFO* t = &info->Track[chunk];
    if (e.kind == EDIT_MUTE) {
        if (e.channel < 0)
            mutes->fTrackOff[e.row] = !mutes->fTrackOff[e.row];
        else
            mutes->channelsOff[e.row] ^= 1u << e.channel;
        return true;
    }
    if (e.channel >= 0) {
        // Drums on channel index 9 keep their kit: the channel row's list offers no program.
        if (e.kind == EDIT_PROGRAM && e.channel == 9) {
            fprintf(stderr, "midimix: row %d.10 plays drums: it takes no program\n", e.row);
            return false;
        }
        int code = e.kind == EDIT_VOLUME ? EV_VOLUME : e.kind == EDIT_PAN ? EV_PAN : EV_PROGRAM;
        return setchannel(&pFileBuf, info, chunk, e.channel, code, e.value) == 1;
    }
    switch (e.kind) {
    case EDIT_MUTE:
        return false;
    case EDIT_VOLUME:
        t->bVolume = (BYTE)e.value;
        return settrack(pFileBuf, chunk, EV_VOLUME, e.value) == 1;
    case EDIT_PAN:
        t->bPan = (BYTE)e.value;
        return settrack(pFileBuf, chunk, EV_PAN, e.value) == 1;
    case EDIT_PROGRAM:
        t->bProgram = (BYTE)e.value;
        return settrack(pFileBuf, chunk, EV_PROGRAM, e.value) == 1;
    case EDIT_NAME:
        (*names)[e.row] = e.text;
        return true;
    }
    return false;
}

// The SoundFont the player would look for first on its own.
const char* SystemSoundFont()
{
    static char paths[1][SOUNDFONT_PATH_CHARS];
    return SoundFontCandidates(paths, 1) == 1 ? paths[0] : nullptr;
}

// Renders the image as it stands to opt.render and prints the render line; returns false
// on any failure, with its message on stderr and no file left behind.
bool RenderImage(const Options& opt)
{
    const char* fontPath = opt.soundFont ? opt.soundFont : SystemSoundFont();
    if (!fontPath) {
        fprintf(stderr, "midimix: no SoundFont found: give one with --soundfont\n");
        return false;
    }
    SoundFont* font = nullptr;
    char message[512];
    if (LoadSoundFontFile(fontPath, &font, message, sizeof message) != SF_LOAD_OK) {
        fprintf(stderr, "%s\n", message);
        return false;
    }
    SynthConfig config;
    config.effects = opt.effects;
    Synth* synth = CreateSynth(config);
    if (!synth) {
        FreeSoundFont(font);
        fprintf(stderr, "midimix: not enough memory for the synthesizer\n");
        return false;
    }
    SynthSetSoundFont(synth, font);
    SynthSetEffects(synth, opt.effects);

    WAVWRITER wav;
    RENDERRESULT result;
    int status = RENDER_WRITE_FAILED;
    bool opened = WavOpen(&wav, opt.render) || wav.f;
    if (opened && !wav.fFailed) {
        RENDEROUTPUT out = {WavWriteProc, &wav, nullptr, nullptr};
        status = RenderSong(pFileBuf, dwFileBufSize, synth, opt.startUs, &out, &result);
        if (!WavClose(&wav) && status == RENDER_OK)
            status = RENDER_WRITE_FAILED;
    } else if (opened) {
        WavClose(&wav);
    }
    DestroySynth(synth);
    FreeSoundFont(font);
    if (status != RENDER_OK) {
        if (opened)
            remove(opt.render);
        const char* why = status == RENDER_NOT_MIDI ? "the file holds no song to render"
                        : status == RENDER_NO_MEMORY ? "not enough memory"
                                                     : "the file cannot be written";
        fprintf(stderr, "midimix: cannot render to %s: %s\n", opt.render, why);
        return false;
    }
    char peak[32];
    if (result.nPeak > 0)
        snprintf(peak, sizeof peak, "%.1f", 20.0 * log10(result.nPeak / 32768.0));
    else
        snprintf(peak, sizeof peak, "-inf");
    printf("render %.3f s, peak %s dBFS, voices %d\n", (double)result.qwFrames / SOUND_RATE_HZ, peak,
           result.nMaxVoices);
    fflush(stdout);
    return true;
}

// Runs the whole command; returns the exit status.
int Run(const Options& opt)
{
    if (!LoadImage(opt.file))
        return 1;

    MIDIINFO* info = &MidiInfo;
    int loaded = readmidiinfo(pFileBuf, info);
    if (!loaded) {
        Report(hWndMain, "This format is not supported! (Try Play only)", "Attention", MB_ICONEXCLAMATION);
        info->wNumTracks = 0;
        info->wNumListed = 0;
    }

    int status = loaded ? 0 : 2;
    if (loaded) {
        for (const Edit& e : opt.edits) {
            if (e.row >= getnumtracks(info)) {
                fprintf(stderr, "midimix: row %d does not exist: %s lists %d rows\n", e.row, opt.file,
                        getnumtracks(info));
                return 1;
            }
            if (e.channel >= 0 && !(getchannels(info, e.row) & (1u << e.channel))) {
                fprintf(stderr, "midimix: row %d has no channel row %d: its track plays no notes on it or on no other channel\n",
                        e.row, e.channel + 1);
                return 1;
            }
        }
    } else if (!opt.edits.empty() || opt.save) {
        fprintf(stderr, "midimix: %s lists no rows: settings and --save skipped\n", opt.file);
    }

    // Rows keep the names they show, cut to what a name box holds.
    std::vector<std::string> names;
    for (int r = 0; r < getnumtracks(info); r++) {
        const char* name = gettrackname(info, r);
        names.push_back(std::string(name, strnlen(name, kNameBoxLimit)));
    }
    if (loaded) {
        static MuteState mutes;
        for (const Edit& e : opt.edits)
            if (!ApplyEdit(e, info, &names, &mutes))
                status = 1;
        if (!ApplyMutes(mutes, info))
            status = 1;
    }

    PrintRecord(info);
    fflush(stdout);

    if (opt.prepared && !settmp(opt.prepared, pFileBuf, dwFileBufSize) && status == 0)
        status = 1;
    if (opt.save && loaded) {
        std::vector<const char*> rowNames;
        for (const std::string& n : names)
            rowNames.push_back(n.c_str());
        if (!writemidiinfo(opt.save, pFileBuf, info, rowNames.empty() ? nullptr : rowNames.data()))
            status = 1;
    }
    // The image is rendered even when the reader refused it: the player still plays it.
    if (opt.render && !RenderImage(opt))
        status = 1;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
        fputs(kUsage, stdout);
        return 0;
    }
    Options opt;
    if (!ParseArguments(argc, argv, &opt))
        return 1;
    SetReportProc(PrintReport);
    int status = Run(opt);
    FreeFixed(pFileBuf);
    pFileBuf = nullptr;
    return status;
}
