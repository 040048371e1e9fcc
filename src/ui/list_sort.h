// Sorting the two report lists of the properties window (Reservations and
// Active Leases), without windows: the page's sort code, the list's sort
// indicator, what a column click makes of them, the comparisons, and where
// the owner-drawn header puts its triangle and title.
//
// The two values are held apart on purpose. The page sorts by its sort code
// (kept in the page's user slot); the header draws from the sort indicator
// (kept in the list's window property "tqlm_sort"). Each has its own
// encoding:
//   sort code       bit 0: the second column (address); bit 1: descending
//   sort indicator  bits 0-7: the sorted column's index; 0x100: descending
#pragma once

#include <cstdint>

#include "leases/lease_store.h"
#include "leases/reservations.h"
#include "ui/dpi_scale.h"

constexpr int SORT_SECOND_COLUMN = 1;
constexpr int SORT_DESCENDING = 2;
constexpr int INDICATOR_COLUMN_MASK = 0xFF;
constexpr int INDICATOR_DESCENDING = 0x100;

// A click on column `column` of a list sorted by `sortCode`: the same
// column while ascending turns to descending; anything else sorts by the
// clicked column, ascending.
struct ColumnClick {
    int sortCode;
    int sortIndicator;
};
ColumnClick ClickColumn(int sortCode, int column);

// What the header reads from a sort indicator.
inline int IndicatedColumn(int indicator) { return indicator & INDICATOR_COLUMN_MASK; }
inline bool IndicatesDescending(int indicator) { return (indicator & INDICATOR_DESCENDING) != 0; }

// The comparisons the lists sort with: negative, 0 or positive. Keys and
// host names compare without regard to case in the user's order
// (CompareTextNoCase), addresses as unsigned numbers; bit 1 of the sort
// code reverses the sign. A lease shown by its identifier (no host name)
// sorts by its empty host name, not by the text shown.
int CompareReservations(const Reservation& a, const Reservation& b, int sortCode);
int CompareLeases(const Lease& a, const Lease& b, int sortCode);

// Where a header item's parts go, in the item's pixels, on a screen of
// `dpi` dots per inch (every distance below is for 96 and scales).
struct HeaderItemLayout {
    // The rectangle painted: a pressed item's contents move one pixel right
    // and down, a resting item's edges one pixel in from the right and
    // bottom.
    int left, top, right, bottom;
    // The triangle's left edge and top (top only for the sorted column).
    int arrowX, arrowY;
    // The title's span: from left + 5 to arrowX - 5, cut with an ellipsis.
    int titleLeft, titleRight;
};
HeaderItemLayout LayOutHeaderItem(int left, int top, int right, int bottom, bool pressed, int titleWidth,
                                  int dpi = BASE_DPI);
