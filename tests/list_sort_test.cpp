// Sorting the Reservations and Active Leases lists without windows: column
// clicks, the comparisons, and the header item's layout.
#include "ui/list_sort.h"

#include <gtest/gtest.h>

namespace {

TEST(ListSortTest, ClicksToggleTheSameColumnAndStartOthersAscending) {
    // From the page's start (first column, ascending): address, address,
    // address, then the name column.
    int code = 0;
    const int clicks[] = {1, 1, 1, 0, 0, 1};
    const ColumnClick expected[] = {{1, 1}, {3, 0x101}, {1, 1}, {0, 0}, {2, 0x100}, {1, 1}};
    for (size_t i = 0; i < 6; ++i) {
        const ColumnClick click = ClickColumn(code, clicks[i]);
        EXPECT_EQ(click.sortCode, expected[i].sortCode) << "click " << i;
        EXPECT_EQ(click.sortIndicator, expected[i].sortIndicator) << "click " << i;
        code = click.sortCode;
    }
    // Address descending, then a click on the names: names ascending.
    EXPECT_EQ(ClickColumn(3, 0).sortCode, 0);
    EXPECT_EQ(IndicatedColumn(0x101), 1);
    EXPECT_TRUE(IndicatesDescending(0x101));
    EXPECT_FALSE(IndicatesDescending(1));
}

TEST(ListSortTest, TextsIgnoreCaseAddressesCompareAsNumbers) {
    Reservation low, high;
    low.setKey("printer");
    low.address = 0x0A000001;  // 10.0.0.1: before 192.168.0.1, whatever the texts say
    high.setKey("Alpha");
    high.address = 0xC0A80001;
    EXPECT_GT(CompareReservations(low, high, 0), 0);
    EXPECT_LT(CompareReservations(low, high, 1), 0);
    EXPECT_GT(CompareReservations(low, high, 3), 0);
    EXPECT_LT(CompareReservations(low, high, 2), 0);
    high.setKey("PRINTER");
    EXPECT_EQ(CompareReservations(low, high, 0), 0);

    Lease named, unnamed;
    named.setHostName("pc7");
    named.address = 0xFFFFFFFE;  // the top bit set: still after smaller addresses
    const uint8_t id[] = {0xFF};
    unnamed.setClientId(id, sizeof id);  // listed as [FF], sorted by its empty name
    unnamed.address = 0x7F000001;
    EXPECT_GT(CompareLeases(named, unnamed, 0), 0);
    EXPECT_GT(CompareLeases(named, unnamed, 1), 0);
    EXPECT_LT(CompareLeases(named, unnamed, 3), 0);
}

TEST(ListSortTest, HeaderItemShiftsWhenPressedAndKeepsTheTriangleInside) {
    // A resting item 100 x 20 at x 50 with a short title: the right and
    // bottom edges come in, the triangle follows the title.
    HeaderItemLayout item = LayOutHeaderItem(50, 0, 150, 20, false, 40);
    EXPECT_EQ(item.right, 149);
    EXPECT_EQ(item.bottom, 19);
    EXPECT_EQ(item.arrowX, 50 + 15 + 40);
    EXPECT_EQ(item.arrowY, (19 - 7) / 2);
    EXPECT_EQ(item.titleLeft, 55);
    EXPECT_EQ(item.titleRight, item.arrowX - 5);

    // Pressed: contents one pixel right and down.
    item = LayOutHeaderItem(50, 0, 150, 20, true, 40);
    EXPECT_EQ(item.left, 51);
    EXPECT_EQ(item.top, 1);
    EXPECT_EQ(item.arrowX, 51 + 15 + 40);

    // A title wider than the item less 30: the triangle stops 15 pixels
    // short of the right edge and the title is drawn left of it.
    item = LayOutHeaderItem(50, 0, 150, 20, false, 300);
    EXPECT_EQ(item.arrowX, item.right - 15);
    EXPECT_EQ(item.titleRight, item.right - 20);
    item = LayOutHeaderItem(75, 0, 225, 30, true, 60, 144);  // 150 %: every distance half as long again
    EXPECT_EQ(item.left, 77);  // 1.5 pixels, rounded
    EXPECT_EQ(item.arrowX, 77 + 23 + 60);
    EXPECT_EQ(item.arrowY, 2 + (28 - 11) / 2);  // the triangle 11 pixels high
}

}  // namespace
