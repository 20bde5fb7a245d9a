#include "e2e/tones.h"

#include "sf2build.h"
#include "smfbuild.h"
#include "synth/soundfont.h"

namespace e2e {

Bytes ToneFont()
{
    // 441 Hz at key 69 (100 frames a period, so the loop of whole periods is seamless): 4
    // cents sharp of A440, far inside what the analysis windows tell apart.
    sf2::Font font;
    int sine = font.AddSample(sf2::Sample("sine", sf2::Sine(4400, 100)).Root(69).Rate(44100).Loop(0, 4400));
    int square = font.AddSample(sf2::Sample("square", sf2::Square(4400, 100, 8000)).Root(69).Rate(44100).Loop(0, 4400));
    auto zone = [](int sample) {
        return sf2::Zone()
            .Gen(GEN_ATTACK_VOL_ENV, -10700)    // 2 ms
            .Gen(GEN_RELEASE_VOL_ENV, -7973)    // 10 ms
            .Gen(GEN_REVERB_EFFECTS_SEND, 0)
            .Gen(GEN_CHORUS_EFFECTS_SEND, 0)
            .Gen(GEN_SAMPLE_MODES, 1)
            .Sample(sample);
    };
    int sineInstrument = font.AddInstrument(sf2::Instrument("Sine").Add(zone(sine)));
    int squareInstrument = font.AddInstrument(sf2::Instrument("Square").Add(zone(square)));
    font.AddPreset(sf2::Preset("Sine", 0, 0).Add(sf2::Zone().Instrument(sineInstrument)));
    font.AddPreset(sf2::Preset("Square", 0, kSquareProgram).Add(sf2::Zone().Instrument(squareInstrument)));
    return font.Bytes();
}

ToneSong MakeVoicesSong(int quarters, const std::vector<ToneVoice>& voices)
{
    const int ppq = 96;
    ToneSong song;
    song.seconds = quarters * 0.5;
    smf::File file(1, ppq);
    file.Add(smf::Track().Name(0, "Tones").Tempo(0, 500000).End((uint32_t)(quarters * ppq)));
    for (int ch = 0; ch < (int)voices.size(); ++ch) {
        const ToneVoice& v = voices[ch];
        TonePart t;
        t.key = v.key;
        t.hz = audio::KeyHz(v.key) * 441.0 / 440.0;
        t.noteSeconds = v.lengthTicks * 0.5 / ppq;
        smf::Track tr;
        // No reverb or chorus (sends 0): their tails would fill the gaps between notes.
        tr.Name(0, v.name).Program(0, ch, 0).Volume(0, ch, 100).Pan(0, ch, 64).Controller(0, ch, 91, 0).Controller(0, ch, 93, 0);
        uint32_t at = 0;
        for (int start = v.offsetTicks; start + v.lengthTicks <= quarters * ppq; start += v.everyTicks) {
            tr.NoteOn((uint32_t)start - at, ch, v.key, 100).NoteOff((uint32_t)v.lengthTicks, ch, v.key, 0);
            at = (uint32_t)(start + v.lengthTicks);
            t.onsets.push_back(start * 0.5 / ppq);
        }
        tr.End();
        file.Add(tr);
        song.tracks.push_back(t);
    }
    song.file = file.Bytes();
    return song;
}

ToneSong MakeToneSong(int quarters)
{
    const int ppq = 96;
    return MakeVoicesSong(quarters, {{"Beat", 60, 0, 58, ppq}, {"Offbeat", 67, ppq / 2, 38, ppq}, {"Held", 76, 0, 365, 4 * ppq}});
}

std::string TonePlayer()
{
    std::string dir = WorkDir() + "tones\\";
    std::string exe = dir + "player.exe";
    if (!FileExists(exe)) {
        CreateDirectoryA(dir.c_str(), NULL);
        CopyFileA((ExeDir() + "player.exe").c_str(), exe.c_str(), FALSE);
        WriteWorkFile("tones\\tones.sf2", ToneFont());
    }
    return exe;
}

std::vector<double> TrackOnsets(const audio::Stereo& s, const TonePart& t)
{
    // Notes sound at -20 to -35 dBFS; the attacks of other notes and the start of the stream
    // stay under -35 at a track's pitch.
    return audio::Onsets(audio::ToneTrack(s, t.hz), -38.0, -50.0);
}

}  // namespace e2e
