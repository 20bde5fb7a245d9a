// Row layout, control identifiers, instrument lists and the solo logic of the track rows.
#include "ctrl/ctrl_logic.h"

int RowControlId(int column, int row)
{
    return 100 * column + row;
}

int ColumnOfId(int id)
{
    return id / 100;
}

int RowOfId(int id)
{
    return id % 100;
}

int ChannelRowControlId(int column, int k)
{
    return CHANNEL_ROW_ID_BASE + ROW_COLUMNS * k + column;
}

bool IsChannelRowId(int id)
{
    return id >= CHANNEL_ROW_ID_BASE && id < CHANNEL_ROW_ID_BASE + ROW_COLUMNS * MAX_CHANNEL_ROWS;
}

int ChannelRowOfId(int id)
{
    return (id - CHANNEL_ROW_ID_BASE) / ROW_COLUMNS;
}

int ControlColumnOfId(int id)
{
    return IsChannelRowId(id) ? (id - CHANNEL_ROW_ID_BASE) % ROW_COLUMNS : ColumnOfId(id);
}

RowRect ChannelRowControlRect(int column, int line)
{
    RowRect r = RowControlRect(column, line);
    if (column == COL_NAME) {
        // A one-line label, centred on the row's line like the name box it stands for.
        r.x += CHANNEL_LABEL_INDENT;
        r.cx -= CHANNEL_LABEL_INDENT;
        r.y += 3;
        r.cy = 14;
    }
    return r;
}

RowRect RowControlRect(int column, int row)
{
    // Offsets within the 21-pixel pitch centre each control on the row's line; the x
    // positions line the controls up under the header's words.
    static const RowRect layout[ROW_COLUMNS] = {
        {3, 2, 17, 17},      // On
        {20, 3, 17, 17},     // Solo
        {39, 1, 130, 20},    // name
        {171, 1, 130, 200},  // instrument, height includes the drop-down list
        {302, 0, 127, 20},   // volume
        {430, 0, 127, 20},   // balance
    };
    RowRect r = {0, 0, 0, 0};
    if (column < 0 || column >= ROW_COLUMNS)
        return r;
    r = layout[column];
    r.y += ROW_PITCH * row;
    return r;
}

const char* ColumnTitle(int column)
{
    static const char* const titles[ROW_COLUMNS] = {"On", "Solo", "Track Name", "Instrument", "Volume", "Balance"};
    return column >= 0 && column < ROW_COLUMNS ? titles[column] : nullptr;
}

int ColumnTitleX(int column, int viewClientX)
{
    return viewClientX + RowControlRect(column, 0).x;
}

bool IsApplicableValue(long value)
{
    return (signed char)(unsigned char)(value & 0xFF) >= 0;
}

InstrumentList InstrumentListFor(int code)
{
    if (code >= 0 && code <= 127)
        return INSTRLIST_PROGRAMS;
    if (code == 242)
        return INSTRLIST_DRUMS;
    return INSTRLIST_MIXED;
}

const char* FixedInstrumentEntry(InstrumentList list)
{
    switch (list) {
    case INSTRLIST_DRUMS: return "Standard Midi Drums";
    case INSTRLIST_MIXED: return "Mixed Music";
    default:              return nullptr;
    }
}

// General MIDI level 1 program names as the lists show them, index = program number.
const char* const gmprogname[128] = {
    "Acoustic Grand Piano", "Bright Acoustic Piano", "Electric Grand Piano", "Honky-tonk Piano",
    "Rhodes Piano", "Chorused Piano", "Harpsichord", "Clavinet",
    "Celesta", "Glockenspiel", "Music Box", "Vibraphone",
    "Marimba", "Xylophone", "Tubular Bells", "Dulcimer",
    "Hammond Organ", "Percussive Organ", "Rock Organ", "Church Organ",
    "Reed Organ", "Accordion", "Harmonica", "Tango Accordion",
    "Acoustic Guitar (nylon)", "Acoustic Guitar (steel)", "Electric Guitar (jazz)", "Electric Guitar (clean)",
    "Electric Guitar (muted)", "Overdriven Guitar", "Distortion Guitar", "Guitar Harmonics",
    "Acoustic Bass", "Electric Bass (finger)", "Electric Bass (pick)", "Fretless Bass",
    "Slap Bass 1", "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",
    "Violin", "Viola", "Cello", "Contrabass",
    "Tremelo Strings", "Pizzicato Strings", "Orchestral Harp", "Timpani",
    "String Ensemble 1", "String Ensemble 2", "SynthStrings 1", "SynthStrings 2",
    "Choir Aahs", "Voice Oohs", "Synth Voice", "Orchestra Hit",
    "Trumpet", "Trombone", "Tuba", "Muted Trumpet",
    "French Horn", "Brass Section", "Synth Brass 1", "Synth Brass 2",
    "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax",
    "Oboe", "English Horn", "Bassoon", "Clarinet",
    "Piccolo", "Flute", "Recorder", "Pan Flute",
    "Bottle Blow", "Shakuhachi", "Whistle", "Ocarina",
    "Lead 1 (square)", "Lead 2 (sawtooth)", "Lead 3 (calliope lead)", "Lead 4 (chiff lead)",
    "Lead 5 (charang)", "Lead 6 (voice)", "Lead 7 (fifths)", "Lead 8 (bass + lead)",
    "Pad 1 (new age)", "Pad 2 (warm)", "Pad 3 (polysynth)", "Pad 4 (choir)",
    "Pad 5 (bowed)", "Pad 6 (metallic)", "Pad 7 (halo)", "Pad 8 (sweep)",
    "FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)",
    "FX 5 (brightness)", "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)",
    "Sitar", "Banjo", "Shamisen", "Koto",
    "Kalimba", "Bagpipe", "Fiddle", "Shanai",
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock",
    "Taiko Drum", "Melodic Tom", "Synth Drum", "Reverse Cymbal",
    "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet",
    "Telephone Ring", "Helicopter", "Applause", "Gunshot",
};

static void AddStep(SoloPlan* plan, int row, int enable, bool fToggle)
{
    SoloStep& step = plan->steps[plan->nSteps++];
    step.row = row;
    step.enable = enable;
    step.fToggle = fToggle;
}

void PlanSolo(const SoloRow* rows, int nRows, int clicked, SoloPlan* plan)
{
    plan->nClicked = clicked;
    plan->fClickedSolo = false;
    plan->nUnchecked = -1;
    plan->nSteps = 0;
    if (nRows > MAX_VIEW_ROWS)
        nRows = MAX_VIEW_ROWS;
    if (clicked < 0 || clicked >= nRows)
        return;

    // The row that is solo now, found before anything changes.
    int solo = -1;
    for (int j = 0; j < nRows; j++) {
        if (rows[j].fSolo) {
            solo = j;
            break;
        }
    }

    bool wasSolo = rows[clicked].fSolo;
    plan->fClickedSolo = !wasSolo;

    if (wasSolo) {
        // The solo is released: every other row plays again unless its On box is off.
        for (int j = 0; j < nRows; j++)
            if (j != clicked)
                AddStep(plan, j, ROW_ENABLE, rows[j].fOn);
    } else if (solo < 0) {
        // A new solo: every other row is silenced, except those already off.
        for (int j = 0; j < nRows; j++)
            if (j != clicked)
                AddStep(plan, j, ROW_DISABLE, rows[j].fOn);
    } else {
        // The solo moves from row solo to the clicked row.
        plan->nUnchecked = solo;
        AddStep(plan, clicked, ROW_ENABLE, rows[clicked].fOn);
        AddStep(plan, solo, ROW_DISABLE, rows[solo].fOn);
    }
}

unsigned SilencedChannels(unsigned notes, bool fTrackOn, unsigned channelsOn, unsigned audibleBySolo)
{
    if (!fTrackOn)
        return notes;
    return notes & ~(channelsOn & audibleBySolo);
}

unsigned ChannelsToSwap(unsigned notes, unsigned applied, unsigned wanted, bool* whole)
{
    unsigned swap = (applied ^ wanted) & notes;
    *whole = swap != 0 && swap == notes;
    return swap;
}
