// Scrolling arithmetic of the track view: positions count whole rows.
#include "ctrl/ctrl_logic.h"

int WholeRows(int clientHeight)
{
    return clientHeight > 0 ? clientHeight / ROW_PITCH : 0;
}

int ScrollRangeFor(int nTracks, int nVisible)
{
    // n - v < 0, not <= 0: exactly as many rows as fit still scroll, down to the last one.
    if (nTracks - nVisible < 0)
        return 0;
    return nTracks - 1;
}

bool ScrollRequestTarget(int request, int thumb, int pos, int range, int nVisible, int* target)
{
    switch (request) {
    case SCROLL_LINEUP:        *target = pos - 1; break;
    case SCROLL_LINEDOWN:      *target = pos + 1; break;
    case SCROLL_PAGEUP:        *target = pos - nVisible; break;
    case SCROLL_PAGEDOWN:      *target = pos + nVisible; break;
    case SCROLL_THUMBPOSITION: *target = thumb; break;
    case SCROLL_THUMBTRACK:    return false;
    case SCROLL_TOP:           *target = 0; break;
    case SCROLL_BOTTOM:        *target = range; break;
    default:                   *target = pos; break;
    }
    return true;
}

int ClampScrollPos(int pos, int range)
{
    if (pos > range)
        pos = range;
    if (pos < 0)
        pos = 0;
    return pos;
}

int ScrollRangeAfterResize(int nTracks, int nVisible)
{
    return nTracks <= nVisible ? 0 : ScrollRangeFor(nTracks, nVisible);
}

int ScrollPosAfterResize(int pos, int nTracks, int oldVisible, int nVisible)
{
    if (nVisible > oldVisible) {
        int lowestFull = nTracks - nVisible;   // the last row at the view's bottom
        if (pos > lowestFull)
            pos = lowestFull;
    }
    return ClampScrollPos(pos, ScrollRangeAfterResize(nTracks, nVisible));
}

int WheelRows(int delta, int* remainder)
{
    const int notch = 120;
    if ((*remainder > 0 && delta < 0) || (*remainder < 0 && delta > 0))
        *remainder = 0;
    int total = *remainder + delta;
    int notches = total / notch;   // truncates toward zero, so the rest keeps its sign
    *remainder = total - notches * notch;
    return notches * WHEEL_ROWS_PER_NOTCH;
}

WheelRoute RouteWheel(bool pointerOverView, bool forRow, bool droppedList)
{
    if (droppedList)
        return WHEEL_DELIVER;
    if (pointerOverView)
        return WHEEL_SCROLL_VIEW;
    return forRow ? WHEEL_DROP : WHEEL_DELIVER;
}

bool NextFocusTargetBy(int column, int row, bool backwards, int nRows, FOCUSTEST canFocus, void* context,
                       int* nextColumn, int* nextRow)
{
    int total = nRows * ROW_COLUMNS;
    if (total <= 0)
        return false;
    int at = row * ROW_COLUMNS + column;
    if (at < 0 || at >= total)
        at = backwards ? 0 : total - 1;   // from outside the rows: the first (or last) control
    for (int step = 1; step <= total; step++) {
        int k = ((at + (backwards ? -step : step)) % total + total) % total;
        if (canFocus(k % ROW_COLUMNS, k / ROW_COLUMNS, context)) {
            *nextColumn = k % ROW_COLUMNS;
            *nextRow = k / ROW_COLUMNS;
            return true;
        }
    }
    return false;
}

static bool IsEnabledInTable(int column, int row, void* context)
{
    return ((const bool*)context)[row * ROW_COLUMNS + column];
}

bool NextFocusTarget(int column, int row, bool backwards, int nRows, const bool* enabled,
                     int* nextColumn, int* nextRow)
{
    return NextFocusTargetBy(column, row, backwards, nRows, IsEnabledInTable, (void*)enabled, nextColumn, nextRow);
}

int ScrollPosToShow(int row, int pos, int nVisible, int range)
{
    if (row < pos)
        pos = row;
    else if (nVisible > 0 && row >= pos + nVisible)
        pos = row - nVisible + 1;
    return ClampScrollPos(pos, range);
}

int PaneBaseFor(int base, int top, int sight, int lines)
{
    if (top >= base && top + sight <= base + PANE_LINES)
        return base;
    int centred = top + sight / 2 - PANE_LINES / 2;
    if (centred > lines - PANE_LINES)
        centred = lines - PANE_LINES;
    return centred > 0 ? centred : 0;
}
