// The Address Ranges page's list without windows: building it from the
// tables, the merge rules of Include and Exclude, and the stored texts.
#include "ui/ranges_page.h"

#include <gtest/gtest.h>

#include "config/server_settings.h"
#include "leases/address_ranges.h"
#include "scratch_server.h"

namespace {

// The list as "+first - last" for included and "-first - last" for excluded
// entries, joined by "|".
std::string Shown(const RangeList& list) {
    std::string out;
    for (const RangeEntry& entry : list) {
        if (!out.empty()) out += "|";
        out += (entry.kind == RANGE_INCLUDED ? "+" : "-") + entry.text;
    }
    return out;
}

TEST(RangeListTest, ListHoldsTheWrittenItemsRangesFirst) {
    RangeList list = RangeListFromTables("10.0.0.1-10.0.0.9,,10.0.0.20,", "10.0.0.5");
    EXPECT_EQ(Shown(list), "+10.0.0.1 - 10.0.0.9|+10.0.0.20 - 10.0.0.20|-10.0.0.5 - 10.0.0.5");
    EXPECT_EQ(Shown(RangeListFromTables("", "")), "");
}

TEST(RangeListTest, IncludeAndExcludeMergeWithTheirOwnKind) {
    struct Case {
        const char* before;  // ranges table text, exceptions table text
        const char* exceptions;
        int kind;
        const char* from;
        const char* to;
        RangeAddResult result;
        const char* after;
    } cases[] = {
        // Overlapping included ranges become one entry.
        {"10.0.0.40-10.0.0.100", "", RANGE_INCLUDED, "10.0.0.1", "10.0.0.50", RangeAddResult::Added,
         "+10.0.0.1 - 10.0.0.100"},
        // Both ends widen; the widened end shows the old entry's address.
        {"10.0.0.1-10.0.0.10,10.0.0.20-10.0.0.30", "", RANGE_INCLUDED, "10.0.0.5", "10.0.0.25",
         RangeAddResult::Added, "+10.0.0.1 - 10.0.0.30"},
        // Already covered by its own kind: nothing changes.
        {"10.0.0.1-10.0.0.100", "", RANGE_INCLUDED, "10.0.0.10", "10.0.0.20", RangeAddResult::Covered,
         "+10.0.0.1 - 10.0.0.100"},
        // An included range inside an exclusion is not added...
        {"10.0.0.1-10.0.0.100", "10.0.0.10-10.0.0.20", RANGE_INCLUDED, "10.0.0.12", "10.0.0.14",
         RangeAddResult::Covered, "+10.0.0.1 - 10.0.0.100|-10.0.0.10 - 10.0.0.20"},
        // ...an exclusion inside an included range is added beside it, last.
        {"10.0.0.1-10.0.0.100", "10.0.0.50", RANGE_EXCLUDED, "10.0.0.10", "10.0.0.20", RangeAddResult::Added,
         "+10.0.0.1 - 10.0.0.100|-10.0.0.50 - 10.0.0.50|-10.0.0.10 - 10.0.0.20"},
        // The exact bounds of an entry of the other kind replace it.
        {"10.0.0.1-10.0.0.9,10.0.0.20-10.0.0.30", "", RANGE_EXCLUDED, "10.0.0.1", "10.0.0.9",
         RangeAddResult::Added, "+10.0.0.20 - 10.0.0.30|-10.0.0.1 - 10.0.0.9"},
        // A new included range goes before the first exclusion; entries of
        // its kind inside it go, exclusions inside it stay.
        {"10.0.0.5-10.0.0.6", "10.0.0.7", RANGE_INCLUDED, "10.0.0.2", "10.0.0.10", RangeAddResult::Added,
         "+10.0.0.2 - 10.0.0.10|-10.0.0.7 - 10.0.0.7"},
        // Entries removed before a covering entry stops the walk stay removed.
        {"10.0.0.5-10.0.0.6,10.0.0.1-10.0.0.20", "", RANGE_INCLUDED, "10.0.0.2", "10.0.0.10",
         RangeAddResult::Covered, "+10.0.0.1 - 10.0.0.20"},
        // Bad input changes nothing.
        {"10.0.0.1", "", RANGE_INCLUDED, "10.0.0.30", "10.0.0.20", RangeAddResult::Reversed, "+10.0.0.1 - 10.0.0.1"},
        {"10.0.0.1", "", RANGE_INCLUDED, "10.0.0.300", "10.0.0.20", RangeAddResult::BadFrom,
         "+10.0.0.1 - 10.0.0.1"},
        {"10.0.0.1", "", RANGE_EXCLUDED, "10.0.0.2", "x", RangeAddResult::BadTo, "+10.0.0.1 - 10.0.0.1"},
    };
    for (const Case& c : cases) {
        RangeList list = RangeListFromTables(c.before, c.exceptions);
        EXPECT_EQ(AddRangeEntry(list, c.kind, c.from, c.to), c.result) << c.from << " - " << c.to;
        EXPECT_EQ(Shown(list), c.after) << c.from << " - " << c.to;
    }
}

TEST(RangeListTest, StoredTextsAndTheStore) {
    RangeList list = {{"10.0.0.7 - 10.0.0.7", RANGE_INCLUDED},
                      {"10.0.0.1 - 10.0.0.9", RANGE_INCLUDED},
                      {"10.0.0.3 - 10.0.0.3", RANGE_EXCLUDED},
                      {"lonely", RANGE_EXCLUDED}};
    std::string ranges, exceptions;
    RangeTableTexts(list, ranges, exceptions);
    EXPECT_EQ(ranges, "10.0.0.7,10.0.0.1-10.0.0.9");
    EXPECT_EQ(exceptions, "10.0.0.3");

    ResetSettings();
    StoreRangesPage(list, "255.255.255.0");
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "10.0.0.7,10.0.0.1-10.0.0.9");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "10.0.0.3");
    EXPECT_STREQ(CurrentSettings()->SubnetMask, "255.255.255.0");
    EXPECT_EQ(CurrentSettings()->subnetMask, 0xFFFFFF00u);
    StoreRangesPage(RangeList(), "255.255.0.0");  // an empty list empties both texts
    EXPECT_EQ(GatewayRanges(LOCAL_GATEWAY), "");
    EXPECT_EQ(GatewayExceptions(LOCAL_GATEWAY), "");
    ResetServerState();
}

}  // namespace
