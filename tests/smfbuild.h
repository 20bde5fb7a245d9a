// Builds Standard MIDI File images in memory for tests. Header only.
//
//   smf::Track melody;
//   melody.Name(0, "Bass").Program(0, 0, 33)
//         .NoteOn(0, 0, 60, 100).Data(96, {60, 0})     // second note on running status
//         .NoteOff(96, 0, 60, 64).End();
//   smf::File file(1, 96);                              // format 1, 96 ticks per quarter
//   file.Add(smf::Track().Tempo(0, 600000).End()).Add(melody);
//   std::vector<uint8_t> bytes = file.Bytes();
//
// Every event method takes the delta-time first. Raw() and Data() append bytes as given, so
// broken files (truncated events, stray status bytes, wrong lengths) are easy to build;
// File::Tracks() and Track::Length() override the counts written in the headers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace smf {

typedef std::vector<uint8_t> Bytes;

// Variable-length quantity, most significant group first.
inline Bytes Vlq(uint32_t v)
{
    Bytes out;
    out.push_back((uint8_t)(v & 0x7F));
    while (v >>= 7)
        out.insert(out.begin(), (uint8_t)(0x80 | (v & 0x7F)));
    return out;
}

inline void PutBE(Bytes& out, uint32_t v, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out.push_back((uint8_t)(v >> (8 * i)));
}

class Track {
public:
    Bytes data;
    long long length = -1;   // chunk length written; -1 = the real length
    std::string type = "MTrk";

    Track& Raw(std::initializer_list<uint8_t> b) { data.insert(data.end(), b); return *this; }
    Track& Raw(const Bytes& b) { data.insert(data.end(), b.begin(), b.end()); return *this; }
    Track& Delta(uint32_t d) { return Raw(Vlq(d)); }
    // An event without status byte: delta-time, then the data bytes (running status).
    Track& Data(uint32_t d, std::initializer_list<uint8_t> b) { Delta(d); return Raw(b); }
    Track& Channel(uint32_t d, uint8_t status, std::initializer_list<uint8_t> b)
    {
        Delta(d);
        data.push_back(status);
        return Raw(b);
    }
    Track& NoteOn(uint32_t d, int ch, int key, int vel) { return Channel(d, (uint8_t)(0x90 | ch), {(uint8_t)key, (uint8_t)vel}); }
    Track& NoteOff(uint32_t d, int ch, int key, int vel) { return Channel(d, (uint8_t)(0x80 | ch), {(uint8_t)key, (uint8_t)vel}); }
    Track& Controller(uint32_t d, int ch, int c, int v) { return Channel(d, (uint8_t)(0xB0 | ch), {(uint8_t)c, (uint8_t)v}); }
    Track& Volume(uint32_t d, int ch, int v) { return Controller(d, ch, 7, v); }
    Track& Pan(uint32_t d, int ch, int v) { return Controller(d, ch, 10, v); }
    Track& Program(uint32_t d, int ch, int p) { return Channel(d, (uint8_t)(0xC0 | ch), {(uint8_t)p}); }
    Track& PitchBend(uint32_t d, int ch, int lsb, int msb) { return Channel(d, (uint8_t)(0xE0 | ch), {(uint8_t)lsb, (uint8_t)msb}); }
    // Meta event FF type, length as a variable-length quantity.
    Track& Meta(uint32_t d, uint8_t type, const Bytes& body)
    {
        Delta(d);
        data.push_back(0xFF);
        data.push_back(type);
        Raw(Vlq((uint32_t)body.size()));
        return Raw(body);
    }
    Track& Meta(uint32_t d, uint8_t type, const std::string& text) { return Meta(d, type, Bytes(text.begin(), text.end())); }
    Track& Name(uint32_t d, const std::string& name) { return Meta(d, 0x03, name); }
    Track& Text(uint32_t d, const std::string& text) { return Meta(d, 0x01, text); }
    Track& Tempo(uint32_t d, uint32_t usPerQuarter)
    {
        Bytes b;
        PutBE(b, usPerQuarter, 3);
        return Meta(d, 0x51, b);
    }
    // F0 (or F7) system-exclusive event, length as a variable-length quantity.
    Track& Sysex(uint32_t d, const Bytes& body, uint8_t status = 0xF0)
    {
        Delta(d);
        data.push_back(status);
        Raw(Vlq((uint32_t)body.size()));
        return Raw(body);
    }
    Track& End(uint32_t d = 0) { Delta(d); return Raw({0xFF, 0x2F, 0x00}); }
    Track& Length(uint32_t n) { length = n; return *this; }
    Track& Type(const std::string& t) { type = t; return *this; }

    Bytes Chunk() const
    {
        Bytes out(type.begin(), type.end());
        out.resize(4, ' ');
        PutBE(out, length < 0 ? (uint32_t)data.size() : (uint32_t)length, 4);
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }
};

class File {
public:
    int format;
    int division;
    int tracks = -1;      // track count written; -1 = the number added
    smf::Bytes trailing;       // bytes after the last chunk
    std::vector<Track> list;

    explicit File(int fmt = 1, int div = 96) : format(fmt), division(div) {}
    File& Add(const Track& t) { list.push_back(t); return *this; }
    File& Tracks(int n) { tracks = n; return *this; }
    File& Trailing(const smf::Bytes& b) { trailing = b; return *this; }

    smf::Bytes Header() const
    {
        smf::Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
        PutBE(out, (uint32_t)format, 2);
        PutBE(out, (uint32_t)(tracks < 0 ? (int)list.size() : tracks), 2);
        PutBE(out, (uint32_t)division, 2);
        return out;
    }
    smf::Bytes Bytes() const
    {
        smf::Bytes out = Header();
        for (const Track& t : list) {
            smf::Bytes c = t.Chunk();
            out.insert(out.end(), c.begin(), c.end());
        }
        out.insert(out.end(), trailing.begin(), trailing.end());
        return out;
    }
};

// A format 1 song of `tracks` tracks named "Part 0".., each with one quarter of notes on
// `channels` channels from its own number on, so that every track on several channels gets
// its channel rows.
inline File PartsSong(int tracks, int channels)
{
    File f(1, 96);
    for (int t = 0; t < tracks; t++) {
        Track tr;
        tr.Name(0, "Part " + std::to_string(t));
        for (int c = 0; c < channels; c++)
            tr.NoteOn(0, (t + c) % 16, 60 + c, 90);
        for (int c = 0; c < channels; c++)
            tr.NoteOff(96, (t + c) % 16, 60 + c, 0);
        f.Add(tr.End());
    }
    return f;
}

}  // namespace smf
