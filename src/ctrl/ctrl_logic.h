// Pure helpers of the track view and its rows: the arithmetic of scrolling, the row layout
// and control identifiers, the instrument lists and the solo logic. No platform calls, so
// they build natively and are tested there.
#pragma once

#define ROW_PITCH 21    // pixels from one track row to the next
#define MAX_ROWS  100   // one row per listed track, at most the song record's track limit

// Columns of a row; a control's identifier is 100 * column + row.
enum RowColumn { COL_ON = 0, COL_SOLO, COL_NAME, COL_INSTR, COL_VOL, COL_BAL, ROW_COLUMNS };

int RowControlId(int column, int row);
int ColumnOfId(int id);
int RowOfId(int id);

// Channel rows: one under its track's row for each channel a track on several channels plays
// notes on. Their controls have identifiers of their own, from CHANNEL_ROW_ID_BASE up, one
// block of ROW_COLUMNS per channel row k (counted over the whole song).
#define MAX_CHANNEL_ROWS (MAX_ROWS * 16)
#define MAX_VIEW_ROWS    (MAX_ROWS + MAX_CHANNEL_ROWS)   // track rows and channel rows
#define CHANNEL_ROW_ID_BASE 10000
int ChannelRowControlId(int column, int k);
bool IsChannelRowId(int id);
int ChannelRowOfId(int id);
// The column of any row control's identifier, track row or channel row.
int ControlColumnOfId(int id);

// Place of a row control in the unscrolled track view, in client pixels.
struct RowRect { int x, y, cx, cy; };
RowRect RowControlRect(int column, int row);
// A channel row's control on view line `line`: the columns of the track rows, with a label
// in the name's place, set in under the track's name.
RowRect ChannelRowControlRect(int column, int line);
#define CHANNEL_LABEL_INDENT 14

// ---- The column header ------------------------------------------------------------------

// Title of a column ("On", "Solo", "Track Name", "Instrument", "Volume", "Balance"); null
// outside the columns.
const char* ColumnTitle(int column);
// Left edge of a column's title in the header's client pixels: the left edge of the column's
// row controls, given the header's client x of the track view's client left edge.
int ColumnTitleX(int column, int viewClientX);

// ---- Scrolling (positions count rows) --------------------------------------------------

// Vertical scroll requests, numbered as the platform's SB_* codes.
enum ScrollRequest {
    SCROLL_LINEUP = 0, SCROLL_LINEDOWN = 1, SCROLL_PAGEUP = 2, SCROLL_PAGEDOWN = 3,
    SCROLL_THUMBPOSITION = 4, SCROLL_THUMBTRACK = 5, SCROLL_TOP = 6, SCROLL_BOTTOM = 7,
    SCROLL_ENDSCROLL = 8
};

// Whole rows that fit in a client area of this height.
int WholeRows(int clientHeight);
// Highest scroll position for nTracks rows of which nVisible fit: 0 when all fit, otherwise
// nTracks - 1, so the view can scroll until only the last row is at the top. It is -1 when
// there are no rows and not even one fits; positions still clamp to 0 then.
int ScrollRangeFor(int nTracks, int nVisible);
// Position a request asks for before clamping; false when the request moves nothing at all
// (the thumb being dragged: the view follows only when it is released).
bool ScrollRequestTarget(int request, int thumb, int pos, int range, int nVisible, int* target);
// Clamps to range first and to 0 last, so a range of -1 still ends at 0.
int ClampScrollPos(int pos, int range);
// Position after the view's height changes from oldVisible to nVisible whole rows. When it
// grows, the position moves back so that no empty space stands below the last row while
// earlier rows are hidden (back to 0 when everything fits); otherwise it stays in range.
int ScrollPosAfterResize(int pos, int nTracks, int oldVisible, int nVisible);
// Highest scroll position after a resize: as ScrollRangeFor, but 0 when everything fits, so
// the scroll bar goes.
int ScrollRangeAfterResize(int nTracks, int nVisible);

// ---- The keyboard in the track rows ---------------------------------------------------

// The control that Tab (or Shift+Tab when backwards) moves the focus to from the control at
// (column, row), in reading order: On, Solo, name, instrument, volume, balance, then the
// next row, wrapping round at the ends. enabled[ROW_COLUMNS * row + column] tells which
// controls can take the focus. False when none can.
bool NextFocusTarget(int column, int row, bool backwards, int nRows, const bool* enabled,
                     int* nextColumn, int* nextRow);
// The same, asking canFocus only about the controls it passes on its way, so that a Tab costs
// what it moves over, not what the view holds.
typedef bool (*FOCUSTEST)(int column, int row, void* context);
bool NextFocusTargetBy(int column, int row, bool backwards, int nRows, FOCUSTEST canFocus, void* context,
                       int* nextColumn, int* nextRow);
// Scroll position that shows row whole, moving as little as it can from pos.
int ScrollPosToShow(int row, int pos, int nVisible, int range);

// ---- The pane that carries the rows ------------------------------------------------------

// The rows stand in one pane that scrolls as a whole. A window is at most 32767 pixels high,
// so the pane holds PANE_LINES lines from a base line; a longer list moves the base.
#define PANE_LINES 1500
// Base line of the pane that shows lines top .. top + sight - 1 of a list of `lines`: base
// itself while it does, else one that puts them near the middle of the pane.
int PaneBaseFor(int base, int top, int sight, int lines);

// ---- The mouse wheel over the track view ------------------------------------------------

#define WHEEL_ROWS_PER_NOTCH 3   // as a line step of the scroll bar, three times a notch

// Rows the view moves up (positive) or down for this much wheel rotation (120 a notch,
// positive away from the user). Part of a notch is kept in *remainder for the next turn;
// a turn the other way drops what was kept.
int WheelRows(int delta, int* remainder);

enum WheelRoute {
    WHEEL_DELIVER,       // to the window it was meant for, as the platform would
    WHEEL_SCROLL_VIEW,   // scrolls the rows instead
    WHEEL_DROP           // nobody takes it
};
// Where a wheel message goes. A row control never takes the wheel as an edit; only an
// instrument list the user has dropped down does.
//   pointerOverView: the pointer stands over the track view, its rows or its header
//   forRow: the message was meant for the view or one of its row controls
//   droppedList: it was meant for an instrument list that is dropped down
WheelRoute RouteWheel(bool pointerOverView, bool forRow, bool droppedList);

// ---- Values from the row controls ------------------------------------------------------

// A selection or slider position is applied only when its low byte, as a signed byte, is not
// negative: no selection (-1) and entries from 128 up are ignored.
bool IsApplicableValue(long value);

// ---- Instrument lists ------------------------------------------------------------------

enum InstrumentList {
    INSTRLIST_PROGRAMS,   // the 128 program names, entry k = program k, enabled
    INSTRLIST_DRUMS,      // one fixed entry, disabled
    INSTRLIST_MIXED       // one fixed entry, disabled
};
// The list shown for an instrument code of the song record (0..127 or 240, 241, 242, 255).
InstrumentList InstrumentListFor(int code);
// The single entry of a fixed list ("Standard Midi Drums" or "Mixed Music"); null for the
// program list.
const char* FixedInstrumentEntry(InstrumentList list);

extern const char* const gmprogname[128];

// ---- Tracks and their channels -------------------------------------------------------

// Channels of a track (bit c = channel c) whose notes must be silent. notes: the channels the
// track plays notes on; channelsOn: those whose channel rows are on (all, for a track shown
// without channel rows); audibleBySolo: those a solo leaves audible in this track (all when
// there is no solo or the track's own row is solo, one when one of its channel rows is, none
// when the solo is elsewhere). A track that is off silences every channel, whatever their
// rows say.
unsigned SilencedChannels(unsigned notes, bool fTrackOn, unsigned channelsOn, unsigned audibleBySolo);

// How to bring a track whose silenced channels are applied to wanted: the channels whose
// notes must be swapped. When that is every channel the track has notes on, one swap of the
// whole track does it (*whole is set), exactly as the track's own On box does.
unsigned ChannelsToSwap(unsigned notes, unsigned applied, unsigned wanted, bool* whole);

// ---- Solo ------------------------------------------------------------------------------

struct SoloRow {
    bool fOn;     // the On box is checked
    bool fSolo;   // the Solo button is checked
};

enum RowEnable { ROW_KEEP = 0, ROW_ENABLE, ROW_DISABLE };

struct SoloStep {
    int row;
    int enable;     // RowEnable: what happens to the row's controls (Solo button excluded)
    bool fToggle;   // swap the track's note events (mute it or lift its mute)
};

// What one click on a Solo button does, in the order it must be applied: first the clicked
// button's new mark, then the mark taken from the row that was solo, then the steps.
struct SoloPlan {
    int nClicked;
    bool fClickedSolo;   // new mark of the clicked button
    int nUnchecked;      // row whose Solo button loses its mark (the solo moves), or -1
    int nSteps;
    SoloStep steps[MAX_VIEW_ROWS];
};

// Keeps this invariant: a track is muted exactly when its On box is unchecked or some other
// row is solo; a track whose On box is unchecked is never toggled.
void PlanSolo(const SoloRow* rows, int nRows, int clicked, SoloPlan* plan);
