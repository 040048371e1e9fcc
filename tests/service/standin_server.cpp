// A stand-in for the server program in the service wrapper's tests: the
// server's hidden main window (class "NIMBOClass", title "DHCP Server") that
// ends the program on the Shutdown Server command 40003, with marker files
// beside the program that tell the test what happened and when.
//
// Switches (the command line after the program's own name):
//   /delay N      create the window only N ms after the start
//   /nowindow     never create the window (the test ends the process)
//   /exitdelay N  after the command, wait N ms before ending
// Marker files in the program's directory:
//   standin-start.txt   "cwd=...", "cmdline=...", "args=...", "pid=..." lines
//   standin-window.txt  the window exists
//   standin-stop.txt    the command 40003 arrived
//   standin-exit.txt    written as the last act before the process ends
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

std::string Directory;

void WriteMarker(const char* name, const std::string& text) {
    std::string path = Directory + "\\" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fputs(text.c_str(), file);
    std::fclose(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == 40003) {
            WriteMarker("standin-stop.txt", "stop\n");
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    Directory = path;
    Directory.erase(Directory.rfind('\\'));
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    WriteMarker("standin-start.txt", std::string("cwd=") + cwd + "\ncmdline=" + GetCommandLineA() +
                                         "\nargs=" + arguments + "\npid=" + std::to_string(GetCurrentProcessId()) +
                                         "\n");

    DWORD delay = 0;
    DWORD exitDelay = 0;
    bool window = true;
    std::istringstream words(arguments);
    for (std::string word; words >> word;) {
        if (word == "/delay") words >> delay;
        if (word == "/exitdelay") words >> exitDelay;
        if (word == "/nowindow") window = false;
    }
    if (!window) {
        Sleep(INFINITE);
    }
    Sleep(delay);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "NIMBOClass";
    if (!RegisterClassA(&windowClass)) return 1;
    if (!CreateWindowA("NIMBOClass", "DHCP Server", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                       CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr)) {
        return 1;
    }
    WriteMarker("standin-window.txt", "window\n");
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    Sleep(exitDelay);
    WriteMarker("standin-exit.txt", "exit\n");
    return 0;
}
