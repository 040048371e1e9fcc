#include "ui/list_sort.h"

#include <algorithm>

#include "ui/user_locale.h"

namespace {

template <typename T>
int CompareNumbers(T a, T b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

int Directed(int result, int sortCode) { return (sortCode & SORT_DESCENDING) ? -result : result; }

// Half the triangle's room on each side of the title: the triangle is 7
// pixels wide and keeps 15 pixels from the item's edges.
constexpr int ARROW_MARGIN = 15;
constexpr int ARROW_HEIGHT = 7;
constexpr int TITLE_GAP = 5;

}  // namespace

ColumnClick ClickColumn(int sortCode, int column) {
    if (column == sortCode) return {column | SORT_DESCENDING, column | INDICATOR_DESCENDING};
    return {column, column};
}

int CompareReservations(const Reservation& a, const Reservation& b, int sortCode) {
    const int result = (sortCode & SORT_SECOND_COLUMN) ? CompareNumbers(a.address, b.address)
                                                      : CompareTextNoCase(a.key, b.key);
    return Directed(result, sortCode);
}

int CompareLeases(const Lease& a, const Lease& b, int sortCode) {
    const int result = (sortCode & SORT_SECOND_COLUMN) ? CompareNumbers(a.address, b.address)
                                                      : CompareTextNoCase(a.hostName, b.hostName);
    return Directed(result, sortCode);
}

HeaderItemLayout LayOutHeaderItem(int left, int top, int right, int bottom, bool pressed, int titleWidth, int dpi) {
    HeaderItemLayout layout{left, top, right, bottom, 0, 0, 0, 0};
    const int shift = ScaleToDpi(1, dpi);
    if (pressed) {
        layout.left += shift;
        layout.top += shift;
    } else {
        layout.right -= shift;
        layout.bottom -= shift;
    }
    const int width = layout.right - layout.left;
    const int height = layout.bottom - layout.top;
    const int margin = ScaleToDpi(ARROW_MARGIN, dpi);
    layout.arrowX = layout.left + margin + std::min(titleWidth, width - 2 * margin);
    layout.arrowY = layout.top + (height - ScaleToDpi(ARROW_HEIGHT, dpi)) / 2;
    layout.titleLeft = layout.left + ScaleToDpi(TITLE_GAP, dpi);
    layout.titleRight = layout.arrowX - ScaleToDpi(TITLE_GAP, dpi);
    return layout;
}
