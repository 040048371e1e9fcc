// leases_page_probe.exe: an administrator at the Active Leases page of a
// running NIMBO.exe, for tests/wine/active_leases_test.sh. It runs in the
// server's Wine session and talks to the program's windows as a user's
// clicks would; the list's texts are read through a buffer in the program's
// own memory (list view messages carry pointers, which no process but the
// list's own can follow).
//
//   leases_page_probe FOLDER [opened]
//
// 1. Asks the server to open its properties (the command text /OPTIONS), or
//    with "opened" waits for a properties window already on its way (a
//    hand-over's; its title is printed as title=...), and clicks the Active
//    Leases tab; prints autorefresh=0|1 and rows=N, then makes FOLDER\ready.
// 2. Waits for a row, without pressing Refresh; prints
//    row=NAME|ADDRESS for each and seen=MS (Unix time in milliseconds).
//    Then (not with "opened") selects the first row and clicks Reserve;
//    prints "reserved".
// 3. When FOLDER\delete exists (before FOLDER\close), selects the row,
//    clicks Delete Lease and answers the confirmation with Yes; prints box=TEXT (its first line),
//    then "deleted, rows=0" once the list has refilled.
// 4. When FOLDER\close exists, clicks Close and waits for the window to go.
// Exits 1 at the first step that fails, saying why on stderr.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "shell/command_sender_win32.h"
#include "ui/ui_resource.h"
#include "wait_until.h"
#include "win32_dialogs.h"

namespace {

constexpr int ACTIVE_LEASES_TAB = 3;
constexpr int TEXT_ROOM = 256;

int Fail(const char* why) {
    std::fprintf(stderr, "leases_page_probe: %s\n", why);
    return 1;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The shell script's signal, a file it makes when the test is there.
bool FileAppears(const std::string& path) {
    return WaitUntil(path, [&] { return Exists(path); }, 2 * WAIT_LIMIT_MS);
}

// Memory in the process that owns a window, for the messages whose
// parameters point at a structure.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
        if (process_) base_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool ok() const { return base_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(base_) + offset; }
    LPARAM param() const { return reinterpret_cast<LPARAM>(base_); }
    bool write(const void* data, size_t length, size_t offset = 0) const {
        return offset + length <= size_ && WriteProcessMemory(process_, at(offset), data, length, nullptr);
    }
    bool read(void* data, size_t length, size_t offset = 0) const {
        return offset + length <= size_ && ReadProcessMemory(process_, at(offset), data, length, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    void* base_ = nullptr;
    size_t size_;
};

std::string RowText(HWND list, int row, int column) {
    RemoteBuffer buffer(list, sizeof(LVITEMA) + TEXT_ROOM);
    if (!buffer.ok()) return "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer.at(sizeof item);
    item.cchTextMax = TEXT_ROOM;
    char text[TEXT_ROOM] = {};
    if (!buffer.write(&item, sizeof item) || !buffer.write(text, sizeof text, sizeof item)) return "";
    SendMessageA(list, LVM_GETITEMTEXTA, row, buffer.param());
    buffer.read(text, sizeof text, sizeof item);
    text[TEXT_ROOM - 1] = '\0';
    return text;
}

void SelectRow(HWND list, int row) {
    RemoteBuffer buffer(list, sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (buffer.ok() && buffer.write(&item, sizeof item)) SendMessageA(list, LVM_SETITEMSTATE, row, buffer.param());
}

// A mouse click on a tab, as ClickTab of the in-process tests does it.
bool ClickTab(HWND tabs, int index) {
    RemoteBuffer buffer(tabs, sizeof(RECT));
    RECT rect = {};
    if (!buffer.ok() || !SendMessageA(tabs, TCM_GETITEMRECT, index, buffer.param()) || !buffer.read(&rect, sizeof rect))
        return false;
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(tabs, WM_LBUTTONUP, 0, point);
    return true;
}

int RowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

long long UnixMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>((ticks - 116444736000000000ull) / 10000ull);
}

HWND frame = nullptr;
HWND page = nullptr;
HWND list = nullptr;

// Null when it worked, else what did not.
const char* OpenActiveLeases(bool opened) {
    if (!opened) {
        HWND server = FindServerWindow();
        if (!server) return "no server window";
        SendCommandText(server, "/OPTIONS");
    }
    // The window exists before its tabs do; its modal loop shows it once it
    // is filled in, and only then can a person click a tab.
    if (!WaitUntil("the properties window to show", [] {
            frame = FindWindowA("NIMBODlgClass", nullptr);
            return frame && IsWindowVisible(frame);
        }))
        return "the properties window did not open";
    char title[256] = {};
    GetWindowTextA(frame, title, sizeof title);
    std::printf("title=%s\n", title);
    if (!ClickTab(GetDlgItem(frame, IDC_TABS), ACTIVE_LEASES_TAB)) return "the tab could not be clicked";
    const bool shown = WaitUntil("the Active Leases list", [] {
        page = FindWindowExA(frame, nullptr, "#32770", nullptr);
        list = page ? GetDlgItem(page, IDC_LEASE_LIST) : nullptr;
        return list != nullptr;
    });
    return shown ? nullptr : "the Active Leases page did not come up";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return Fail("usage: leases_page_probe FOLDER [opened]");
    const std::string folder = argv[1];
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    const bool opened = argc == 3;
    if (const char* failure = OpenActiveLeases(opened)) return Fail(failure);
    std::printf("autorefresh=%d\nrows=%d\n", SendDlgItemMessageA(page, IDC_AUTO_REFRESH, BM_GETCHECK, 0, 0) == BST_CHECKED,
                RowCount(list));
    if (FILE* ready = std::fopen((folder + "\\ready").c_str(), "w")) std::fclose(ready);

    if (!WaitUntil("a listed lease", [] { return RowCount(list) > 0; })) return Fail("no lease was listed");
    const long long seen = UnixMilliseconds();
    for (int row = 0; row < RowCount(list); ++row) {
        std::printf("row=%s|%s\n", RowText(list, row, 0).c_str(), RowText(list, row, 1).c_str());
    }
    std::printf("seen=%lld\n", seen);

    if (!opened) {
        SelectRow(list, 0);
        SendMessageA(GetDlgItem(page, IDC_RESERVE), BM_CLICK, 0, 0);
        std::printf("reserved\n");
    }

    // Step 3 only when told to: "close" alone goes on with step 4.
    if (!WaitUntil("the script's delete or close", [&] { return Exists(folder + "\\delete") || Exists(folder + "\\close"); },
                   2 * WAIT_LIMIT_MS))
        return Fail("never told to delete or to close");
    if (Exists(folder + "\\delete")) {
        SelectRow(list, 0);
        // Posted: the program's answer waits for the confirmation box.
        PostMessageA(GetDlgItem(page, IDC_DELETE), BM_CLICK, 0, 0);
        MessageBoxSeen box;
        if (!TakeMessageBox(&box, WAIT_LIMIT_MS, IDYES)) return Fail("no confirmation box");
        std::printf("box=%s|%s\n", box.caption.c_str(), box.text.substr(0, box.text.find('\n')).c_str());
        if (!WaitUntil("an empty list", [] { return RowCount(list) == 0; })) return Fail("the deleted lease stays listed");
        std::printf("deleted, rows=%d\n", RowCount(list));
    }

    if (!FileAppears(folder + "\\close")) return Fail("never told to close");
    PostMessageA(GetDlgItem(frame, IDC_CLOSE), BM_CLICK, 0, 0);
    if (!WaitUntil("the window to close", [] { return !IsWindow(frame); })) return Fail("the window stays open");
    std::printf("closed\n");
    return 0;
}
