#include "ui/ranges_page.h"

#include <algorithm>

#include "config/server_settings.h"
#include "leases/address_ranges.h"
#include "leases/range_items.h"
#include "base/ip_address.h"
#include "base/text_string.h"
#include "ui/general_page.h"

namespace {

// Longest address text kept from a token when the list is stored.
constexpr size_t TOKEN_MAX = 49;

void AppendEntries(RangeList& list, const char* text, int kind) {
    std::vector<RangeItem> items;
    ParseRangeItems(text, items);
    // A text without items, or one ending in ",", reads as an extra item
    // 255.255.255.255 that nobody wrote; the list shows only written items.
    for (const RangeItem& item : items)
        if (item.written) list.push_back({FormatAddress(item.low) + " - " + FormatAddress(item.high), kind});
}

void AppendItem(std::string& text, const std::string& item) {
    if (!text.empty()) text += ',';
    text += item;
}

}  // namespace

RangeList RangeListFromTables(const char* ranges, const char* exceptions) {
    RangeList list;
    AppendEntries(list, ranges, RANGE_INCLUDED);
    AppendEntries(list, exceptions, RANGE_EXCLUDED);
    return list;
}

int SplitRangeEntry(const std::string& text, std::string& first, std::string& last) {
    TextString tokens(text.c_str());
    first = tokens.nextToken(" -", true).text();
    last = tokens.nextToken(" -", false).text();
    return first.empty() ? 0 : last.empty() ? 1 : 2;
}

RangeAddResult AddRangeEntry(RangeList& list, int kind, const std::string& from, const std::string& to,
                             size_t* changed) {
    uint32_t low = PageAddress(from.c_str());
    uint32_t high = PageAddress(to.c_str());
    if (low == ADDRESS_NONE) return RangeAddResult::BadFrom;
    if (high == ADDRESS_NONE) return RangeAddResult::BadTo;
    if (low > high) return RangeAddResult::Reversed;
    std::string lowText = from;
    std::string highText = to;

    for (size_t i = 0; i < list.size();) {
        std::string first, last;
        if (SplitRangeEntry(list[i].text, first, last) < 2) {
            ++i;
            continue;
        }
        const uint32_t a = PageAddress(first.c_str());
        const uint32_t b = PageAddress(last.c_str());
        const bool sameKind = list[i].kind == kind;
        if (a == low && b == high) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (a <= low && b >= high) {
            if (sameKind || kind == RANGE_INCLUDED) {
                if (changed) *changed = i;
                return RangeAddResult::Covered;
            }
            ++i;  // an exclusion inside an included range stands beside it
            continue;
        }
        if (a >= low && b <= high && sameKind) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        bool merged = false;
        if (sameKind && a <= low && low <= b) {
            low = a;
            lowText = FormatAddress(a);
            merged = true;
        }
        if (sameKind && a <= high && high <= b) {
            high = b;
            highText = FormatAddress(b);
            merged = true;
        }
        if (merged) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }

    size_t position = list.size();
    if (kind == RANGE_INCLUDED) {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].kind == RANGE_EXCLUDED) {
                position = i;
                break;
            }
    }
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(position), RangeEntry{lowText + " - " + highText, kind});
    if (changed) *changed = position;
    return RangeAddResult::Added;
}

void RangeTableTexts(const RangeList& list, std::string& ranges, std::string& exceptions) {
    ranges.clear();
    exceptions.clear();
    for (const RangeEntry& entry : list) {
        std::string first, last;
        if (SplitRangeEntry(entry.text, first, last) < 2) continue;
        first.resize(std::min(first.size(), TOKEN_MAX));
        last.resize(std::min(last.size(), TOKEN_MAX));
        const std::string item = EqualNoCase(first, last) ? first : first + "-" + last;
        AppendItem(entry.kind == RANGE_INCLUDED ? ranges : exceptions, item);
    }
}

void StoreRangesPage(const RangeList& list, const std::string& subnetMask) {
    UpdateSettings([&](ServerSettings& s) {
        CopySetting(s.SubnetMask, subnetMask.c_str());
        s.subnetMask = PageAddress(s.SubnetMask);
    });
    std::string ranges, exceptions;
    RangeTableTexts(list, ranges, exceptions);
    SetGatewayTables(LOCAL_GATEWAY, ranges.c_str(), exceptions.c_str());
}
