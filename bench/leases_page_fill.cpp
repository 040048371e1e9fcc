// How long the Active Leases page takes to show a large lease table: the
// page opened over N leases (its first fill and sort), a Refresh (a new
// snapshot and all rows again) and a sort by address, in milliseconds, each
// with the paints that follow. A Windows program: run it under Wine.
//
//   leases_page_fill [LEASES]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dialog_driver.h"
#include "leases/lease_store.h"
#include "base/clock.h"
#include "ui/pages_win32.h"
#include "ui/ui_resource.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Leases with names in no particular order, a quarter without a name.
void FillTable(long count) {
    const uint64_t expiry = NowFileTime() + 86400ull * FILETIME_TICKS_PER_SECOND;
    for (long i = 0; i < count; ++i) {
        const uint32_t n = static_cast<uint32_t>(i) * 2654435761u;
        const uint8_t id[] = {0x00, 0x0C, 0x29, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                              static_cast<uint8_t>(n)};
        char name[32];
        std::snprintf(name, sizeof name, "host-%08x", n);
        Lease lease;
        lease.setHostName(i % 4 ? name : "");
        lease.setClientId(id, sizeof id);
        lease.address = 0x0A000000u + static_cast<uint32_t>((n >> 8) & 0xFFFFFF);
        lease.expiry = expiry;
        AppendLease(lease);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    long count = argc > 1 ? std::atol(argv[1]) : 10000;
    if (count < 1) count = 1;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    FillTable(count);
    // The page is a child dialog; a plain window stands in for the frame.
    HWND frame = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);

    std::vector<double> open, refresh, sort;
    for (int round = 0; round < 5; ++round) {
        Clock::time_point start = Clock::now();
        HWND page = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ACTIVE_LEASES), frame,
                                       &ActiveLeasesPageProc, 0);
        if (!page) {
            std::fprintf(stderr, "the page was not created (%lu)\n", GetLastError());
            return 1;
        }
        ShowWindow(page, SW_SHOW);
        Pump(frame);
        open.push_back(MillisecondsSince(start));
        HWND list = GetDlgItem(page, IDC_LEASE_LIST);
        if (ListView_GetItemCount(list) != count) {
            std::fprintf(stderr, "%d rows listed of %ld\n", ListView_GetItemCount(list), count);
            return 1;
        }

        start = Clock::now();
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0);
        Pump(frame);
        refresh.push_back(MillisecondsSince(start));

        start = Clock::now();
        ClickHeader(list, 1);  // and the paints after it
        sort.push_back(MillisecondsSince(start));
        DestroyWindow(page);
        Pump(frame);
    }
    std::printf("leases                 %ld\n", count);
    std::printf("open the page          %8.1f ms (median of 5)\n", Median(open));
    std::printf("Refresh                %8.1f ms\n", Median(refresh));
    std::printf("sort by address        %8.1f ms\n", Median(sort));
    return 0;
}
