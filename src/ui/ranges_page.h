// The decisions of the Address Ranges page, without windows: the one list of
// included and excluded ranges of the server's own network, how a new range
// merges with the entries of its kind, and how the list is written back into
// the range and exception tables. The page's dialog procedure shows the list
// and moves the typed texts in and out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum RangeKind : int { RANGE_INCLUDED = 0, RANGE_EXCLUDED = 1 };

// One entry as the list shows it: "first - last" (a single address shows
// twice) and its kind.
struct RangeEntry {
    std::string text;
    int kind = RANGE_INCLUDED;
};
using RangeList = std::vector<RangeEntry>;

// The entries of the tables' texts: every written item of the ranges, then
// of the exceptions, each in the order of its text.
RangeList RangeListFromTables(const char* ranges, const char* exceptions);

// Splits an entry's text into tokens at blanks and "-"; returns how many of
// the first two exist (0, 1 or 2).
int SplitRangeEntry(const std::string& text, std::string& first, std::string& last);

enum class RangeAddResult {
    Added,
    Covered,  // an entry already covers the range: nothing added
    BadFrom,  // From does not parse
    BadTo,    // To does not parse
    Reversed, // To lies below From
};

// Adds the range from..to (the typed texts) as an entry of `kind`:
// - an entry with exactly these bounds goes, whatever its kind;
// - an entry that covers the range stops everything when it is of the same
//   kind or the new range is an included one (entries removed before stay
//   removed); an exclusion inside an included range is added beside it;
// - entries of the same kind inside the range go;
// - entries of the same kind that overlap it widen it (the widened end
//   takes the entry's address as text) and go.
// An included range goes before the first exclusion, an exclusion last.
// `changed` receives the index of the entry added (Added) or of the one that
// covers the range (Covered), for the page to select and show.
RangeAddResult AddRangeEntry(RangeList& list, int kind, const std::string& from, const std::string& to,
                             size_t* changed = nullptr);

// The tables' texts of the list: comma-separated items without blanks, an
// entry whose two addresses are the same text (letter case aside) as one
// address, else "first-last".
void RangeTableTexts(const RangeList& list, std::string& ranges, std::string& exceptions);

// Stores the page: the subnet mask (text and host-order value) and, in one
// step under the lock of the tables, the local ranges and exceptions.
void StoreRangesPage(const RangeList& list, const std::string& subnetMask);
