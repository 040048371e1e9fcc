// desktop_probe.exe: looks at the Wine desktop for the whole-program tests
// and prints what it finds, one "key=value" per line.
//
//   desktop_probe box MS [ok|retry|cancel]  waits up to MS for a message box,
//                                            prints caption, text and owner,
//                                            closes it with the button; exit 1
//                                            when none appeared
//   desktop_probe nobox MS                   exit 0 when no message box appears
//                                            within MS (one that does is
//                                            printed and closed; exit 1)
//   desktop_probe menu MS                    a popup menu: its items and the
//                                            default item's id (empty when
//                                            the menu is another process's)
//   desktop_probe balloon MS                 a balloon of the notification
//                                            area: its size
//   desktop_probe hold MS DIR                takes the start-up lock of the
//                                            program in folder DIR for MS, so
//                                            that starts meanwhile must wait
//                                            for it
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/start_decision.h"
#include "wait_until.h"
#include "win32_dialogs.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: desktop_probe box|nobox|menu|balloon|hold MS [ok|retry|cancel|DIR]\n");
    return 2;
}

void PrintBox(const MessageBoxSeen& seen) {
    std::printf("caption=%s\ntext=%s\nowner=%s\n", seen.caption.c_str(), seen.text.c_str(),
                seen.owner ? "window" : "none");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    std::string mode = argv[1];
    DWORD timeout = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    int button = IDOK;
    if (argc >= 4) button = std::strcmp(argv[3], "retry") == 0 ? IDRETRY : std::strcmp(argv[3], "cancel") == 0 ? IDCANCEL : IDOK;

    MessageBoxSeen seen;
    if (mode == "box") {
        if (!TakeMessageBox(&seen, timeout, button)) return 1;
        PrintBox(seen);
        return 0;
    }
    if (mode == "nobox") {
        if (!TakeMessageBox(&seen, timeout, IDOK)) return 0;
        PrintBox(seen);
        return 1;
    }
    if (mode == "menu") {
        std::string items;
        int defaultId = -1;
        if (!ReadPopupMenu(&items, &defaultId, timeout)) return 1;
        std::printf("items=%s\ndefault=%d\n", items.c_str(), defaultId);
        return 0;
    }
    if (mode == "balloon") {
        // A balloon is a tooltip window of the notification area, much wider
        // than the icon's plain tip; the shell shows it after a short delay.
        RECT rect{};
        const bool shown = WaitUntil("a balloon", [&] {
            for (HWND tip = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr); tip;
                 tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) {
                if (IsWindowVisible(tip) && GetWindowRect(tip, &rect) && rect.right - rect.left > 150) return true;
            }
            return false;
        }, static_cast<int>(timeout));
        if (shown) std::printf("balloon=%ldx%ld\n", rect.right - rect.left, rect.bottom - rect.top);
        return shown ? 0 : 1;
    }
    if (mode == "hold") {
        if (argc < 4) return Usage();
        HANDLE mutex = CreateMutexA(nullptr, FALSE, StartupMutexName(argv[3]).c_str());
        if (!mutex || WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(timeout);
        ReleaseMutex(mutex);
        return 0;
    }
    return Usage();
}
