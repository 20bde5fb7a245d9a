#include "e2e/songs.h"

#include <algorithm>
#include <cstring>
#include <map>
#include "smfbuild.h"

namespace e2e {

namespace {

// The song layer reports through message boxes; here nothing may wait for a click.
int QuietReport(HWND, const char*, const char*, UINT)
{
    return IDOK;
}

uint32_t BE(const Bytes& b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[at + i];
    return v;
}

bool VarLen(const Bytes& b, size_t* at, size_t end, uint32_t* v)
{
    *v = 0;
    for (int i = 0; i < 4; ++i) {
        if (*at >= end)
            return false;
        uint8_t c = b[(*at)++];
        *v = (*v << 7) | (c & 0x7F);
        if (!(c & 0x80))
            return true;
    }
    return false;
}

}  // namespace

std::string DemoPath()
{
    return SourcePath("res/demo.mid");
}

Bytes DemoSong()
{
    return ReadBytes(DemoPath());
}

Bytes ShortSong(unsigned quarters)
{
    smf::Track tempo;
    tempo.Name(0, "Short").Tempo(0, 800000).End(quarters * 96);
    smf::Track piano;
    piano.Name(0, "Keys").Program(0, 0, 4).Volume(0, 0, 90).Pan(0, 0, 30);
    smf::Track bass;
    bass.Name(0, "Low").Program(0, 1, 33);
    for (unsigned q = 0; q < quarters; ++q) {
        piano.NoteOn(0, 0, 60 + (q % 8), 90).NoteOff(90, 0, 60 + (q % 8), 64).Delta(6).Raw({0xFF, 0x01, 0x00});
        bass.NoteOn(0, 1, 36, 100).NoteOff(96, 1, 36, 0);
    }
    piano.End();
    bass.End();
    smf::File file(1, 96);
    file.Add(tempo).Add(piano).Add(bass);
    return file.Bytes();
}

Bytes TooManyTracksSong()
{
    smf::File file(1, 96);
    file.Add(smf::Track().Tempo(0, 500000).End(96 * 4));
    for (int i = 0; i < 100; ++i)
        file.Add(smf::Track().Program(0, i % 9, i).NoteOn(0, i % 9, 40 + i % 40, 80).NoteOff(96, i % 9, 40 + i % 40, 0).End());
    return file.Bytes();
}

unsigned SongLengthMs(const Bytes& file)
{
    if (file.size() < 14)
        return 0;
    uint32_t division = BE(file, 12, 2);
    if (division == 0 || (division & 0x8000))
        return 0;
    std::map<uint32_t, uint32_t> tempos;   // tick -> microseconds per quarter
    uint32_t lastTick = 0;
    size_t pos = 8 + BE(file, 4, 4);
    while (pos + 8 <= file.size()) {
        size_t end = std::min(file.size(), pos + 8 + BE(file, pos + 4, 4));
        bool track = memcmp(&file[pos], "MTrk", 4) == 0;
        size_t at = pos + 8;
        pos = end;
        if (!track)
            continue;
        uint32_t tick = 0, delta = 0;
        uint8_t running = 0;
        while (at < end && VarLen(file, &at, end, &delta)) {
            tick += delta;
            lastTick = std::max(lastTick, tick);
            uint8_t status = file[at];
            if (status & 0x80)
                ++at;
            else
                status = running;
            if (status == 0xFF || status == 0xF0 || status == 0xF7) {
                uint8_t type = 0;
                if (status == 0xFF && at < end)
                    type = file[at++];
                uint32_t len = 0;
                if (!VarLen(file, &at, end, &len) || at + len > end)
                    break;
                if (type == 0x51 && len == 3)
                    tempos[tick] = BE(file, at, 3);
                at += len;
                if (type == 0x2F)
                    break;
            } else if (status >= 0x80) {
                running = status;
                at += (status >= 0xC0 && status < 0xE0) ? 1 : 2;
            } else {
                break;
            }
        }
    }
    double us = 0;
    uint32_t tick = 0, tempo = 500000;
    for (const auto& t : tempos) {
        if (t.first >= lastTick)
            break;
        us += (double)(t.first - tick) * tempo / division;
        tick = t.first;
        tempo = t.second;
    }
    us += (double)(lastTick - tick) * tempo / division;
    return (unsigned)(us / 1000);
}

Song::Song(const Bytes& file)
{
    SetReportProc(QuietReport);
    memset(&info_, 0, sizeof info_);
    buf_ = file;
    buf_.resize(file.size() + 800);
    dwFileBufSize = (DWORD)file.size();
    loaded_ = readmidiinfo(buf_.data(), &info_) != 0;
    image_.assign(buf_.begin(), buf_.begin() + dwFileBufSize);
}

void Song::Apply(int row, int code, int value)
{
    settrack(buf_.data(), info_.nTrackIndex[row], code, value);
    image_.assign(buf_.begin(), buf_.begin() + image_.size());
}

void Song::Toggle(int row)
{
    Apply(row, EV_NOTEOFF, 0);
}

void Song::Program(int row, int program)
{
    info_.Track[info_.nTrackIndex[row]].bProgram = (BYTE)program;
    Apply(row, EV_PROGRAM, program);
}

void Song::Volume(int row, int volume)
{
    info_.Track[info_.nTrackIndex[row]].bVolume = (BYTE)volume;
    Apply(row, EV_VOLUME, volume);
}

void Song::Pan(int row, int pan)
{
    info_.Track[info_.nTrackIndex[row]].bPan = (BYTE)pan;
    Apply(row, EV_PAN, pan);
}

Bytes Song::Saved(const std::vector<std::string>& names) const
{
    // The writer takes one name per row; a shorter list would be read past its end.
    if (!names.empty() && (int)names.size() != rows())
        return Bytes();
    std::vector<const char*> list;
    for (const std::string& n : names)
        list.push_back(n.c_str());
    std::string path = WorkDir() + "expected-save.mid";
    DeleteFileA(path.c_str());
    if (!writemidiinfo(path.c_str(), buf_.data(), &info_, list.empty() ? nullptr : list.data()))
        return Bytes();
    Bytes out = ReadBytes(path);
    DeleteFileA(path.c_str());
    return out;
}

const char* const kProgramNames[128] = {
    "Acoustic Grand Piano", "Bright Acoustic Piano", "Electric Grand Piano", "Honky-tonk Piano",
    "Rhodes Piano", "Chorused Piano", "Harpsichord", "Clavinet",
    "Celesta", "Glockenspiel", "Music Box", "Vibraphone", "Marimba", "Xylophone", "Tubular Bells", "Dulcimer",
    "Hammond Organ", "Percussive Organ", "Rock Organ", "Church Organ", "Reed Organ", "Accordion", "Harmonica",
    "Tango Accordion",
    "Acoustic Guitar (nylon)", "Acoustic Guitar (steel)", "Electric Guitar (jazz)", "Electric Guitar (clean)",
    "Electric Guitar (muted)", "Overdriven Guitar", "Distortion Guitar", "Guitar Harmonics",
    "Acoustic Bass", "Electric Bass (finger)", "Electric Bass (pick)", "Fretless Bass", "Slap Bass 1",
    "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",
    "Violin", "Viola", "Cello", "Contrabass", "Tremelo Strings", "Pizzicato Strings", "Orchestral Harp", "Timpani",
    "String Ensemble 1", "String Ensemble 2", "SynthStrings 1", "SynthStrings 2", "Choir Aahs", "Voice Oohs",
    "Synth Voice", "Orchestra Hit",
    "Trumpet", "Trombone", "Tuba", "Muted Trumpet", "French Horn", "Brass Section", "Synth Brass 1", "Synth Brass 2",
    "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax", "Oboe", "English Horn", "Bassoon", "Clarinet",
    "Piccolo", "Flute", "Recorder", "Pan Flute", "Bottle Blow", "Shakuhachi", "Whistle", "Ocarina",
    "Lead 1 (square)", "Lead 2 (sawtooth)", "Lead 3 (calliope lead)", "Lead 4 (chiff lead)", "Lead 5 (charang)",
    "Lead 6 (voice)", "Lead 7 (fifths)", "Lead 8 (bass + lead)",
    "Pad 1 (new age)", "Pad 2 (warm)", "Pad 3 (polysynth)", "Pad 4 (choir)", "Pad 5 (bowed)", "Pad 6 (metallic)",
    "Pad 7 (halo)", "Pad 8 (sweep)",
    "FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)", "FX 5 (brightness)",
    "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)",
    "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bagpipe", "Fiddle", "Shanai",
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock", "Taiko Drum", "Melodic Tom", "Synth Drum", "Reverse Cymbal",
    "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet", "Telephone Ring", "Helicopter", "Applause",
    "Gunshot",
};

}  // namespace e2e
