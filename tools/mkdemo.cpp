// Composes the bundled demo song, "Morning Walk", and writes it as a Standard MIDI File.
//
//   mkdemo [OUT]        (default: res/demo.mid)
//
// Regenerate the committed song from the source folder with a native build:
//   cmake -S . -B build/native -G Ninja && cmake --build build/native --target mkdemo
//   build/native/mkdemo res/demo.mid
//
// A little 16-bar piece in C major at 100 BPM that slows down at the end. It is laid out to
// show every kind of row the track view has: a tempo track (not listed), five named tracks on
// their own channels with drums on channel index 9, a track without a name, a track without
// pan or volume controllers (the bass: the reader inserts its defaults), and a track whose
// notes use two channels (the strings: violins and cellos). Every meta event is shorter than
// 128 bytes and running status never follows a meta event, so any reader takes it as written.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

const int kDivision = 480;              // ticks per quarter note
const int kEighth = kDivision / 2;
const int kBar = 4 * kDivision;
const int kBars = 16;

struct Event {
    uint32_t tick;
    int order;          // at one tick: 0 meta and controllers, 1 note-offs, 2 note-ons
    int seq;            // insertion order, keeps the sort stable
    Bytes bytes;        // status and data
};

struct Track {
    std::vector<Event> events;
    bool runningStatus = false;   // write repeated channel statuses once
    bool noteOffAsNoteOn = false; // end notes with note-on velocity 0 instead of 8n
};

void AddEvent(Track* t, uint32_t tick, int order, Bytes bytes)
{
    t->events.push_back(Event{tick, order, (int)t->events.size(), std::move(bytes)});
}

void AddMeta(Track* t, uint32_t tick, uint8_t type, const Bytes& data)
{
    Bytes b = {0xFF, type, (uint8_t)data.size()};
    b.insert(b.end(), data.begin(), data.end());
    AddEvent(t, tick, 0, b);
}

void AddText(Track* t, uint32_t tick, uint8_t type, const char* text)
{
    AddMeta(t, tick, type, Bytes(text, text + strlen(text)));
}

void AddControl(Track* t, uint32_t tick, int channel, int controller, int value)
{
    AddEvent(t, tick, 0, {(uint8_t)(0xB0 | channel), (uint8_t)controller, (uint8_t)value});
}

void AddProgram(Track* t, uint32_t tick, int channel, int program)
{
    AddEvent(t, tick, 0, {(uint8_t)(0xC0 | channel), (uint8_t)program});
}

void AddNote(Track* t, uint32_t tick, uint32_t length, int channel, int key, int velocity)
{
    AddEvent(t, tick, 2, {(uint8_t)(0x90 | channel), (uint8_t)key, (uint8_t)velocity});
    // A slightly detached release; the release velocity is kept as players write it.
    uint32_t off = tick + length - (length > 60 ? 20 : 0);
    if (t->noteOffAsNoteOn)
        AddEvent(t, off, 1, {(uint8_t)(0x90 | channel), (uint8_t)key, 0});
    else
        AddEvent(t, off, 1, {(uint8_t)(0x80 | channel), (uint8_t)key, 64});
}

void PutVarLen(Bytes* out, uint32_t v)
{
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = v & 0x7F;
    while (v >>= 7)
        tmp[n++] = (uint8_t)(0x80 | (v & 0x7F));
    while (n)
        out->push_back(tmp[--n]);
}

void PutBE(Bytes* out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--)
        out->push_back((uint8_t)(v >> (8 * i)));
}

// Sorts the events, ends the track and encodes it as one MTrk chunk.
Bytes EncodeTrack(Track t)
{
    std::sort(t.events.begin(), t.events.end(), [](const Event& a, const Event& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        if (a.order != b.order) return a.order < b.order;
        return a.seq < b.seq;
    });
    uint32_t last = t.events.empty() ? 0 : t.events.back().tick;
    Bytes data;
    uint32_t now = 0;
    uint8_t running = 0;
    for (const Event& e : t.events) {
        PutVarLen(&data, e.tick - now);
        now = e.tick;
        uint8_t status = e.bytes[0];
        size_t from = 0;
        if (status < 0xF0) {
            if (t.runningStatus && status == running)
                from = 1;
            running = status;
        } else {
            running = 0;   // meta and system events end running status
        }
        data.insert(data.end(), e.bytes.begin() + from, e.bytes.end());
    }
    PutVarLen(&data, last - now);
    data.insert(data.end(), {0xFF, 0x2F, 0x00});

    Bytes chunk = {'M', 'T', 'r', 'k'};
    PutBE(&chunk, (uint32_t)data.size(), 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    return chunk;
}

// ---- The music -----------------------------------------------------------------------

enum { C, G, Am, F };
const int kChords[kBars] = {C, G, Am, F, C, G, F, G, Am, F, C, G, Am, F, G, C};

// Close voicings around middle C, so the chords move by steps.
const int kVoicing[4][3] = {{60, 64, 67}, {59, 62, 67}, {60, 64, 69}, {60, 65, 69}};
const int kRoot[4] = {36, 43, 45, 41};   // bass roots: C2, G2, A2, F2

uint32_t BarStart(int bar) { return (uint32_t)(bar * kBar); }

// The tune as note names with lengths in eighths; "r" rests. Each bar sums to 8.
const char* const kTune[kBars] = {
    "E5 2 D5 1 E5 1 G5 2 E5 2",
    "D5 2 B4 2 D5 2 G5 2",
    "C5 2 E5 2 A5 3 G5 1",
    "F5 2 E5 2 D5 2 C5 2",
    "E5 2 G5 2 C6 3 B5 1",
    "A5 1 G5 1 D5 2 G5 4",
    "A5 2 G5 2 F5 2 E5 2",
    "D5 4 r 2 G4 2",
    "A4 2 C5 2 E5 2 A5 2",
    "A5 2 G5 1 F5 1 C5 4",
    "E5 2 G5 2 C6 2 G5 2",
    "B5 2 A5 1 G5 1 D5 4",
    "C5 2 E5 2 A5 2 C6 2",
    "A5 2 F5 2 C6 3 A5 1",
    "G5 2 F5 2 D5 2 B4 2",
    "C5 8",
};

int KeyOf(const char* name)
{
    static const int semis[7] = {9, 11, 0, 2, 4, 5, 7};   // A B C D E F G
    int key = semis[name[0] - 'A'];
    int i = 1;
    if (name[i] == '#') { key++; i++; }
    if (name[i] == 'b') { key--; i++; }
    return key + 12 * (name[i] - '0' + 1);
}

Track MakeConductor()
{
    Track t;
    AddText(&t, 0, 0x03, "Morning Walk");
    AddText(&t, 0, 0x02, "Composed for Zulin Player, free to use");
    AddMeta(&t, 0, 0x58, {4, 2, 24, 8});                 // 4/4
    AddMeta(&t, 0, 0x59, {0, 0});                        // C major
    AddMeta(&t, 0, 0x51, {0x09, 0x27, 0xC0});            // 600000 us: 100 BPM
    AddMeta(&t, BarStart(14), 0x51, {0x09, 0xF3, 0x1D});  // 652061 us: about 92 BPM
    AddMeta(&t, BarStart(15), 0x51, {0x0B, 0x71, 0xB0});  // 750000 us: 80 BPM
    AddText(&t, BarStart(8), 0x06, "Second part");
    AddMeta(&t, BarStart(kBars), 0x01, {});               // empty text marks the end
    return t;
}

Track MakeMelody()
{
    Track t;
    AddText(&t, 0, 0x03, "Melody");
    AddProgram(&t, 0, 0, 73);          // Flute
    AddControl(&t, 0, 0, 7, 100);
    AddControl(&t, 0, 0, 10, 54);
    for (int bar = 0; bar < kBars; bar++) {
        uint32_t tick = BarStart(bar);
        const char* p = kTune[bar];
        char name[4];
        int eighths;
        int used;
        while (sscanf(p, "%3s %d%n", name, &eighths, &used) == 2) {
            uint32_t len = (uint32_t)(eighths * kEighth);
            if (name[0] != 'r') {
                int velocity = (tick % kBar == 0) ? 96 : 84;
                AddNote(&t, tick, bar == kBars - 1 ? len + kBar / 2 : len, 0, KeyOf(name), velocity);
            }
            tick += len;
            p += used;
        }
    }
    return t;
}

Track MakePiano()
{
    Track t;
    t.runningStatus = true;
    t.noteOffAsNoteOn = true;
    AddText(&t, 0, 0x03, "Piano");
    AddProgram(&t, 0, 1, 0);           // Acoustic Grand Piano
    AddControl(&t, 0, 1, 7, 88);
    AddControl(&t, 0, 1, 10, 76);
    static const int hits[3][2] = {{0, 3}, {3, 3}, {6, 2}};   // 3+3+2 eighths
    for (int bar = 0; bar < kBars; bar++) {
        const int* chord = kVoicing[kChords[bar]];
        int n = bar == kBars - 1 ? 1 : 3;
        for (int h = 0; h < n; h++) {
            uint32_t tick = BarStart(bar) + (uint32_t)(hits[h][0] * kEighth);
            uint32_t len = n == 1 ? (uint32_t)(kBar + kBar / 2) : (uint32_t)(hits[h][1] * kEighth);
            for (int k = 0; k < 3; k++)
                AddNote(&t, tick, len, 1, chord[k], h == 0 ? 70 : 58);
        }
    }
    return t;
}

// No pan or volume controller: the reader adds its defaults.
Track MakeBass()
{
    Track t;
    AddText(&t, 0, 0x03, "Bass");
    AddProgram(&t, 0, 2, 33);          // Electric Bass (finger)
    static const int steps[5][3] = {{0, 2, 0}, {2, 1, 0}, {3, 1, 7}, {4, 2, 12}, {6, 2, 7}};
    for (int bar = 0; bar < kBars; bar++) {
        int root = kRoot[kChords[bar]];
        if (bar == kBars - 1) {
            AddNote(&t, BarStart(bar), kBar + kBar / 2, 2, root, 100);
            continue;
        }
        for (const auto& s : steps)
            AddNote(&t, BarStart(bar) + (uint32_t)(s[0] * kEighth), (uint32_t)(s[1] * kEighth), 2,
                    root + s[2], s[0] == 0 ? 100 : 86);
    }
    return t;
}

// Violins on channel 3, cellos on channel 4: one row, two channels.
Track MakeStrings()
{
    Track t;
    AddText(&t, 0, 0x03, "Strings");
    AddProgram(&t, 0, 3, 48);          // String Ensemble 1
    AddProgram(&t, 0, 4, 42);          // Cello
    AddControl(&t, 0, 3, 7, 64);
    AddControl(&t, 0, 4, 7, 72);
    AddControl(&t, 0, 3, 10, 40);
    AddControl(&t, 0, 4, 10, 88);
    for (int bar = 4; bar < kBars; bar++) {
        const int* chord = kVoicing[kChords[bar]];
        uint32_t len = bar == kBars - 1 ? (uint32_t)(kBar + kBar / 2) : (uint32_t)kBar;
        AddNote(&t, BarStart(bar), len, 3, chord[1] + 12, 60);
        AddNote(&t, BarStart(bar), len, 3, chord[2] + 12, 60);
        AddNote(&t, BarStart(bar), len, 4, kRoot[kChords[bar]] + 12, 66);
    }
    return t;
}

Track MakeDrums()
{
    Track t;
    AddText(&t, 0, 0x03, "Drums");
    AddProgram(&t, 0, 9, 0);           // Standard kit
    AddControl(&t, 0, 9, 7, 100);
    AddControl(&t, 0, 9, 10, 64);
    const int kick = 36, snare = 38, hat = 42, openHat = 46, crash = 49, tom = 45;
    for (int bar = 0; bar < kBars; bar++) {
        uint32_t b = BarStart(bar);
        if (bar == kBars - 1) {
            AddNote(&t, b, kBar, 9, crash, 110);
            AddNote(&t, b, kEighth, 9, kick, 110);
            break;
        }
        if (bar == 0 || bar == 8)
            AddNote(&t, b, kEighth, 9, crash, 100);
        for (int e = 0; e < 8; e++) {
            uint32_t tick = b + (uint32_t)(e * kEighth);
            bool fill = (bar == 7 || bar == 14) && e >= 4;
            if (fill) {
                AddNote(&t, tick, kEighth, 9, e < 6 ? snare : tom, 70 + 8 * (e - 4));
                continue;
            }
            AddNote(&t, tick, kEighth, 9, e == 7 && bar % 4 == 3 ? openHat : hat, e % 2 ? 50 : 68);
            if (e == 0 || e == 4 || (e == 5 && bar >= 4))
                AddNote(&t, tick, kEighth, 9, kick, e == 0 ? 104 : 90);
            if (bar >= 4 && (e == 2 || e == 6))
                AddNote(&t, tick, kEighth, 9, snare, 92);
        }
    }
    return t;
}

// Harp arpeggios in the second half; this track has no name event.
Track MakeHarp()
{
    Track t;
    AddProgram(&t, 0, 5, 46);          // Orchestral Harp
    AddControl(&t, 0, 5, 7, 76);
    AddControl(&t, 0, 5, 10, 96);
    static const int pattern[8] = {0, 1, 2, 3, 2, 1, 2, 3};
    for (int bar = 8; bar < kBars - 1; bar++) {
        const int* chord = kVoicing[kChords[bar]];
        int tones[4] = {chord[0] + 12, chord[1] + 12, chord[2] + 12, chord[0] + 24};
        for (int e = 0; e < 8; e++)
            AddNote(&t, BarStart(bar) + (uint32_t)(e * kEighth), kEighth, 5, tones[pattern[e]], e % 2 ? 52 : 62);
    }
    AddNote(&t, BarStart(kBars - 1), kBar, 5, 84, 60);
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    const char* out = argc > 1 ? argv[1] : "res/demo.mid";
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        fprintf(stderr, "usage: mkdemo [OUT]   (writes the demo song, default res/demo.mid)\n");
        return 1;
    }
    std::vector<Track> tracks = {MakeConductor(), MakeMelody(), MakePiano(), MakeBass(),
                                 MakeStrings(), MakeDrums(), MakeHarp()};
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    PutBE(&file, (uint32_t)tracks.size(), 2);
    PutBE(&file, kDivision, 2);
    for (const Track& t : tracks) {
        Bytes chunk = EncodeTrack(t);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    FILE* f = fopen(out, "wb");
    if (!f) {
        perror(out);
        return 1;
    }
    bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok) {
        perror(out);
        return 1;
    }
    printf("%s: %zu bytes, %zu tracks\n", out, file.size(), tracks.size());
    return 0;
}
